#include "smtp/IdSMTP.h"

#include "message/IdCoderMIME.h"
#include "net/IdSSLIOHandlerSocketBase.h"
#include "smtp/IdReplySMTP.h"

TIdSMTP::TIdSMTP(TComponent* owner)
    : TIdSMTPBase(owner), saslMechanisms_(std::make_unique<TIdSASLEntries>(this)) {}

TIdSMTP::~TIdSMTP() = default;

namespace {
bool SwitchesOnOpenConnection(TIdUseTLS mode) { return mode == utUseRequireTLS || mode == utUseExplicitTLS; }
}  // namespace

void TIdSMTP::SetUseTLS(TIdUseTLS value) {
    TIdSMTPBase::SetUseTLS(value);
    if (SwitchesOnOpenConnection(UseTLS())) SetUseEhlo(true);
}

void TIdSMTP::SetUseEhlo(bool value) {
    StoreUseEhlo(value);
    if (value) return;
    authType_ = atDefault;
    if (SwitchesOnOpenConnection(UseTLS())) {
        StoreUseTLS(utNoTLSSupport);
        StorePipeLine(false);
    }
}

void TIdSMTP::Connect() {
    TIdSMTPBase::Connect();
    try {
        ReadReply(220);
        SendHello();
    } catch (...) {
        // A failing QUIT replaces the original failure.
        Disconnect();
        throw;
    }
}

void TIdSMTP::NotifyPeerBeforeDisconnect() { SendCommand("QUIT", 221); }

void TIdSMTP::Disconnect(bool notifyPeer) {
    TIdSMTPBase::Disconnect(notifyPeer);
    authenticated_ = false;
}

void TIdSMTP::Expand(const std::string& name) { SendCommand("EXPN " + name, {250, 251}); }

std::string TIdSMTP::Verify(const std::string& name) {
    SendCommand("VRFY " + name, {250, 251});
    const TStringList& text = LastCmdResult().Text();
    return text.Empty() ? std::string() : text[0];
}

void TIdSMTP::UpgradeToTLS() {
    try {
        TIdSSLIOHandlerSocketBase* tls = TLSHandler();
        if (tls == nullptr || UseTLS() == utNoTLSSupport || !tls->BypassTLS()) return;
        if (!SupportsTLS()) {
            TLSNotAvailable();
            return;
        }
        SendCommand("STARTTLS", 220);
        TLSHandshake();
        // The extension list is read anew over TLS.
        SendHello();
    } catch (...) {
        Disconnect();
        throw;
    }
}

bool TIdSMTP::Authenticate() {
    UpgradeToTLS();
    switch (authType_) {
        case atNone:
            break;
        case atDefault:
            AuthLogin();
            break;
        case atSASL:
            if (saslMechanisms_->Count() == 0) throw EIdSASLMechNeeded();
            saslMechanisms_->LoginWithSASL("AUTH", TStringList{"235"}, TStringList{"334"}, *this,
                                           ServiceExtensions(), "AUTH");
            break;
    }
    authenticated_ = true;
    return true;
}

void TIdSMTP::AuthLogin() {
    if (authenticated_ || Username().empty()) return;
    const std::unique_ptr<TStringList> offered = TIdSASLEntries::ParseAuthMechanisms(ServiceExtensions(), "AUTH");
    if (offered->IndexOf("LOGIN") >= 0) {
        SendCommand("AUTH LOGIN", 334);
        SendCommand(TIdEncoderMIME::EncodeString(Username()), 334);
        SendCommand(TIdEncoderMIME::EncodeString(Password()), 235);
    }
    authenticated_ = true;
}

void TIdSMTP::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove) saslMechanisms_->RemoveMechanism(component);
    TIdSMTPBase::Notification(component, operation);
}

void TIdSMTP::Assign(const TIdSMTP& source) {
    SetAuthType(source.AuthType());
    SetHeloName(source.HeloName());
    SetUseEhlo(source.UseEhlo());
    SetUseTLS(source.UseTLS());
    SetHost(source.Host());
    SetMailAgent(source.MailAgent());
    SetPort(source.Port());
    SetTag(source.Tag());
    SetUsername(source.Username());
    SetPassword(source.Password());
    SetOnTLSNotAvailable(source.OnTLSNotAvailable());
    SetOnTLSNegCmdFailed(source.OnTLSNegCmdFailed());
    SetOnTLSHandshakeFailure(source.OnTLSHandshakeFailure());
    SetOnConnected(source.OnConnected());
    SetOnDisconnected(source.OnDisconnected());
    SetOnWork(source.OnWork());
    SetOnWorkBegin(source.OnWorkBegin());
    SetOnWorkEnd(source.OnWorkEnd());
    SetOnStatus(source.OnStatus());
}

void TIdSMTP::Send(TIdMessage& /*message*/) {}
