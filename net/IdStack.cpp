#include "net/IdStack.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "core/StringList.h"
#include "net/IdNetExceptions.h"
#include "platform/Locale.h"

namespace {

std::mutex& StackLock() {
    static std::mutex lock;
    return lock;
}
int gUsage = 0;
std::unique_ptr<TIdStack> gStack;
TIdStack::TStackFactory& StackFactory() {
    static TIdStack::TStackFactory factory = [] { return std::make_unique<TIdStack>(); };
    return factory;
}

struct TSocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;
    const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

[[noreturn]] void RaiseIPVersionUnsupported() {
    throw EIdIPVersionUnsupported("The requested IPVersion / Address family is not supported.");
}

bool IsDecimal(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    return true;
}

// A part of a dotted address, always decimal: "0127" is 127, never octal.
// -1 for a part that is no number or too long to be a byte.
int ByteValue(const std::string& text) {
    if (!IsDecimal(text)) return -1;
    const size_t first = std::min(text.find_first_not_of('0'), text.size() - 1);
    return text.size() - first > 3 ? -1 : std::stoi(text.substr(first));
}

// Splits off the text before the first separator (all of it when absent).
std::string Fetch(std::string& text, char separator) {
    const size_t at = text.find(separator);
    std::string head = text.substr(0, at);
    text = at == std::string::npos ? std::string() : text.substr(at + 1);
    return head;
}

// Four decimal parts of 0 to 255, as IsIPv4Literal accepts them.
bool ParseIPv4(const std::string& text, in_addr& address) {
    if (!TIdStack::IsIPv4Literal(text)) return false;
    std::string rest = text;
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint32_t>(ByteValue(Fetch(rest, '.')));
    address.s_addr = htonl(value);
    return true;
}

// An empty IP means any address; a text that is no address of the family
// is an invalid argument.
TSocketAddress MakeAddress(const std::string& ip, int32_t port, TIdIPVersion ipVersion) {
    TSocketAddress address;
    if (ipVersion == Id_IPv4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&address.storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<uint16_t>(port));
        if (!ip.empty() && !ParseIPv4(ip, in->sin_addr))
            TIdStack::RaiseSocketError(Id_WSAEINVAL);
        address.length = sizeof(sockaddr_in);
    } else if (ipVersion == Id_IPv6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(port));
        const std::string canonical = TIdStack::MakeCanonicalIPv6Address(ip);
        if (!ip.empty() && (canonical.empty() || ::inet_pton(AF_INET6, canonical.c_str(), &in6->sin6_addr) != 1))
            TIdStack::RaiseSocketError(Id_WSAEINVAL);
        address.length = sizeof(sockaddr_in6);
    } else {
        RaiseIPVersionUnsupported();
    }
    return address;
}

std::string AddressText(const in_addr& address) {
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string IPv6ToText(const in6_addr& address) {
    std::string text;
    for (int i = 0; i < 8; ++i) {
        const unsigned group = (address.s6_addr[2 * i] << 8) | address.s6_addr[2 * i + 1];
        if (i > 0) text += ':';
        text += Format("%X", group);
    }
    return text;
}

void AddressToText(const sockaddr_storage& storage, std::string& ip, int32_t& port) {
    if (storage.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
        ip = AddressText(in->sin_addr);
        port = ntohs(in->sin_port);
    } else if (storage.ss_family == AF_INET6) {
        const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
        ip = IPv6ToText(in6->sin6_addr);
        port = ntohs(in6->sin6_port);
    } else {
        RaiseIPVersionUnsupported();
    }
}

// Resolver answers in the Windows Sockets numbering.
int32_t TranslateResolverError(int answer) {
    switch (answer) {
        case EAI_NONAME: return Id_WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
        case EAI_NODATA: return Id_WSAHOST_NOT_FOUND;
#endif
#ifdef EAI_ADDRFAMILY
        case EAI_ADDRFAMILY: return Id_WSAHOST_NOT_FOUND;
#endif
        case EAI_AGAIN: return Id_WSATRY_AGAIN;
        case EAI_BADFLAGS: return Id_WSAEINVAL;
        case EAI_FAIL: return 11003;
        case EAI_FAMILY: return 10047;
        case EAI_MEMORY: return 8;
        case EAI_SERVICE: return 10109;
        case EAI_SOCKTYPE: return 10044;
        case EAI_SYSTEM: return TIdStack::TranslateErrno(errno);
        default: return answer;
    }
}

// poll on one descriptor; a negative time-out waits without limit, EINTR
// goes on waiting for the rest of the time.
int PollOne(int handle, short events, int32_t timeoutMs, short& revents) {
    const bool limited = timeoutMs >= 0;
    const uint64_t deadline = limited ? MonotonicMilliseconds() + static_cast<uint64_t>(timeoutMs) : 0;
    for (;;) {
        pollfd entry{handle, events, 0};
        const int result = ::poll(&entry, 1, limited ? RemainingMilliseconds(deadline) : -1);
        if (result < 0 && errno == EINTR) continue;
        revents = entry.revents;
        return result;
    }
}

bool SetNonBlocking(int handle, bool on) {
    const int flags = ::fcntl(handle, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(handle, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

// Waits for a non-blocking connect that is under way.
bool AwaitConnect(int handle, int32_t timeoutMs) {
    short revents = 0;
    const int ready = TIdStack::CheckSocketResult(PollOne(handle, POLLOUT, timeoutMs, revents));
    if (ready == 0) return false;
    int error = 0;
    socklen_t length = sizeof error;
    TIdStack::CheckSocketResult(::getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length));
    if (error != 0) TIdStack::RaiseSocketError(TIdStack::TranslateErrno(error));
    return true;
}

}  // namespace

int32_t RemainingMilliseconds(uint64_t deadline) {
    const uint64_t now = MonotonicMilliseconds();
    return now >= deadline ? 0 : static_cast<int32_t>(deadline - now);
}

TIdStack::TIdStack() : hostName_(LocalHostName()) {}

void TIdStack::SetStackClass(TStackFactory factory) {
    std::lock_guard<std::mutex> guard(StackLock());
    StackFactory() = std::move(factory);
}

void TIdStack::IncUsage() {
    std::lock_guard<std::mutex> guard(StackLock());
    if (gUsage == 0) {
        Raise<EIdException>::IfFalse(static_cast<bool>(StackFactory()), "Stack Class is undefined.");
        Raise<EIdException>::IfAssigned(gStack.get(), "Stack already created.");
        gStack = StackFactory()();
    }
    ++gUsage;
}

void TIdStack::DecUsage() {
    std::lock_guard<std::mutex> guard(StackLock());
    if (gUsage > 0 && --gUsage == 0) gStack.reset();
}

TIdStack* TIdStack::Instance() {
    std::lock_guard<std::mutex> guard(StackLock());
    return gStack.get();
}

TIdStackSocketHandle TIdStack::NewSocketHandle(int socketType, int protocol, TIdIPVersion ipVersion, bool) {
    int family = AF_INET;
    if (ipVersion == Id_IPv6) family = AF_INET6;
    else if (ipVersion != Id_IPv4) RaiseIPVersionUnsupported();
    const int type = socketType == Id_SOCK_STREAM ? SOCK_STREAM : socketType;
    const int handle = CheckSocketResult(::socket(family, type | SOCK_CLOEXEC, protocol));
#ifdef SO_NOSIGPIPE
    int one = 1;
    ::setsockopt(handle, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
    return handle;
}

void TIdStack::Bind(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion) {
    const TSocketAddress address = MakeAddress(ip, port, ipVersion);
    CheckSocketResult(::bind(handle, address.Get(), address.length));
}

bool TIdStack::Connect(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion,
                       int32_t timeoutMs) {
    const TSocketAddress address = MakeAddress(ip, port, ipVersion);
    if (!SetNonBlocking(handle, true)) RaiseSocketError(WSGetLastError());
    bool done = ::connect(handle, address.Get(), address.length) == 0;
    const int err = errno;
    try {
        if (!done && err != EINPROGRESS && err != EINTR) RaiseSocketError(TranslateErrno(err));
        if (!done) done = AwaitConnect(handle, timeoutMs > 0 ? timeoutMs : -1);
    } catch (...) {
        SetNonBlocking(handle, false);
        throw;
    }
    SetNonBlocking(handle, false);
    return done;
}

void TIdStack::Disconnect(TIdStackSocketHandle handle) {
    ::shutdown(handle, SHUT_WR);
    ::close(handle);
}

int32_t TIdStack::Send(TIdStackSocketHandle handle, const uint8_t* data, int32_t count) {
    ssize_t sent;
    do {
        sent = ::send(handle, data, static_cast<size_t>(count), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return CheckSocketResult(static_cast<int>(sent));
}

int32_t TIdStack::Receive(TIdStackSocketHandle handle, uint8_t* buffer, int32_t count) {
    ssize_t received;
    do {
        received = ::recv(handle, buffer, static_cast<size_t>(count), 0);
    } while (received < 0 && errno == EINTR);
    return CheckSocketResult(static_cast<int>(received));
}

bool TIdStack::Readable(TIdStackSocketHandle handle, int32_t timeoutMs) {
    short revents = 0;
    const int ready = CheckSocketResult(PollOne(handle, POLLIN, timeoutMs, revents));
    if (ready > 0 && (revents & POLLNVAL)) RaiseSocketError(Id_WSAENOTSOCK);
    return ready > 0;
}

void TIdStack::GetSocketName(TIdStackSocketHandle handle, std::string& ip, int32_t& port) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    CheckSocketResult(::getsockname(handle, reinterpret_cast<sockaddr*>(&storage), &length));
    AddressToText(storage, ip, port);
}

void TIdStack::GetPeerName(TIdStackSocketHandle handle, std::string& ip, int32_t& port) {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    CheckSocketResult(::getpeername(handle, reinterpret_cast<sockaddr*>(&storage), &length));
    AddressToText(storage, ip, port);
}

void TIdStack::SetSocketOption(TIdStackSocketHandle handle, int level, int name, int32_t value) {
    CheckSocketResult(::setsockopt(handle, level, name, &value, sizeof value));
}

std::string TIdStack::ResolveHost(const std::string& host, TIdIPVersion ipVersion) {
    if (ipVersion == Id_IPv4) {
        if (SameText(host, "LOCALHOST")) return "127.0.0.1";
        if (IsIPv4Literal(host)) return host;
        return HostByName(host, ipVersion);
    }
    if (ipVersion == Id_IPv6) {
        const std::string canonical = MakeCanonicalIPv6Address(host);
        return canonical.empty() ? HostByName(host, ipVersion) : canonical;
    }
    return std::string();
}

namespace {

// Every address the resolver answers for host in the family (AF_UNSPEC:
// both), in its order, without repeats; raises when there is none.
std::vector<TIdSocketAddress> LookUp(const std::string& host, int family) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* result = nullptr;
    const int answer = ::getaddrinfo(host.c_str(), nullptr, &hints, &result);
    if (answer != 0 || result == nullptr) {
        if (result != nullptr) ::freeaddrinfo(result);
        TIdStack::RaiseSocketError(answer != 0 ? TranslateResolverError(answer) : Id_WSAHOST_NOT_FOUND);
    }
    std::vector<TIdSocketAddress> addresses;
    for (const addrinfo* entry = result; entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
        sockaddr_storage storage{};
        std::memcpy(&storage, entry->ai_addr, std::min<size_t>(entry->ai_addrlen, sizeof storage));
        TIdSocketAddress address;
        int32_t port = 0;
        AddressToText(storage, address.ip, port);
        address.ipVersion = entry->ai_family == AF_INET ? Id_IPv4 : Id_IPv6;
        const bool known = std::any_of(addresses.begin(), addresses.end(),
                                       [&](const TIdSocketAddress& a) { return a.ip == address.ip; });
        if (!known) addresses.push_back(address);
    }
    ::freeaddrinfo(result);
    if (addresses.empty()) TIdStack::RaiseSocketError(Id_WSAHOST_NOT_FOUND);
    return addresses;
}

}  // namespace

std::string TIdStack::HostByName(const std::string& host, TIdIPVersion ipVersion) {
    if (ipVersion != Id_IPv4 && ipVersion != Id_IPv6) RaiseIPVersionUnsupported();
    if (ipVersion == Id_IPv6 && !IPv6Available()) throw EIdIPv6Unavailable("IPv6 unavailable");
    return LookUp(host, ipVersion == Id_IPv4 ? AF_INET : AF_INET6).front().ip;
}

std::string TIdStack::PlainHost(const std::string& host) {
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    const size_t start = bracketed ? 1 : 0;
    size_t length = host.size() - 2 * start;
    if (length > 1 && host[start + length - 1] == '.') --length;
    return host.substr(start, length);
}

std::vector<TIdSocketAddress> TIdStack::ResolveAddresses(const std::string& host, TIdIPVersion ipVersion) {
    if (ipVersion != Id_IPv4 && ipVersion != Id_IPv6) RaiseIPVersionUnsupported();
    const std::string plain = PlainHost(host);
    const std::string canonical = MakeCanonicalIPv6Address(plain);
    if (!canonical.empty()) return {{canonical, Id_IPv6}};
    if (ipVersion == Id_IPv6) return LookUp(plain, AF_INET6);
    if (SameText(plain, "LOCALHOST")) return {{"127.0.0.1", Id_IPv4}};
    in_addr literal{};
    if (ParseIPv4(plain, literal)) return {{AddressText(literal), Id_IPv4}};
    return LookUp(plain, AF_UNSPEC);
}

bool TIdStack::IsIPv4Literal(const std::string& text) {
    std::string rest = text;
    for (int i = 0; i < 4; ++i) {
        const int value = ByteValue(Fetch(rest, '.'));
        if (value < 0 || value > 255) return false;
    }
    return rest.empty() && std::count(text.begin(), text.end(), '.') == 3;
}

namespace {

// Reads a group of hexadecimal digits; -1 when it is above FFFF.
long HexGroup(const std::string& group) {
    long value = 0;
    for (char c : group) {
        const int digit = (c >= '0' && c <= '9') ? c - '0' : (std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
        value = value * 16 + digit;
        if (value > 0xFFFF) return -1;
    }
    return value;
}

// The dotted tail as two groups of two bytes each, or "" when invalid.
std::string IPv4Tail(const std::string& tail) {
    std::string rest = tail;
    int bytes[4];
    for (int& byte : bytes) {
        byte = ByteValue(Fetch(rest, '.'));
        if (byte < 0 || byte > 255) return std::string();
    }
    return Format("%02X%02X:%02X%02X:", bytes[0], bytes[1], bytes[2], bytes[3]);
}

bool ScanIPv6(const std::string& text, std::vector<size_t>& dots, std::vector<size_t>& colons) {
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.') {
            if (dots.size() == 3) return false;
            dots.push_back(i);
        } else if (c == ':') {
            if (colons.size() == 7) return false;
            colons.push_back(i);
        } else if (!(c >= '0' && c <= '9') && !(dots.empty() && std::isxdigit(static_cast<unsigned char>(c)))) {
            return false;
        }
    }
    if (dots.empty()) return colons.size() >= 2;
    return dots.size() == 3 && colons.size() >= 2 && colons.size() <= 6 && colons.back() < dots.front();
}

}  // namespace

std::string TIdStack::MakeCanonicalIPv6Address(const std::string& text) {
    if (text.empty()) return std::string();
    std::string address = text;
    if (address.front() == ':') address.insert(0, "0");
    if (address.back() == ':') address += '0';
    std::vector<size_t> dots, colons;
    if (!ScanIPv6(address, dots, colons)) return std::string();

    std::string tail;
    std::string head = address;
    if (!dots.empty()) {
        tail = IPv4Tail(address.substr(colons.back() + 1));
        if (tail.empty()) return std::string();
        head = address.substr(0, colons.back());
    }
    std::vector<std::string> groups;
    std::string rest = head;
    while (true) {
        const bool last = rest.find(':') == std::string::npos;
        groups.push_back(Fetch(rest, ':'));
        if (last) break;
    }
    const int wanted = dots.empty() ? 8 : 6;
    const int empties = static_cast<int>(std::count(groups.begin(), groups.end(), std::string()));
    const int present = static_cast<int>(groups.size()) - empties;
    // One "::" stands for at least one zero group; a second one is ambiguous.
    if (empties > 1 || (empties == 0 && present != wanted) || (empties == 1 && present >= wanted))
        return std::string();

    std::string canonical;
    for (const std::string& group : groups) {
        if (group.empty()) {
            for (int i = present; i < wanted; ++i) canonical += "0:";
            continue;
        }
        const long value = HexGroup(group);
        if (value < 0) return std::string();
        canonical += Format("%lX:", value);
    }
    canonical += tail;
    canonical.pop_back();
    return canonical;
}

std::string TIdStack::SocketErrorText(int32_t errorNumber) {
    static const std::pair<int32_t, const char*> texts[] = {
        {10004, "Interrupted system call."},
        {10009, "Bad file number."},
        {10013, "Access denied."},
        {10014, "Buffer fault."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Operation would block."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on non-socket."},
        {10039, "Destination address required."},
        {10040, "Message too long."},
        {10041, "Protocol wrong type for socket."},
        {10042, "Bad protocol option."},
        {10043, "Protocol not supported."},
        {10044, "Socket type not supported."},
        {10045, "Operation not supported on socket."},
        {10046, "Protocol family not supported."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Net dropped connection or reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send or receive after socket is closed."},
        {10059, "Too many references, cannot splice."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10062, "Too many levels of symbolic links."},
        {10063, "File name too long."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10066, "Directory not empty"},
        {11001, "Host not found."},
    };
    const char* text = "";
    for (const auto& [number, message] : texts)
        if (number == errorNumber) text = message;
    return Format("Socket Error # %d\r\n%s", errorNumber, text);
}

void TIdStack::RaiseSocketError(int32_t errorNumber) {
    if (errorNumber == Id_WSAENOTSOCK) throw EIdNotASocket(errorNumber, SocketErrorText(errorNumber));
    throw EIdSocketError(errorNumber, SocketErrorText(errorNumber));
}

int TIdStack::CheckSocketResult(int result) {
    if (result == -1) RaiseSocketError(WSGetLastError());
    return result;
}

int32_t TIdStack::WSGetLastError() { return TranslateErrno(errno); }

int32_t TIdStack::TranslateErrno(int err) {
    static const std::pair<int, int32_t> numbers[] = {
        {EINTR, 10004},        {EBADF, 10009},           {EACCES, 10013},          {EFAULT, 10014},
        {EINVAL, 10022},       {EMFILE, 10024},          {EWOULDBLOCK, 10035},     {EINPROGRESS, 10036},
        {EALREADY, 10037},     {ENOTSOCK, 10038},        {EDESTADDRREQ, 10039},    {EMSGSIZE, 10040},
        {EPROTOTYPE, 10041},   {ENOPROTOOPT, 10042},     {EPROTONOSUPPORT, 10043}, {ESOCKTNOSUPPORT, 10044},
        {EOPNOTSUPP, 10045},   {EPFNOSUPPORT, 10046},    {EAFNOSUPPORT, 10047},    {EADDRINUSE, 10048},
        {EADDRNOTAVAIL, 10049}, {ENETDOWN, 10050},       {ENETUNREACH, 10051},     {ENETRESET, 10052},
        {ECONNABORTED, 10053}, {ECONNRESET, 10054},      {ENOBUFS, 10055},         {EISCONN, 10056},
        {ENOTCONN, 10057},     {EPIPE, 10058},           {ESHUTDOWN, 10058},       {ETOOMANYREFS, 10059},
        {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},    {ELOOP, 10062},           {ENAMETOOLONG, 10063},
        {EHOSTDOWN, 10064},    {EHOSTUNREACH, 10065},    {ENOTEMPTY, 10066},
    };
    for (const auto& [errnoValue, number] : numbers)
        if (errnoValue == err) return number;
    return err;
}
