#include "tests/support/SlowSmtpServer.h"

#include <poll.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace {
constexpr int kPieceBytes = 65536;
constexpr int kPausesPerSecond = 100;
}  // namespace

TSlowSmtpServer::TSlowSmtpServer(int bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {
    const int window = std::min(std::max(bytesPerSecond_ / kPausesPerSecond, 4096) * 2, kPieceBytes);
    server_ = std::make_unique<TLoopbackServer>([this](int fd) { Serve(fd); }, 1, window);
}

TSlowSmtpServer::~TSlowSmtpServer() { server_.reset(); }

void TSlowSmtpServer::Serve(int fd) {
    TLoopbackServer::SendAll(fd, "220 slow.test ESMTP\r\n");
    std::string line;
    while (TLoopbackServer::ReadLine(fd, line, 10000)) {
        const std::string verb = line.substr(0, 4);
        if (verb == "EHLO" || verb == "HELO") {
            TLoopbackServer::SendAll(fd, "250-slow.test\r\n250 8BITMIME\r\n");
        } else if (verb == "DATA") {
            TLoopbackServer::SendAll(fd, "354 go on\r\n");
            ReadMessage(fd);
            TLoopbackServer::SendAll(fd, "250 2.0.0 taken\r\n");
            return;  // one message; the window keeps its session open
        } else if (verb == "QUIT") {
            TLoopbackServer::SendAll(fd, "221 bye\r\n");
            return;
        } else {
            TLoopbackServer::SendAll(fd, "250 ok\r\n");
        }
    }
}

// Until the line "." (CR LF . CR LF), at most a piece per pause.
void TSlowSmtpServer::ReadMessage(int fd) {
    const size_t perPause = static_cast<size_t>(std::max(bytesPerSecond_ / kPausesPerSecond, 1));
    std::string tail;
    std::string buffer(kPieceBytes, '\0');
    for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kPausesPerSecond));
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0) return;
        const ssize_t n = ::recv(fd, buffer.data(), std::min(buffer.size(), perPause), 0);
        if (n <= 0) return;
        messageBytes_ += static_cast<size_t>(n);
        tail = (tail + buffer.substr(0, static_cast<size_t>(n)));
        if (tail.size() > 5) tail.erase(0, tail.size() - 5);
        if (tail == "\r\n.\r\n") {
            ended_ = true;
            return;
        }
    }
}
