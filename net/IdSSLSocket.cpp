#include "net/IdSSLSocket.h"

#include "net/IdSSLContext.h"
#include "net/IdSSLExceptions.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdSSLX509.h"
#include "net/IdStack.h"
#include "platform/Locale.h"

namespace {

int64_t Deadline(int32_t timeoutMs) {
    return timeoutMs < 0 ? -1 : static_cast<int64_t>(MonotonicMilliseconds()) + timeoutMs;
}

int RemainingMs(int64_t deadline) {
    if (deadline < 0) return -1;
    const int64_t left = deadline - static_cast<int64_t>(MonotonicMilliseconds());
    return left > 0 ? static_cast<int>(left) : 0;
}

// True when the socket is ready (or in error, which OpenSSL then reports);
// false when the deadline passed first.
bool WaitSocket(TIdStackSocketHandle fd, bool forWrite, int64_t deadline) {
    return TIdStack::WaitReady(fd, forWrite, RemainingMs(deadline));
}

// Non-blocking socket (and no SIGPIPE) for the length of one OpenSSL call.
using TIdSSLCallScope = TIdNonBlockingScope;

}  // namespace

std::string TIdSSLCipher::Name() const {
    const SSL_CIPHER* cipher = IdSSL().SSL_get_current_cipher(ssl_);
    const char* name = cipher != nullptr ? IdSSL().SSL_CIPHER_get_name(cipher) : nullptr;
    return name != nullptr ? name : "";
}

std::string TIdSSLCipher::Description() const {
    const SSL_CIPHER* cipher = IdSSL().SSL_get_current_cipher(ssl_);
    if (cipher == nullptr) return {};
    char buffer[1024] = {};
    const char* text = IdSSL().SSL_CIPHER_description(cipher, buffer, sizeof buffer);
    std::string description = text != nullptr ? text : "";
    while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        description.pop_back();
    return description;
}

int32_t TIdSSLCipher::Bits() const {
    const SSL_CIPHER* cipher = IdSSL().SSL_get_current_cipher(ssl_);
    return cipher != nullptr ? IdSSL().SSL_CIPHER_get_bits(cipher, nullptr) : 0;
}

std::string TIdSSLCipher::Version() const {
    const SSL_CIPHER* cipher = IdSSL().SSL_get_current_cipher(ssl_);
    const char* version = cipher != nullptr ? IdSSL().SSL_CIPHER_get_version(cipher) : nullptr;
    return version != nullptr ? version : "";
}

TIdSSLSocket::TIdSSLSocket(TIdSSLEventSink* owner, TIdSSLContext* context) : owner_(owner), context_(context) {}

TIdSSLSocket::~TIdSSLSocket() {
    Shutdown();
    cipher_.reset();
    peerCertificate_.reset();
    if (ssl_ != nullptr) IdSSL().SSL_free(ssl_);
}

void TIdSSLSocket::Connect(TIdStackSocketHandle fd, int32_t timeoutMs) {
    const TIdOpenSSLFunctions& f = IdSSL();
    ssl_ = f.SSL_new(context_->Context());
    Raise<EIdOSSLConnectError>::IfNotAssigned(ssl_, RSOSSLConnectError);
    Raise<EIdOSSLDataBindingError>::IfTrue(f.SSL_set_ex_data(ssl_, 0, this) < 1, RSOSSLDataBindingError);
    Raise<EIdOSSLConnectError>::IfTrue(f.SSL_set_fd(ssl_, fd) < 1, RSOSSLConnectError);
    if (!serverName_.empty())
        Raise<EIdOSSLConnectError>::IfTrue(
            f.SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                       const_cast<char*>(serverName_.c_str())) != 1,
            RSOSSLConnectError);
    fd_ = fd;
    TIdSSLCallScope scope(fd_);
    const int64_t deadline = Deadline(timeoutMs);
    for (;;) {
        f.ERR_clear_error();
        TIdStack::ClearLastError();
        const int result = f.SSL_connect(ssl_);
        if (result == 1) break;
        if (Judge(result, TIdStack::WSGetLastError(), deadline) != TStep::Retry) {
            failed_ = true;
            Raise<EIdOSSLConnectError>::Toss(RSOSSLConnectError);
        }
    }
    established_ = true;
}

TIdSSLSocket::TStep TIdSSLSocket::Judge(int result, int32_t socketError, int64_t deadline) {
    switch (IdSSL().SSL_get_error(ssl_, result)) {
        case SSL_ERROR_WANT_READ:
            return WaitSocket(fd_, false, deadline) ? TStep::Retry : TStep::TimedOut;
        case SSL_ERROR_WANT_WRITE:
            return WaitSocket(fd_, true, deadline) ? TStep::Retry : TStep::TimedOut;
        case SSL_ERROR_ZERO_RETURN:
            return TStep::Closed;
        case SSL_ERROR_SYSCALL:
            failed_ = true;
            systemError_ = socketError != 0 ? socketError : Id_WSAECONNABORTED;
            return TStep::Failed;
        default:
            // A protocol error (garbage, a fatal alert): the session is
            // over, which the socket layer knows as an aborted connection.
            failed_ = true;
            systemError_ = Id_WSAECONNABORTED;
            return TStep::Failed;
    }
}

TIdSSLIOResult TIdSSLSocket::Ended(TStep step) const {
    switch (step) {
        case TStep::Closed:
            return {TIdSSLIOStatus::Closed, 0, 0};
        case TStep::TimedOut:
            return {TIdSSLIOStatus::TimedOut, 0, 0};
        default:
            return {TIdSSLIOStatus::Failed, 0, systemError_};
    }
}

TIdSSLIOResult TIdSSLSocket::Recv(uint8_t* buffer, int32_t size, int32_t timeoutMs) {
    const TIdOpenSSLFunctions& f = IdSSL();
    TIdSSLCallScope scope(fd_);
    const int64_t deadline = Deadline(timeoutMs);
    for (;;) {
        f.ERR_clear_error();
        TIdStack::ClearLastError();
        const int result = f.SSL_read(ssl_, buffer, size);
        if (result > 0) return {TIdSSLIOStatus::Ok, result, 0};
        const TStep step = Judge(result, TIdStack::WSGetLastError(), deadline);
        if (step != TStep::Retry) return Ended(step);
    }
}

TIdSSLIOResult TIdSSLSocket::Send(const uint8_t* data, int32_t size, int32_t timeoutMs) {
    if (size <= 0) return {TIdSSLIOStatus::Ok, 0, 0};
    const TIdOpenSSLFunctions& f = IdSSL();
    TIdSSLCallScope scope(fd_);
    const int64_t deadline = Deadline(timeoutMs);
    for (;;) {
        f.ERR_clear_error();
        TIdStack::ClearLastError();
        const int result = f.SSL_write(ssl_, data, size);
        if (result > 0) return {TIdSSLIOStatus::Ok, result, 0};
        const TStep step = Judge(result, TIdStack::WSGetLastError(), deadline);
        if (step != TStep::Retry) return Ended(step);
    }
}

bool TIdSSLSocket::HasPending() const { return ssl_ != nullptr && IdSSL().SSL_pending(ssl_) > 0; }

void TIdSSLSocket::Shutdown() {
    if (ssl_ == nullptr || !established_ || failed_) return;
    established_ = false;
    TIdSSLCallScope scope(fd_);
    IdSSL().ERR_clear_error();
    IdSSL().SSL_shutdown(ssl_);
}

TIdSSLCipher* TIdSSLSocket::Cipher() {
    if (!cipher_) cipher_ = std::make_unique<TIdSSLCipher>(ssl_);
    return cipher_.get();
}

std::string TIdSSLSocket::Protocol() const {
    const char* version = ssl_ != nullptr ? IdSSL().SSL_get_version(ssl_) : nullptr;
    return version != nullptr ? version : "";
}

TIdX509* TIdSSLSocket::PeerCertificate() {
    if (!peerCertificate_ && ssl_ != nullptr)
        if (X509* certificate = IdSSL().SSL_get1_peer_certificate(ssl_))
            peerCertificate_ = std::make_unique<TIdX509>(certificate, true);
    return peerCertificate_.get();
}
