// The process-wide socket stack: every socket operation the transport
// needs, with error numbers in the Windows Sockets numbering because they
// appear in the messages users read.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

enum TIdIPVersion : int32_t { Id_IPv4 = 0, Id_IPv6 = 1 };

// The system's socket handle: a descriptor, or a Windows SOCKET (UINT_PTR).
#ifdef _WIN32
using TIdStackSocketHandle = uintptr_t;
#else
using TIdStackSocketHandle = int;
#endif
inline constexpr TIdStackSocketHandle Id_INVALID_SOCKET = static_cast<TIdStackSocketHandle>(-1);
inline constexpr int Id_SOCK_STREAM = 1;

// Time-outs in milliseconds.
inline constexpr int32_t TimeoutDefault = -1;   // the handler's ReadTimeout
inline constexpr int32_t TimeoutInfinite = -2;  // no limit

// Milliseconds left until a deadline of the monotonic clock, 0 once past.
int32_t RemainingMilliseconds(uint64_t deadline);

// Windows Sockets error numbers used by name in the code.
inline constexpr int32_t Id_WSAEINTR = 10004;
inline constexpr int32_t Id_WSAEBADF = 10009;
inline constexpr int32_t Id_WSAEINVAL = 10022;
inline constexpr int32_t Id_WSAEWOULDBLOCK = 10035;
inline constexpr int32_t Id_WSAENOTSOCK = 10038;
inline constexpr int32_t Id_WSAECONNABORTED = 10053;
inline constexpr int32_t Id_WSAECONNRESET = 10054;
inline constexpr int32_t Id_WSAENOTCONN = 10057;
inline constexpr int32_t Id_WSAESHUTDOWN = 10058;
inline constexpr int32_t Id_WSAETIMEDOUT = 10060;
inline constexpr int32_t Id_WSAECONNREFUSED = 10061;
inline constexpr int32_t Id_WSAHOST_NOT_FOUND = 11001;
inline constexpr int32_t Id_WSATRY_AGAIN = 11002;

// One address to connect to, with its family.
struct TIdSocketAddress {
    std::string ip;
    TIdIPVersion ipVersion = Id_IPv4;
};

class TIdStack {
public:
    using TStackFactory = std::function<std::unique_ptr<TIdStack>()>;

    TIdStack();
    virtual ~TIdStack() = default;
    TIdStack(const TIdStack&) = delete;
    TIdStack& operator=(const TIdStack&) = delete;

    // Lifetime: the first live network component makes the stack, the last
    // one frees it. A null factory leaves the stack class undefined.
    static void SetStackClass(TStackFactory factory);
    static void IncUsage();
    static void DecUsage();
    static TIdStack* Instance();

    const std::string& HostName() const { return hostName_; }

    // Wakes every wait on the socket, from any thread; closing it then
    // resets the connection instead of delivering what is still queued.
    static void AbortSocket(TIdStackSocketHandle handle);

    // Sockets. Every failure raises EIdSocketError (EIdNotASocket for 10038).
    virtual TIdStackSocketHandle NewSocketHandle(int socketType, int protocol, TIdIPVersion ipVersion,
                                                 bool overlapped = false);
    virtual void Bind(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion);
    // Connects within timeoutMs (TimeoutInfinite or 0 = no limit): false
    // when the limit passed with the connect unfinished. A refusal or any
    // other failure raises as soon as it is known.
    virtual bool Connect(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion,
                         int32_t timeoutMs = TimeoutInfinite);
    // Shuts the sending direction, then closes; results are not checked.
    virtual void Disconnect(TIdStackSocketHandle handle);
    // Never raises SIGPIPE.
    virtual int32_t Send(TIdStackSocketHandle handle, const uint8_t* data, int32_t count);
    // 0 means the peer closed.
    virtual int32_t Receive(TIdStackSocketHandle handle, uint8_t* buffer, int32_t count);
    // True when data waits or the peer closed; TimeoutInfinite waits without limit.
    virtual bool Readable(TIdStackSocketHandle handle, int32_t timeoutMs);
    virtual void GetSocketName(TIdStackSocketHandle handle, std::string& ip, int32_t& port);
    virtual void GetPeerName(TIdStackSocketHandle handle, std::string& ip, int32_t& port);
    virtual void SetSocketOption(TIdStackSocketHandle handle, int level, int name, int32_t value);

    // Names and addresses.
    std::string ResolveHost(const std::string& host, TIdIPVersion ipVersion);
    virtual std::string HostByName(const std::string& host, TIdIPVersion ipVersion);
    // Every address a connection to host may try, in order. The host is
    // taken as PlainHost gives it. A literal is its own address (IPv4 or
    // IPv6, whatever ipVersion says, except that Id_IPv6 takes no IPv4
    // literal); a name gives every address the resolver answers, in its
    // order, of both families under Id_IPv4 and of IPv6 only under Id_IPv6.
    virtual std::vector<TIdSocketAddress> ResolveAddresses(const std::string& host, TIdIPVersion ipVersion);
    // The host without enclosing brackets ("[::1]") and without one
    // trailing dot ("127.0.0.1.", "mx.example.com.").
    static std::string PlainHost(const std::string& host);
    // Four parts of decimal digits (leading zeros allowed), each 0 to 255.
    static bool IsIPv4Literal(const std::string& text);
    // The four bytes of such a literal; false when text is none.
    static bool ParseIPv4Literal(const std::string& text, std::array<uint8_t, 4>& bytes);
    // Eight upper-case hexadecimal groups, or "" when text is no IPv6 literal.
    static std::string MakeCanonicalIPv6Address(const std::string& text);
    static bool IPv6Available() { return true; }

    // Errors.
    static std::string SocketErrorText(int32_t errorNumber);
    [[noreturn]] static void RaiseSocketError(int32_t errorNumber);
    // Raises the last socket error when result is -1, else answers result.
    static int CheckSocketResult(int result);
    // The calling thread's last socket error, as a Windows Sockets number.
    static int32_t WSGetLastError();
    static void ClearLastError();
#ifndef _WIN32
    // errno value to Windows Sockets number (unknown ones pass unchanged).
    static int32_t TranslateErrno(int err);
#endif

    // For transfers that their caller drives on a non-blocking socket (the
    // TLS session): true when the socket is ready for reading (or writing),
    // or in error, which the next transfer then reports; false when
    // timeoutMs (below 0: no limit) passed first.
    static bool WaitReady(TIdStackSocketHandle handle, bool forWrite, int32_t timeoutMs);

private:
    // Starts the system's socket interface for as long as the stack lives
    // (nothing to do where it is always there).
    struct TSocketApi {
        TSocketApi();
        ~TSocketApi();
        TSocketApi(const TSocketApi&) = delete;
        TSocketApi& operator=(const TSocketApi&) = delete;
    };

    TSocketApi socketApi_;
    std::string hostName_;
};

// Holds a socket in non-blocking mode for one call into code that does its
// own transfers on it (OpenSSL), and keeps SIGPIPE from the process where
// the system has it; the blocking mode is restored at the end.
class TIdNonBlockingScope {
public:
    explicit TIdNonBlockingScope(TIdStackSocketHandle handle);
    ~TIdNonBlockingScope();
    TIdNonBlockingScope(const TIdNonBlockingScope&) = delete;
    TIdNonBlockingScope& operator=(const TIdNonBlockingScope&) = delete;

private:
    struct TState;
    TIdStackSocketHandle handle_;
    std::unique_ptr<TState> state_;
};
