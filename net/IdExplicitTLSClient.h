// A TCP client that can run its session in clear text, inside TLS from the
// first byte, or switch to TLS on the open connection (STARTTLS style).
#pragma once

#include "core/StringList.h"
#include "net/IdTCPClient.h"

#include <functional>

class TIdSSLIOHandlerSocketBase;

enum TIdUseTLS : int32_t {
    utNoTLSSupport = 0,    // plain connection
    utUseImplicitTLS = 1,  // TLS from the first byte
    utUseRequireTLS = 2,   // switch to TLS; fail when the server cannot
    utUseExplicitTLS = 3,  // switch to TLS when the server offers it
};

// Asked when TLS cannot be had; setting the flag decides whether the
// session goes on.
using TIdOnTLSNegotiationFailure = std::function<void(TComponent* sender, bool& continueSession)>;

class EIdTLSClientException : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdTLSClientSSLIOHandlerRequred : public EIdTLSClientException {
public:
    using EIdTLSClientException::EIdTLSClientException;
};
class EIdTLSClientCanNotSetWhileConnected : public EIdTLSClientException {
public:
    using EIdTLSClientException::EIdTLSClientException;
};
class EIdTLSClientTLSNotAvailable : public EIdTLSClientException {
public:
    using EIdTLSClientException::EIdTLSClientException;
};
class EIdTLSClientTLSHandShakeFailed : public EIdTLSClientException {
public:
    using EIdTLSClientException::EIdTLSClientException;
};

inline constexpr const char* RSTLSSSLIOHandlerRequired = "SSL IOHandler is required for this setting";
inline constexpr const char* RSTLSSSLCanNotSetWhileConnected = "This value can not be set while the client is connected.";
inline constexpr const char* RSTLSSSLSSLNotAvailable = "SSL is not available on this server.";
inline constexpr const char* RSTLSSSLSSLCmdFailed = "Start SSL negotiation command failed.";

class TIdExplicitTLSClient : public TIdTCPClientCustom {
public:
    explicit TIdExplicitTLSClient(TComponent* owner = nullptr);
    ~TIdExplicitTLSClient() override;

    int32_t RegularPort() const { return regularPort_; }
    void SetRegularPort(int32_t value) { regularPort_ = value; }
    int32_t ImplicitTLSPort() const { return implicitTLSPort_; }
    void SetImplicitTLSPort(int32_t value) { implicitTLSPort_ = value; }

    TIdUseTLS UseTLS() const { return useTLS_; }
    // Refused while connected and, for a TLS mode, without a TLS-capable
    // handler; switches Port between RegularPort and ImplicitTLSPort.
    virtual void SetUseTLS(TIdUseTLS value);

    const TIdOnTLSNegotiationFailure& OnTLSNotAvailable() const { return onTLSNotAvailable_; }
    void SetOnTLSNotAvailable(TIdOnTLSNegotiationFailure handler) { onTLSNotAvailable_ = std::move(handler); }
    // Kept for symmetry with the other two; nothing here invokes it.
    const TIdOnTLSNegotiationFailure& OnTLSNegCmdFailed() const { return onTLSNegCmdFailed_; }
    void SetOnTLSNegCmdFailed(TIdOnTLSNegotiationFailure handler) { onTLSNegCmdFailed_ = std::move(handler); }
    const TIdOnTLSNegotiationFailure& OnTLSHandshakeFailure() const { return onTLSHandshakeFailure_; }
    void SetOnTLSHandshakeFailure(TIdOnTLSNegotiationFailure handler) { onTLSHandshakeFailure_ = std::move(handler); }

    // The server's extension lines (the greeting reply without its first line).
    TStringList& ServiceExtensions() { return serviceExtensions_; }
    const TStringList& ServiceExtensions() const { return serviceExtensions_; }

    // Whether the server offers the switch to TLS.
    virtual bool SupportsTLS() { return false; }

    void Connect() override;
    void SetIOHandler(TIdIOHandler* handler) override;

    // Reading the component from stored settings: while loading, UseTLS is
    // stored as it is; Loaded applies the handler check afterwards.
    void BeginLoading() { loading_ = true; }
    virtual void Loaded();

protected:
    // The attached handler when it can do TLS, else null.
    TIdSSLIOHandlerSocketBase* TLSHandler() const;
    virtual void RequireTLSHandler();
    // Runs the TLS handshake on the open connection.
    virtual void TLSHandshake();
    // The server does not offer TLS: fail or go on in clear text.
    void TLSNotAvailable();
    void StoreUseTLS(TIdUseTLS value) { useTLS_ = value; }

private:
    // Failing a TLS step closes the session first (QUIT in clear text).
    void DisconnectIfConnected();
    void FallBackWithoutTLSHandler();

    int32_t regularPort_ = 0;
    int32_t implicitTLSPort_ = 0;
    TIdUseTLS useTLS_ = utNoTLSSupport;
    TIdOnTLSNegotiationFailure onTLSNotAvailable_;
    TIdOnTLSNegotiationFailure onTLSNegCmdFailed_;
    TIdOnTLSNegotiationFailure onTLSHandshakeFailure_;
    TStringList serviceExtensions_;
    bool loading_ = false;
};
