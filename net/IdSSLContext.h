// One OpenSSL context per handler and connection, built from the options.
#pragma once

#include <cstdint>
#include <string>

#include "net/IdSSLOptions.h"

struct ssl_ctx_st;
struct ssl_method_st;
class TIdX509;

// The side of the handler that OpenSSL's callbacks talk to.
class TIdSSLEventSink {
public:
    virtual ~TIdSSLEventSink() = default;
    virtual void DoStatusInfo(const std::string& msg) = 0;
    virtual void DoGetPassword(std::string& password) = 0;
    virtual bool DoVerifyPeer(TIdX509* certificate) = 0;
};

// Which end of a connection the context is built for.
enum class TIdSSLCtxMode { sslCtxClient, sslCtxServer };

class TIdSSLContext {
public:
    // Loads the libraries when needed; raises "Could not load SSL library."
    // when they or one of their required entry points are missing.
    explicit TIdSSLContext(TIdSSLEventSink* owner);
    ~TIdSSLContext();
    TIdSSLContext(const TIdSSLContext&) = delete;
    TIdSSLContext& operator=(const TIdSSLContext&) = delete;

    // The nine option fields that matter here, and whether the status-info
    // and verify callbacks are to be installed.
    void CopyOptions(const TIdSSLOptions& options, bool statusInfoOn, bool verifyOn);
    // The system's default trust store costs a parse of the whole CA
    // bundle per context, so it is read only when something judges the
    // peer: this wish, a verify mode, or an own certificate whose chain
    // may be completed from it. Set before InitContext.
    void SetLoadTrustStore(bool value) { loadTrustStore_ = value; }
    // Whether the context built last read the default trust store.
    bool TrustStoreLoaded() const { return trustStoreLoaded_; }
    // Builds the OpenSSL context; every failure raises its own exception.
    void InitContext(TIdSSLCtxMode ctxMode);

    ssl_ctx_st* Context() const { return context_; }
    TIdSSLEventSink* Owner() const { return owner_; }
    TIdSSLVersion Method() const { return method_; }
    TIdSSLMode Mode() const { return mode_; }
    int32_t VerifyDepth() const { return verifyDepth_; }
    TIdSSLVerifyModeSet VerifyMode() const { return verifyMode_; }
    const std::string& VerifyDirs() const { return verifyDirs_; }
    const std::string& CipherList() const { return cipherList_; }

private:
    const ssl_method_st* SelectMethod() const;
    void CreateContext();
    bool NeedsTrustStore() const;
    void LoadFiles();
    void ApplyCipherAndVerify();
    void FreeContext();

    TIdSSLEventSink* owner_;
    TIdSSLVersion method_ = sslvSSLv2;
    TIdSSLMode mode_ = sslmUnassigned;
    std::string rootCertFile_;
    std::string certFile_;
    std::string keyFile_;
    int32_t verifyDepth_ = 0;
    TIdSSLVerifyModeSet verifyMode_ = 0;
    std::string verifyDirs_;
    std::string cipherList_;
    ssl_ctx_st* context_ = nullptr;
    bool statusInfoOn_ = false;
    bool verifyOn_ = false;
    bool loadTrustStore_ = false;
    bool trustStoreLoaded_ = false;
    int32_t sessionIdContext_ = 1;
};
