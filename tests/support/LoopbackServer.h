// A scripted TCP server on 127.0.0.1 for tests: each accepted connection is
// handed to the test's script on a server thread.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

class TLoopbackServer {
public:
    using Script = std::function<void(int fd)>;
    // Listens on 127.0.0.1 at an ephemeral port; serves `connections`
    // connections (one after another) with the script, then stops. A
    // receiveBuffer > 0 is set on the listener, so that the connections
    // start with that small a window.
    explicit TLoopbackServer(Script script, int connections = 1, int receiveBuffer = 0);
    ~TLoopbackServer();
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;

    int Port() const { return port_; }
    // Waits until the script has finished every connection.
    void Join();

    // Script helpers.
    static bool SendAll(int fd, const std::string& bytes);
    // Reads up to and including LF (without it); false on close or error.
    static bool ReadLine(int fd, std::string& line, int timeoutMs = 5000);
    // Reads until the peer closes or the time runs out.
    static std::string ReadAll(int fd, int timeoutMs = 5000);

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};
