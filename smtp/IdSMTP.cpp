#include "smtp/IdSMTP.h"

#include "message/IdCoderMIME.h"
#include "message/IdEMailAddress.h"
#include "message/IdMessage.h"
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
    CheckCommandArgument(HeloName(), "EHLO name");
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
    if (authType_ != atNone) CheckCommandArgument(Username(), "User name");
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

// ------------------------------------------------------------ transaction

void TIdSMTP::SetMailAgentHeader(TIdMessage& message) const {
    // An empty value removes the header.
    message.ExtraHeaders().SetValues("X-Mailer", MailAgent());
}

namespace {

// Recipients, then CCList, then BccList, reparsed from their joined text.
std::unique_ptr<TIdEMailAddressList> Envelope(TIdMessage& message) {
    auto envelope = std::make_unique<TIdEMailAddressList>();
    std::string text = message.Recipients().EMailAddresses();
    for (TIdEMailAddressList* list : {&message.CCList(), &message.BccList()})
        if (list->Count() > 0) text += ", " + list->EMailAddresses();
    envelope->SetEMailAddresses(text);
    return envelope;
}

// 8-bit text is declared to a server that takes it (the writer sends it
// quoted-printable to any other).
std::string MailFromLine(TIdMessage& message) {
    const std::string line = "MAIL FROM:<" + message.From().Address() + ">";
    return message.EightBitMime() && message.HasEightBitText() ? line + " BODY=8BITMIME" : line;
}

std::string RcptToLine(const TIdEMailAddressItem& item) { return "RCPT TO:<" + item.Address() + ">"; }

// The whole envelope is checked before the first command goes out: the
// pipelined batch leaves in one write.
void CheckEnvelope(TIdMessage& message, const TIdEMailAddressList& envelope) {
    CheckCommandArgument(message.From().Address(), "Sender address");
    for (int i = 0; i < envelope.Count(); ++i) CheckCommandArgument(envelope.Items(i)->Address(), "Recipient address");
}

}  // namespace

void TIdSMTP::Send(TIdMessage& message) {
    const std::unique_ptr<TIdEMailAddressList> envelope = Envelope(message);
    CheckEnvelope(message, *envelope);
    Authenticate();
    SetMailAgentHeader(message);
    message.SetEightBitMime(ServiceExtensions().IndexOf("8BITMIME") >= 0);
    if (PipeLine() && ServiceExtensions().IndexOf("PIPELINING") >= 0)
        SendPipelined(message, *envelope);
    else
        SendSequential(message, *envelope);
}

void TIdSMTP::SendSequential(TIdMessage& message, const TIdEMailAddressList& envelope) {
    SendCommand("RSET");
    SendCommand(MailFromLine(message), 250);
    for (int i = 0; i < envelope.Count(); ++i) SendCommand(RcptToLine(*envelope.Items(i)), {250, 251});
    SendCommand("DATA", 354);
    WriteData(message);
}

void TIdSMTP::WriteData(TIdMessage& message) {
    // The text leaves in large writes, never more than this held at once.
    constexpr int32_t kFlushThreshold = 64 * 1024;
    EnsureIOHandler();
    TIdIOHandler& io = *IOHandler();
    io.OpenWriteBuffer(kFlushThreshold);
    try {
        WriteMessage(message, false);
        io.CloseWriteBuffer();
    } catch (...) {
        io.CancelWriteBuffer();
        // The server still reads message text: no command can reach it, and
        // ending the data would deliver a truncated message. Dropping the
        // connection makes it discard what it got.
        Disconnect(false);
        throw;
    }
    SendCommand(".", 250);
}

void TIdSMTP::WriteEnvelopeBatch(TIdMessage& message, const TIdEMailAddressList& envelope) {
    EnsureIOHandler();
    TIdIOHandler& io = *IOHandler();
    io.OpenWriteBuffer();
    try {
        io.WriteLn("RSET");
        io.WriteLn(MailFromLine(message));
        for (int i = 0; i < envelope.Count(); ++i) io.WriteLn(RcptToLine(*envelope.Items(i)));
        io.WriteLn("DATA");
    } catch (...) {
        io.CloseWriteBuffer();
        throw;
    }
    io.CloseWriteBuffer();
}

namespace {

// A copy of the reply that failed first, raised once the batch is read.
std::unique_ptr<TIdReplySMTP> CopyOfReply(const TIdReply& reply) {
    auto copy = std::make_unique<TIdReplySMTP>();
    copy->Text().Assign(reply.Text());
    copy->SetCodeNumber(reply.CodeNumber());
    if (const auto* smtp = dynamic_cast<const TIdReplySMTP*>(&reply))
        copy->EnhancedCode().SetReplyAsStr(smtp->EnhancedCode().ReplyAsStr());
    return copy;
}

}  // namespace

void TIdSMTP::SendPipelined(TIdMessage& message, const TIdEMailAddressList& envelope) {
    WriteEnvelopeBatch(message, envelope);
    std::unique_ptr<TIdReplySMTP> failure;
    auto keepFailure = [&] {
        if (!failure) failure = CopyOfReply(LastCmdResult());
    };
    ReadReply(TIdReplyCodes{});  // RSET
    if (ReadReply(TIdReplyCodes{}) != 250) keepFailure();
    for (int i = 0; i < envelope.Count(); ++i) {
        const int16_t code = ReadReply(TIdReplyCodes{});
        if (code != 250 && code != 251) keepFailure();
    }
    if (ReadReply(TIdReplyCodes{}) != 354) {
        keepFailure();
        failure->RaiseError();
    }
    if (failure) {
        // The server waits for message text: a "." would deliver an empty
        // message to the accepted recipients. A dropped connection makes it
        // discard the transaction instead.
        Disconnect(false);
        failure->RaiseError();
    }
    WriteData(message);
}
