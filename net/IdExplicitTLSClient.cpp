#include "net/IdExplicitTLSClient.h"

#include "net/IdSSLIOHandlerSocketBase.h"

TIdExplicitTLSClient::TIdExplicitTLSClient(TComponent* owner) : TIdTCPClientCustom(owner) {}

TIdExplicitTLSClient::~TIdExplicitTLSClient() = default;

TIdSSLIOHandlerSocketBase* TIdExplicitTLSClient::TLSHandler() const {
    return dynamic_cast<TIdSSLIOHandlerSocketBase*>(IOHandler());
}

void TIdExplicitTLSClient::RequireTLSHandler() {
    if (TLSHandler() == nullptr) throw EIdTLSClientSSLIOHandlerRequred(RSTLSSSLIOHandlerRequired);
}

void TIdExplicitTLSClient::SetUseTLS(TIdUseTLS value) {
    if (Connected()) throw EIdTLSClientCanNotSetWhileConnected(RSTLSSSLCanNotSetWhileConnected);
    if (loading_) {
        useTLS_ = value;
        return;
    }
    if (value != utNoTLSSupport) RequireTLSHandler();
    if (value == useTLS_) return;
    if (value == utUseImplicitTLS) {
        if (Port() == regularPort_) SetPort(implicitTLSPort_);
    } else if (Port() == implicitTLSPort_) {
        SetPort(regularPort_);
    }
    useTLS_ = value;
}

void TIdExplicitTLSClient::FallBackWithoutTLSHandler() {
    if (TLSHandler() == nullptr && useTLS_ != utNoTLSSupport) SetUseTLS(utNoTLSSupport);
}

void TIdExplicitTLSClient::SetIOHandler(TIdIOHandler* handler) {
    TIdTCPClientCustom::SetIOHandler(handler);
    if (!loading_) FallBackWithoutTLSHandler();
}

void TIdExplicitTLSClient::Loaded() {
    loading_ = false;
    FallBackWithoutTLSHandler();
}

void TIdExplicitTLSClient::Connect() {
    // Implicit TLS handshakes while opening; every other mode starts in clear.
    if (TIdSSLIOHandlerSocketBase* tls = TLSHandler()) tls->SetBypassTLS(useTLS_ != utUseImplicitTLS);
    TIdTCPClientCustom::Connect();
}

void TIdExplicitTLSClient::DisconnectIfConnected() {
    if (Connected()) Disconnect();
}

void TIdExplicitTLSClient::TLSHandshake() {
    try {
        TLSHandler()->SetBypassTLS(false);
    } catch (...) {
        bool continueSession = false;
        if (useTLS_ != utUseRequireTLS && onTLSHandshakeFailure_) onTLSHandshakeFailure_(this, continueSession);
        if (continueSession) return;
        // The peer, told to start TLS, may well hang up on the QUIT in clear:
        // the handshake's failure is the one to report, not the QUIT's.
        try {
            DisconnectIfConnected();
        } catch (const EIdException&) {
        }
        throw EIdTLSClientTLSHandShakeFailed(RSTLSSSLSSLNotAvailable);
    }
}

void TIdExplicitTLSClient::TLSNotAvailable() {
    bool continueSession = useTLS_ != utUseRequireTLS;
    if (continueSession && onTLSNotAvailable_) onTLSNotAvailable_(this, continueSession);
    if (continueSession) return;
    DisconnectIfConnected();
    throw EIdTLSClientTLSNotAvailable(RSTLSSSLSSLCmdFailed);
}
