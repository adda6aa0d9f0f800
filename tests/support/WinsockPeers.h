// Loopback peers for the Windows tests, made on Winsock directly, without
// the socket stack under test. Windows builds only.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>
#include <vector>

// The test's own Winsock peers, made without the stack under test.
class TWinsock {
public:
    TWinsock() {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~TWinsock() {
        for (SOCKET s : sockets_) ::closesocket(s);
        ::WSACleanup();
    }
    TWinsock(const TWinsock&) = delete;
    TWinsock& operator=(const TWinsock&) = delete;

    // A loopback listener with the given accept queue.
    SOCKET Listen(int backlog, int& port) {
        const SOCKET s = Keep(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in address = Loopback(0);
        ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(s, backlog);
        port = PortOf(s);
        return s;
    }
    SOCKET Accept(SOCKET listener) { return Keep(::accept(listener, nullptr, nullptr)); }
    // A loopback port with nobody listening.
    int ClosedPort() {
        const SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = Loopback(0);
        ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
        const int port = PortOf(s);
        ::closesocket(s);
        return port;
    }
    // Fills the accept queue of a listener that never accepts; false when
    // every connect was still answered.
    bool FillQueue(int port) {
        for (int i = 0; i < 32; ++i) {
            const SOCKET s = Keep(::socket(AF_INET, SOCK_STREAM, 0));
            u_long on = 1;
            ::ioctlsocket(s, FIONBIO, &on);
            sockaddr_in address = Loopback(port);
            ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fd_set write;
            FD_ZERO(&write);
            FD_SET(s, &write);
            timeval limit{0, 200000};
            if (::select(0, nullptr, &write, nullptr, &limit) == 0) return true;
        }
        return false;
    }
    static std::string Receive(SOCKET s) {
        char buffer[256];
        const int n = ::recv(s, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }
    // Closes with a reset instead of an orderly close: the peer's bytes
    // are still unread (a zero linger time is not honoured everywhere).
    void Reset(SOCKET s) {
        linger abort{1, 0};
        ::setsockopt(s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        Close(s);
    }
    void Close(SOCKET s) {
        ::closesocket(s);
        std::erase(sockets_, s);
    }

private:
    SOCKET Keep(SOCKET s) {
        sockets_.push_back(s);
        return s;
    }
    static sockaddr_in Loopback(int port) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(port));
        return address;
    }
    static int PortOf(SOCKET s) {
        sockaddr_in address{};
        int length = sizeof address;
        ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
        return ntohs(address.sin_port);
    }

    std::vector<SOCKET> sockets_;
};
