// Loopback peers for connect tests and benchmarks: a port nobody listens
// on, and a listener that never completes a handshake.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace loopback {

inline sockaddr_in Address(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return addr;
}

inline int PortOf(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    return ntohs(addr.sin_port);
}

// A loopback port with nobody listening: a connect there is refused.
inline int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = Address(0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    const int port = PortOf(fd);
    ::close(fd);
    return port;
}

}  // namespace loopback

// A listener that never accepts, with its accept queue filled: the
// handshake of any further connect gets no answer (the SYN is dropped).
class TSilentListener {
public:
    TSilentListener() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr = loopback::Address(0);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 0);
        port_ = loopback::PortOf(listener_);
        addr = loopback::Address(port_);
        for (int i = 0; i < 32 && !full_; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
            pollfd p{fd, POLLOUT, 0};
            full_ = ::poll(&p, 1, 200) == 0;
            fillers_.push_back(fd);
        }
    }
    ~TSilentListener() {
        for (int fd : fillers_) ::close(fd);
        ::close(listener_);
    }
    TSilentListener(const TSilentListener&) = delete;
    TSilentListener& operator=(const TSilentListener&) = delete;

    int Port() const { return port_; }
    // False when the queue could not be filled (then connects may succeed).
    bool Full() const { return full_; }

private:
    int listener_ = -1;
    int port_ = 0;
    bool full_ = false;
    std::vector<int> fillers_;
};
