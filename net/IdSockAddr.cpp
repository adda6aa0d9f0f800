#include "net/IdSockAddr.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/StringList.h"
#include "net/IdNetExceptions.h"

namespace {

uint16_t NetworkPort(int32_t port) { return htons(static_cast<uint16_t>(port)); }

std::string IPv4ToText(const in_addr& address) {
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    return Format("%d.%d.%d.%d", int{b[0]}, int{b[1]}, int{b[2]}, int{b[3]});
}

std::string IPv6ToText(const in6_addr& address) {
    const auto* b = reinterpret_cast<const uint8_t*>(&address);
    std::string text;
    for (int i = 0; i < 8; ++i) {
        const unsigned group = (unsigned{b[2 * i]} << 8) | b[2 * i + 1];
        if (i > 0) text += ':';
        text += Format("%X", group);
    }
    return text;
}

int SystemFamily(TIdLookUpFamily family) {
    switch (family) {
        case TIdLookUpFamily::IPv4: return AF_INET;
        case TIdLookUpFamily::IPv6: return AF_INET6;
        default: return AF_UNSPEC;
    }
}

}  // namespace

void RaiseIPVersionUnsupported() {
    throw EIdIPVersionUnsupported("The requested IPVersion / Address family is not supported.");
}

TIdSockAddr TIdSockAddr::Make(const std::string& ip, int32_t port, TIdIPVersion ipVersion) {
    TIdSockAddr address;
    if (ipVersion == Id_IPv4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&address.storage);
        in->sin_family = AF_INET;
        in->sin_port = NetworkPort(port);
        std::array<uint8_t, 4> bytes{};
        if (!ip.empty() && !TIdStack::ParseIPv4Literal(ip, bytes)) TIdStack::RaiseSocketError(Id_WSAEINVAL);
        std::memcpy(&in->sin_addr, bytes.data(), bytes.size());
        address.length = sizeof(sockaddr_in);
    } else if (ipVersion == Id_IPv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = NetworkPort(port);
        const std::string canonical = TIdStack::MakeCanonicalIPv6Address(ip);
        if (!ip.empty() && (canonical.empty() || ::inet_pton(AF_INET6, canonical.c_str(), &in6->sin6_addr) != 1))
            TIdStack::RaiseSocketError(Id_WSAEINVAL);
        address.length = sizeof(sockaddr_in6);
    } else {
        RaiseIPVersionUnsupported();
    }
    return address;
}

void TIdSockAddr::ToText(std::string& ip, int32_t& port) const {
    if (storage.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        ip = IPv4ToText(in->sin_addr);
        port = ntohs(in->sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        ip = IPv6ToText(in6->sin6_addr);
        port = ntohs(in6->sin6_port);
    } else {
        RaiseIPVersionUnsupported();
    }
}

std::vector<TIdSocketAddress> LookUpHost(const std::string& host, TIdLookUpFamily family) {
    addrinfo hints{};
    hints.ai_family = SystemFamily(family);
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int answer = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (answer != 0 || result == nullptr) {
        if (result != nullptr) ::freeaddrinfo(result);
        TIdStack::RaiseSocketError(answer != 0 ? ResolverErrorNumber(answer) : Id_WSAHOST_NOT_FOUND);
    }
    std::vector<TIdSocketAddress> addresses;
    for (const addrinfo* entry = result; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
        TIdSockAddr found;
        std::memcpy(&found.storage, entry->ai_addr, std::min<size_t>(entry->ai_addrlen, sizeof found.storage));
        TIdSocketAddress address;
        int32_t port = 0;
        found.ToText(address.ip, port);
        address.ipVersion = entry->ai_family == AF_INET ? Id_IPv4 : Id_IPv6;
        const bool known = std::any_of(addresses.begin(), addresses.end(),
                                       [&](const TIdSocketAddress& a) { return a.ip == address.ip; });
        if (!known) addresses.push_back(address);
    }
    ::freeaddrinfo(result);
    if (addresses.empty()) TIdStack::RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    return addresses;
}
