#include "tests/support/LoopbackServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

TLoopbackServer::TLoopbackServer(Script script, int connections, int receiveBuffer) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket failed");
    int one = 1;
    ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (receiveBuffer > 0) ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener_, 8) != 0)
        throw std::runtime_error("bind/listen failed");
    socklen_t len = sizeof addr;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this, script = std::move(script), connections] {
        for (int i = 0; i < connections; ++i) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20000) <= 0) break;
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) break;
            script(fd);
            ::close(fd);
        }
    });
}

TLoopbackServer::~TLoopbackServer() {
    Join();
    if (listener_ >= 0) ::close(listener_);
}

void TLoopbackServer::Join() {
    if (thread_.joinable()) thread_.join();
}

bool TLoopbackServer::SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool TLoopbackServer::ReadLine(int fd, std::string& line, int timeoutMs) {
    line.clear();
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) return false;
        char c;
        if (::recv(fd, &c, 1, 0) != 1) return false;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        line += c;
    }
}

std::string TLoopbackServer::ReadAll(int fd, int timeoutMs) {
    std::string data;
    char buffer[65536];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        data.append(buffer, static_cast<size_t>(n));
    }
    return data;
}
