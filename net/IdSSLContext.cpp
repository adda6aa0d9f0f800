#include "net/IdSSLContext.h"

#include <cstring>
#include <mutex>

#include "net/IdSSLExceptions.h"
#include "net/IdSSLOpenSSLHeaders.h"
#include "net/IdSSLSocket.h"
#include "net/IdSSLX509.h"

namespace {

// OpenSSL may call back from any thread that runs a handshake; each
// callback is serialised on its own lock.
std::mutex gInfoLock;
std::mutex gPasswordLock;
std::mutex gVerifyLock;

TIdSSLSocket* SocketOf(const SSL* ssl) {
    return ssl != nullptr ? static_cast<TIdSSLSocket*>(IdSSL().SSL_get_ex_data(ssl, 0)) : nullptr;
}

// Exceptions must never unwind through OpenSSL's C frames.
void InfoCallback(const SSL* ssl, int /*where*/, int /*ret*/) {
    std::lock_guard<std::mutex> guard(gInfoLock);
    try {
        TIdSSLSocket* socket = SocketOf(ssl);
        if (socket == nullptr || socket->Owner() == nullptr) return;
        const char* state = IdSSL().SSL_state_string_long(ssl);
        socket->Owner()->DoStatusInfo(Format("SSL status: \"%s\"", state != nullptr ? state : ""));
    } catch (...) {
    }
}

// A password that does not fit OpenSSL's buffer is refused rather than cut.
int PasswordCallback(char* buffer, int size, int /*rwflag*/, void* userdata) {
    std::lock_guard<std::mutex> guard(gPasswordLock);
    try {
        auto* context = static_cast<TIdSSLContext*>(userdata);
        if (context == nullptr || context->Owner() == nullptr || size <= 0) return 0;
        std::string password;
        context->Owner()->DoGetPassword(password);
        if (password.size() >= static_cast<size_t>(size)) return 0;
        std::memcpy(buffer, password.c_str(), password.size() + 1);
        return static_cast<int>(password.size());
    } catch (...) {
        return 0;
    }
}

int VerifyCallback(int preverifyOk, X509_STORE_CTX* store) {
    std::lock_guard<std::mutex> guard(gVerifyLock);
    try {
        const TIdOpenSSLFunctions& f = IdSSL();
        TIdX509 certificate(f.X509_STORE_CTX_get_current_cert(store));
        auto* ssl = static_cast<SSL*>(f.X509_STORE_CTX_get_ex_data(store, f.SSL_get_ex_data_X509_STORE_CTX_idx()));
        TIdSSLSocket* socket = SocketOf(ssl);
        if (socket == nullptr) return preverifyOk;
        bool verdict = socket->Owner() == nullptr || socket->Owner()->DoVerifyPeer(&certificate);
        const int depth = f.X509_STORE_CTX_get_error_depth(store);
        if (preverifyOk <= 0 || (socket->Context() != nullptr && depth > socket->Context()->VerifyDepth()))
            verdict = false;
        return verdict && preverifyOk > 0 ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

}  // namespace

TIdSSLContext::TIdSSLContext(TIdSSLEventSink* owner) : owner_(owner) {
    Raise<EIdOSSLCouldNotLoadSSLLibrary>::IfFalse(LoadTLSLibraries(), RSOSSLCouldNotLoadSSLLibrary);
}

TIdSSLContext::~TIdSSLContext() { FreeContext(); }

void TIdSSLContext::FreeContext() {
    if (context_ != nullptr) IdSSL().SSL_CTX_free(context_);
    context_ = nullptr;
}

void TIdSSLContext::CopyOptions(const TIdSSLOptions& options, bool statusInfoOn, bool verifyOn) {
    rootCertFile_ = options.RootCertFile();
    certFile_ = options.CertFile();
    keyFile_ = options.KeyFile();
    verifyDepth_ = options.VerifyDepth();
    verifyMode_ = options.VerifyMode();
    verifyDirs_ = options.VerifyDirs();
    cipherList_ = options.CipherList();
    method_ = options.Method();
    mode_ = options.Mode();
    statusInfoOn_ = statusInfoOn;
    verifyOn_ = verifyOn;
}

// OpenSSL 3 has neither SSLv2 nor SSLv3 and no longer exports the fixed
// version methods: every choice is the version-flexible method of the
// role, and TLS 1.0 is pinned afterwards (CreateContext).
const ssl_method_st* TIdSSLContext::SelectMethod() const {
    Raise<EIdOSSLGetMethodError>::IfNotInRange(method_, sslvSSLv2, sslvTLSv1, RSOSSLGetMethodError);
    Raise<EIdOSSLModeNotSet>::IfTrue(mode_ == sslmUnassigned, RSOSSLModeNotSet);
    const TIdOpenSSLFunctions& f = IdSSL();
    switch (mode_) {
        case sslmClient:
            return f.TLS_client_method();
        case sslmServer:
            return f.TLS_server_method();
        default:
            return f.TLS_method();
    }
}

void TIdSSLContext::CreateContext() {
    const TIdOpenSSLFunctions& f = IdSSL();
    trustStoreLoaded_ = false;
    context_ = f.SSL_CTX_new(SelectMethod());
    Raise<EIdOSSLCreatingContextError>::IfNotAssigned(context_, RSOSSLCreatingContextError);
    if (method_ == sslvTLSv1) {
        // TLS 1.0 signs with SHA-1, which every security level above 0 refuses.
        f.SSL_CTX_ctrl(context_, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_VERSION, nullptr);
        f.SSL_CTX_ctrl(context_, SSL_CTRL_SET_MAX_PROTO_VERSION, TLS1_VERSION, nullptr);
        f.SSL_CTX_set_security_level(context_, 0);
    }
    // A peer that closes the socket without close_notify has closed the
    // connection, as a plain socket peer would; it is not a protocol error.
    f.SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);
    f.SSL_CTX_set_default_passwd_cb(context_, PasswordCallback);
    f.SSL_CTX_set_default_passwd_cb_userdata(context_, this);
    trustStoreLoaded_ = NeedsTrustStore();
    if (trustStoreLoaded_) f.SSL_CTX_set_default_verify_paths(context_);
}

bool TIdSSLContext::NeedsTrustStore() const {
    return loadTrustStore_ || verifyMode_ != 0 || !certFile_.empty();
}

void TIdSSLContext::LoadFiles() {
    const TIdOpenSSLFunctions& f = IdSSL();
    if (!rootCertFile_.empty())
        Raise<EIdOSSLLoadingRootCertError>::IfTrue(
            f.SSL_CTX_load_verify_locations(context_, rootCertFile_.c_str(), nullptr) <= 0,
            RSOSSLLoadingRootCertError);
    if (!certFile_.empty())
        Raise<EIdOSSLLoadingCertError>::IfTrue(
            f.SSL_CTX_use_certificate_file(context_, certFile_.c_str(), SSL_FILETYPE_PEM) <= 0,
            RSOSSLLoadingCertError);
    if (!keyFile_.empty()) {
        const bool ok = f.SSL_CTX_use_PrivateKey_file(context_, keyFile_.c_str(), SSL_FILETYPE_PEM) > 0 &&
                        f.SSL_CTX_check_private_key(context_) > 0;
        Raise<EIdOSSLLoadingKeyError>::IfFalse(ok, RSOSSLLoadingKeyError);
    }
}

void TIdSSLContext::ApplyCipherAndVerify() {
    const TIdOpenSSLFunctions& f = IdSSL();
    if (statusInfoOn_) f.SSL_CTX_set_info_callback(context_, InfoCallback);
    const std::string& list = cipherList_.empty() ? std::string(IdSSLDefaultCipherList) : cipherList_;
    Raise<EIdOSSLSettingCipherError>::IfTrue(f.SSL_CTX_set_cipher_list(context_, list.c_str()) <= 0,
                                             RSOSSLSettingCipherError);
    if (verifyMode_ != 0) {
        f.SSL_CTX_set_verify(context_, verifyMode_, verifyOn_ ? VerifyCallback : nullptr);
        f.SSL_CTX_set_verify_depth(context_, verifyDepth_);
    }
}

void TIdSSLContext::InitContext(TIdSSLCtxMode ctxMode) {
    FreeContext();
    if (mode_ == sslmUnassigned) mode_ = ctxMode == TIdSSLCtxMode::sslCtxServer ? sslmServer : sslmClient;
    CreateContext();
    LoadFiles();
    ApplyCipherAndVerify();
    const TIdOpenSSLFunctions& f = IdSSL();
    if (ctxMode == TIdSSLCtxMode::sslCtxServer)
        f.SSL_CTX_set_session_id_context(context_, reinterpret_cast<const unsigned char*>(&sessionIdContext_),
                                         sizeof sessionIdContext_);
    if (!rootCertFile_.empty()) f.SSL_CTX_set_client_CA_list(context_, f.SSL_load_client_CA_file(rootCertFile_.c_str()));
}
