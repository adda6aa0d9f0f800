// A TCP client of the transport connected to a TLoopbackServer, with a
// socket handler that counts its raw sends.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "net/IdIOHandlerStack.h"
#include "net/IdTCPClient.h"

class TCountingIOHandler : public TIdIOHandlerStack {
public:
    using TIdIOHandlerStack::TIdIOHandlerStack;
    std::vector<size_t> sends;

protected:
    void SendRaw(const TIdBytes& bytes) override {
        sends.push_back(bytes.size());
        TIdIOHandlerStack::SendRaw(bytes);
    }
};

// Owns a client whose handler is a TCountingIOHandler, connected to
// 127.0.0.1:port with the given read time-out.
struct TLoopbackClient {
    explicit TLoopbackClient(int port, int readTimeoutMs = 2000, bool connect = true) {
        handler = new TCountingIOHandler(&client);
        client.SetIOHandler(handler);
        client.SetOwnsIOHandler(true);
        client.SetHost("127.0.0.1");
        client.SetPort(port);
        client.SetConnectTimeout(3000);
        client.SetReadTimeout(readTimeoutMs);
        if (connect) client.Connect();
    }
    TIdIOHandler& IO() { return *client.IOHandler(); }

    TIdTCPClient client;
    TCountingIOHandler* handler = nullptr;
};
