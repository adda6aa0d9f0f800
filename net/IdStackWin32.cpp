// The stack on Windows Sockets 2: the error numbers are the system's own.
#include "net/IdNetExceptions.h"
#include "net/IdSockAddr.h"
#include "net/IdStack.h"

namespace {

SOCKET Native(TIdStackSocketHandle handle) { return static_cast<SOCKET>(handle); }

bool SetNonBlocking(SOCKET s, bool on) {
    u_long mode = on ? 1 : 0;
    return ::ioctlsocket(s, FIONBIO, &mode) == 0;
}

// select on one socket; a negative time-out waits without limit. Answers
// select's result: 0 when the time passed first.
int SelectOne(SOCKET s, fd_set* read, fd_set* write, fd_set* except, int32_t timeoutMs) {
    for (fd_set* set : {read, write, except}) {
        if (set == nullptr) continue;
        FD_ZERO(set);
        FD_SET(s, set);
    }
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return ::select(0, read, write, except, timeoutMs >= 0 ? &limit : nullptr);
}

// Waits for a non-blocking connect that is under way: a refusal shows in
// the except set, a success in the write set.
bool AwaitConnect(SOCKET s, int32_t timeoutMs) {
    fd_set write, except;
    if (TIdStack::CheckSocketResult(SelectOne(s, nullptr, &write, &except, timeoutMs)) == 0) return false;
    int error = 0;
    int length = sizeof error;
    TIdStack::CheckSocketResult(::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length));
    if (error != 0) TIdStack::RaiseSocketError(error);
    return true;
}

}  // namespace

// getaddrinfo answers in Windows Sockets numbers already. A name without
// an address of the family asked for reads as an unknown host, as on the
// other systems.
int32_t ResolverErrorNumber(int answer) {
    return answer == EAI_NODATA ? Id_WSAHOST_NOT_FOUND : answer;
}

TIdStack::TSocketApi::TSocketApi() {
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0)
        throw EIdStackInitializationFailed("Winsock Initialization Error.");
}

TIdStack::TSocketApi::~TSocketApi() { ::WSACleanup(); }

TIdStackSocketHandle TIdStack::NewSocketHandle(int socketType, int protocol, TIdIPVersion ipVersion, bool) {
    int family = AF_INET;
    if (ipVersion == Id_IPv6) family = AF_INET6;
    else if (ipVersion != Id_IPv4) RaiseIPVersionUnsupported();
    const int type = socketType == Id_SOCK_STREAM ? SOCK_STREAM : socketType;
    const SOCKET s = ::socket(family, type, protocol);
    if (s == INVALID_SOCKET) RaiseSocketError(WSGetLastError());
    // No program started later inherits the connection.
    ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
    return static_cast<TIdStackSocketHandle>(s);
}

void TIdStack::Bind(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion) {
    const TIdSockAddr address = TIdSockAddr::Make(ip, port, ipVersion);
    CheckSocketResult(::bind(Native(handle), address.Get(), address.length));
}

bool TIdStack::Connect(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion,
                       int32_t timeoutMs) {
    const TIdSockAddr address = TIdSockAddr::Make(ip, port, ipVersion);
    const SOCKET s = Native(handle);
    if (!SetNonBlocking(s, true)) RaiseSocketError(WSGetLastError());
    bool done = ::connect(s, address.Get(), address.length) == 0;
    const int err = done ? 0 : WSGetLastError();
    try {
        if (!done && err != Id_WSAEWOULDBLOCK) RaiseSocketError(err);
        if (!done) done = AwaitConnect(s, timeoutMs > 0 ? timeoutMs : -1);
    } catch (...) {
        SetNonBlocking(s, false);
        throw;
    }
    SetNonBlocking(s, false);
    return done;
}

void TIdStack::Disconnect(TIdStackSocketHandle handle) {
    ::shutdown(Native(handle), SD_SEND);
    ::closesocket(Native(handle));
}

// Windows has no SIGPIPE: a send to a closed peer fails with an error.
int32_t TIdStack::Send(TIdStackSocketHandle handle, const uint8_t* data, int32_t count) {
    return CheckSocketResult(::send(Native(handle), reinterpret_cast<const char*>(data), count, 0));
}

int32_t TIdStack::Receive(TIdStackSocketHandle handle, uint8_t* buffer, int32_t count) {
    return CheckSocketResult(::recv(Native(handle), reinterpret_cast<char*>(buffer), count, 0));
}

bool TIdStack::Readable(TIdStackSocketHandle handle, int32_t timeoutMs) {
    fd_set read;
    return CheckSocketResult(SelectOne(Native(handle), &read, nullptr, nullptr, timeoutMs)) > 0;
}

bool TIdStack::WaitReady(TIdStackSocketHandle handle, bool forWrite, int32_t timeoutMs) {
    fd_set ready, except;
    return forWrite ? SelectOne(Native(handle), nullptr, &ready, &except, timeoutMs) != 0
                    : SelectOne(Native(handle), &ready, nullptr, nullptr, timeoutMs) != 0;
}

void TIdStack::GetSocketName(TIdStackSocketHandle handle, std::string& ip, int32_t& port) {
    TIdSockAddr address;
    CheckSocketResult(::getsockname(Native(handle), address.Get(), &address.length));
    address.ToText(ip, port);
}

void TIdStack::GetPeerName(TIdStackSocketHandle handle, std::string& ip, int32_t& port) {
    TIdSockAddr address;
    CheckSocketResult(::getpeername(Native(handle), address.Get(), &address.length));
    address.ToText(ip, port);
}

void TIdStack::SetSocketOption(TIdStackSocketHandle handle, int level, int name, int32_t value) {
    CheckSocketResult(::setsockopt(Native(handle), level, name, reinterpret_cast<const char*>(&value), sizeof value));
}

int32_t TIdStack::WSGetLastError() { return ::WSAGetLastError(); }

void TIdStack::ClearLastError() { ::WSASetLastError(0); }

// Windows has no SIGPIPE to hold back; only the mode is switched. Sockets
// are blocking everywhere else.
struct TIdNonBlockingScope::TState {};

TIdNonBlockingScope::TIdNonBlockingScope(TIdStackSocketHandle handle) : handle_(handle) {
    SetNonBlocking(Native(handle_), true);
}

TIdNonBlockingScope::~TIdNonBlockingScope() { SetNonBlocking(Native(handle_), false); }

void TIdStack::AbortSocket(TIdStackSocketHandle handle) {
    const linger abort{1, 0};
    ::setsockopt(Native(handle), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    ::shutdown(Native(handle), SD_BOTH);
}
