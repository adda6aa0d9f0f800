// The stack on BSD sockets: system errors are mapped onto the Windows
// Sockets numbers that the messages show.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

#include "net/IdNetExceptions.h"
#include "net/IdSockAddr.h"
#include "net/IdStack.h"
#include "platform/Locale.h"

namespace {

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

// Resolver answers in the Windows Sockets numbering.
int32_t ResolverErrorNumber(int answer) {
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

// BSD sockets need no start.
TIdStack::TSocketApi::TSocketApi() = default;
TIdStack::TSocketApi::~TSocketApi() = default;

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
    const TIdSockAddr address = TIdSockAddr::Make(ip, port, ipVersion);
    CheckSocketResult(::bind(handle, address.Get(), address.length));
}

bool TIdStack::Connect(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion,
                       int32_t timeoutMs) {
    const TIdSockAddr address = TIdSockAddr::Make(ip, port, ipVersion);
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

bool TIdStack::WaitReady(TIdStackSocketHandle handle, bool forWrite, int32_t timeoutMs) {
    short revents = 0;
    return PollOne(handle, forWrite ? POLLOUT : POLLIN, timeoutMs, revents) != 0;
}

void TIdStack::GetSocketName(TIdStackSocketHandle handle, std::string& ip, int32_t& port) {
    TIdSockAddr address;
    CheckSocketResult(::getsockname(handle, address.Get(), &address.length));
    address.ToText(ip, port);
}

void TIdStack::GetPeerName(TIdStackSocketHandle handle, std::string& ip, int32_t& port) {
    TIdSockAddr address;
    CheckSocketResult(::getpeername(handle, address.Get(), &address.length));
    address.ToText(ip, port);
}

void TIdStack::SetSocketOption(TIdStackSocketHandle handle, int level, int name, int32_t value) {
    CheckSocketResult(::setsockopt(handle, level, name, &value, sizeof value));
}

int32_t TIdStack::WSGetLastError() { return TranslateErrno(errno); }

void TIdStack::ClearLastError() { errno = 0; }

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

// OpenSSL writes to the socket with write(), which a closed peer answers
// with SIGPIPE: it is held back during the call, and one raised meanwhile
// is consumed, not delivered.
struct TIdNonBlockingScope::TState {
    int flags = -1;
    sigset_t pipe{};
    sigset_t oldMask{};
    bool wasPending = false;
};

TIdNonBlockingScope::TIdNonBlockingScope(TIdStackSocketHandle handle)
    : handle_(handle), state_(std::make_unique<TState>()) {
    TState& s = *state_;
    s.flags = ::fcntl(handle_, F_GETFL);
    if (s.flags >= 0 && (s.flags & O_NONBLOCK) == 0) ::fcntl(handle_, F_SETFL, s.flags | O_NONBLOCK);
    sigemptyset(&s.pipe);
    sigaddset(&s.pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &s.pipe, &s.oldMask);
    sigset_t pending;
    sigpending(&pending);
    s.wasPending = sigismember(&pending, SIGPIPE) == 1;
}

TIdNonBlockingScope::~TIdNonBlockingScope() {
    TState& s = *state_;
    sigset_t pending;
    sigpending(&pending);
    if (!s.wasPending && sigismember(&pending, SIGPIPE) == 1) {
        const timespec zero{0, 0};
        sigtimedwait(&s.pipe, nullptr, &zero);
    }
    ::pthread_sigmask(SIG_SETMASK, &s.oldMask, nullptr);
    if (s.flags >= 0 && (s.flags & O_NONBLOCK) == 0) ::fcntl(handle_, F_SETFL, s.flags);
}

void TIdStack::AbortSocket(TIdStackSocketHandle handle) {
    const linger abort{1, 0};
    ::setsockopt(handle, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    ::shutdown(handle, SHUT_RDWR);
}
