#include "net/IdStack.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <utility>
#include <vector>

#include "core/StringList.h"
#include "net/IdNetExceptions.h"
#include "net/IdSockAddr.h"
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

std::string TIdStack::HostByName(const std::string& host, TIdIPVersion ipVersion) {
    if (ipVersion != Id_IPv4 && ipVersion != Id_IPv6) RaiseIPVersionUnsupported();
    if (ipVersion == Id_IPv6 && !IPv6Available()) throw EIdIPv6Unavailable("IPv6 unavailable");
    return LookUpHost(host, ipVersion == Id_IPv4 ? TIdLookUpFamily::IPv4 : TIdLookUpFamily::IPv6).front().ip;
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
    if (ipVersion == Id_IPv6) return LookUpHost(plain, TIdLookUpFamily::IPv6);
    if (SameText(plain, "LOCALHOST")) return {{"127.0.0.1", Id_IPv4}};
    std::array<uint8_t, 4> literal{};
    if (ParseIPv4Literal(plain, literal))
        return {{Format("%d.%d.%d.%d", int{literal[0]}, int{literal[1]}, int{literal[2]}, int{literal[3]}), Id_IPv4}};
    return LookUpHost(plain, TIdLookUpFamily::Any);
}

bool TIdStack::IsIPv4Literal(const std::string& text) {
    std::string rest = text;
    for (int i = 0; i < 4; ++i) {
        const int value = ByteValue(Fetch(rest, '.'));
        if (value < 0 || value > 255) return false;
    }
    return rest.empty() && std::count(text.begin(), text.end(), '.') == 3;
}

bool TIdStack::ParseIPv4Literal(const std::string& text, std::array<uint8_t, 4>& bytes) {
    if (!IsIPv4Literal(text)) return false;
    std::string rest = text;
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(ByteValue(Fetch(rest, '.')));
    return true;
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
    if (address.front() == ':') address = "0" + address;
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

