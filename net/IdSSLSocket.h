// One TLS session over a connected socket, and the report of its cipher.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "net/IdStack.h"

struct ssl_st;
class TIdSSLContext;
class TIdSSLEventSink;
class TIdX509;

class TIdSSLCipher {
public:
    explicit TIdSSLCipher(ssl_st* ssl) : ssl_(ssl) {}
    std::string Name() const;
    // OpenSSL's one-line description (at most 1024 bytes), without its line end.
    std::string Description() const;
    int32_t Bits() const;
    std::string Version() const;

private:
    ssl_st* ssl_;
};

// How a transfer ended. `count` is the number of bytes moved when Ok;
// `systemError` is the Windows Sockets number of a failure at the socket
// level.
enum class TIdSSLIOStatus { Ok, Closed, TimedOut, Failed };
struct TIdSSLIOResult {
    TIdSSLIOStatus status = TIdSSLIOStatus::Ok;
    int32_t count = 0;
    int systemError = 0;
};

// The socket is switched to non-blocking mode only while OpenSSL works on
// it, so that every wait is a poll bounded by the caller's time-out; a
// time-out below 0 means no limit. SIGPIPE, where the system has it, is
// held back during each call, because OpenSSL writes to the socket itself.
class TIdSSLSocket {
public:
    TIdSSLSocket(TIdSSLEventSink* owner, TIdSSLContext* context);
    ~TIdSSLSocket();
    TIdSSLSocket(const TIdSSLSocket&) = delete;
    TIdSSLSocket& operator=(const TIdSSLSocket&) = delete;

    // The name sent as server name indication by the next Connect; empty
    // sends none.
    void SetServerName(const std::string& name) { serverName_ = name; }
    const std::string& ServerName() const { return serverName_; }

    // The client handshake on `fd`. Raises "Error binding data to SSL
    // socket." or "Error connecting with SSL." (also when the peer stays
    // silent for the whole time-out or closes).
    void Connect(TIdStackSocketHandle fd, int32_t timeoutMs);
    TIdSSLIOResult Recv(uint8_t* buffer, int32_t size, int32_t timeoutMs);
    // Sends all bytes (OpenSSL writes them in as few records as it can).
    TIdSSLIOResult Send(const uint8_t* data, int32_t size, int32_t timeoutMs);
    // Decrypted bytes are waiting inside the session.
    bool HasPending() const;
    // Sends close_notify (without waiting for the peer's) unless the session
    // already failed; the destructor then frees it.
    void Shutdown();

    TIdSSLCipher* Cipher();
    // The negotiated protocol ("TLSv1.3").
    std::string Protocol() const;
    // The server's certificate after the handshake; nullptr when it sent none.
    TIdX509* PeerCertificate();
    TIdSSLEventSink* Owner() const { return owner_; }
    TIdSSLContext* Context() const { return context_; }
    ssl_st* SSL() const { return ssl_; }

private:
    enum class TStep { Retry, Closed, TimedOut, Failed };
    // What a result of 0 or less means: wait and retry, or how it ended.
    TStep Judge(int result, int32_t socketError, int64_t deadline);
    TIdSSLIOResult Ended(TStep step) const;

    TIdSSLEventSink* owner_;
    TIdSSLContext* context_;
    ssl_st* ssl_ = nullptr;
    TIdStackSocketHandle fd_ = Id_INVALID_SOCKET;
    bool established_ = false;
    bool failed_ = false;
    int systemError_ = 0;
    std::string serverName_;
    std::unique_ptr<TIdSSLCipher> cipher_;
    std::unique_ptr<TIdX509> peerCertificate_;
};
