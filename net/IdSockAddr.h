// The socket address records and the name resolution that the POSIX and
// the Windows sides of the stack share: both offer the same BSD socket
// calls for them. Used inside net/ only.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

#include "net/IdStack.h"

// An IPv4 or IPv6 address with its port, as the socket calls take it.
struct TIdSockAddr {
    sockaddr_storage storage{};
    socklen_t length = sizeof(sockaddr_storage);

    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
    sockaddr* Get() { return reinterpret_cast<sockaddr*>(&storage); }
    // An empty IP means any address; a text that is no address of the
    // family raises socket error 10022.
    static TIdSockAddr Make(const std::string& ip, int32_t port, TIdIPVersion ipVersion);
    // Dotted IPv4 text, or eight upper-case IPv6 groups; the port in host
    // order. Another family raises EIdIPVersionUnsupported.
    void ToText(std::string& ip, int32_t& port) const;
};

enum class TIdLookUpFamily { Any, IPv4, IPv6 };

// Every address the resolver answers for host in the family, in its
// order, without repeats; raises the socket error when there is none.
std::vector<TIdSocketAddress> LookUpHost(const std::string& host, TIdLookUpFamily family);

// A non-zero answer of getaddrinfo in the Windows Sockets numbering; each
// side of the stack knows its own resolver's answers.
int32_t ResolverErrorNumber(int answer);

[[noreturn]] void RaiseIPVersionUnsupported();
