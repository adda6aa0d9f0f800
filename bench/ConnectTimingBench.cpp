// Times the three ends of a TCP connect with the 3000 ms limit the main
// window uses: a refusal, a peer that never answers the handshake, and a
// successful connect.
#include <chrono>
#include <cstdio>

#include "net/IdNetExceptions.h"
#include "net/IdTCPClient.h"
#include "tests/support/SilentListener.h"

namespace {

constexpr int ConnectLimitMs = 3000;

// Milliseconds until Connect returned or raised; the outcome goes to `what`.
double TimeConnect(int port, std::string& what) {
    TIdTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    client.SetConnectTimeout(ConnectLimitMs);
    const auto start = std::chrono::steady_clock::now();
    try {
        client.Connect();
        what = "connected";
    } catch (const EIdException& e) {
        what = e.Message();
        for (char& c : what)
            if (c == '\r' || c == '\n') c = ' ';
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    std::string what;
    for (int i = 0; i < 5; ++i) {
        const double ms = TimeConnect(loopback::ClosedPort(), what);
        std::printf("refused port:   %8.3f ms  (%s)\n", ms, what.c_str());
    }
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = loopback::Address(0);
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener, 16);
        for (int i = 0; i < 5; ++i) {
            const double ms = TimeConnect(loopback::PortOf(listener), what);
            std::printf("listening port: %8.3f ms  (%s)\n", ms, what.c_str());
        }
        ::close(listener);
    }
    TSilentListener silent;
    if (!silent.Full()) {
        std::printf("silent peer: could not fill the accept queue\n");
        return 1;
    }
    const double ms = TimeConnect(silent.Port(), what);
    std::printf("silent peer:    %8.3f ms  (%s)\n", ms, what.c_str());
    return 0;
}
