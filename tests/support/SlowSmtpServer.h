// An SMTP server on 127.0.0.1 that takes the message text slowly: a small
// receive buffer read in pieces with a pause between them, so that a big
// message keeps the client sending for a while. One connection; it answers
// every command with success and records the bytes of the message.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "tests/support/LoopbackServer.h"

class TSlowSmtpServer {
public:
    // About `bytesPerSecond` of message text read.
    explicit TSlowSmtpServer(int bytesPerSecond);
    ~TSlowSmtpServer();

    int Port() const { return server_->Port(); }
    void Join() { server_->Join(); }
    // Bytes of message text read (the final "." line included).
    size_t MessageBytes() const { return messageBytes_; }
    bool MessageEnded() const { return ended_; }

private:
    void Serve(int fd);
    void ReadMessage(int fd);

    int bytesPerSecond_;
    std::atomic<size_t> messageBytes_{0};
    std::atomic<bool> ended_{false};
    std::unique_ptr<TLoopbackServer> server_;
};
