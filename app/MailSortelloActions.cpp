#include "app/MailSortelloActions.h"

#include <algorithm>
#include <filesystem>

#include "app/DebugTrace.h"
#include "app/SendProgress.h"
#include "app/TextHelpers.h"
#include "message/IdAttachmentFile.h"
#include "message/IdEMailAddress.h"
#include "message/IdMessage.h"
#include "net/IdSSLOpenSSL.h"
#include "platform/FileName.h"
#include "smtp/IdSASLCRAMMD5.h"
#include "smtp/IdSMTP.h"
#include "smtp/IdUserPassProvider.h"

#if __has_include("app/SendByMapi.h")
#include "app/SendByMapi.h"
#define MAILSORTELLO_HAS_MAPI 1
#endif
#if __has_include("app/SendByMailto.h")
#include "app/SendByMailto.h"
#define MAILSORTELLO_HAS_MAILTO 1
#endif

namespace {
constexpr int32_t ServerTimeoutMs = 3000;
}  // namespace

TMailSortelloActions::TMailSortelloActions(TLogSink* sink)
    : log_(sink), watcher_([this](TComponent* gone) {
          if (gone == idSSLIOHandler_) idSSLIOHandler_ = nullptr;
      }) {}

TMailSortelloActions::~TMailSortelloActions() = default;

void TMailSortelloActions::FormCreate() {
    log_.Clear();
}

bool TMailSortelloActions::ConnettiEnabled() const {
    const std::string& page = fields_.ActivePage();
    return page == TabSheetSmtpCript || page == TabSheetSMTP;
}

TMailActionContext TMailSortelloActions::Context() {
    return TMailActionContext{fields_, log_, owner_, appHandle_};
}

void TMailSortelloActions::actConnettiExecute() {
    DebugTrace("actConnettiExecute - inizio.");
    if (fields_.ActivePage() == TabSheetSmtpCript) ConnectEncrypted();
    if (fields_.ActivePage() == TabSheetSMTP) ConnectUnencrypted();
    DebugTrace("actConnettiExecute - fine.");
}

void TMailSortelloActions::CloseConnection() {
    if (!idSMTP_) return;
    try {
        idSMTP_->Disconnect(false);
    } catch (const std::exception&) {
        // Closing is all that was asked; the handler is closed either way.
    }
}

void TMailSortelloActions::PrepareClient() {
    if (!idSMTP_)
        idSMTP_ = std::make_unique<TIdSMTP>();
    else if (idSMTP_->Connected())
        idSMTP_->Disconnect(true);
}

namespace {
// A radio group without a selection counts as its first item.
int Position(const TFieldModel& fields, const char* name) { return std::max(fields.ItemIndex(name), 0); }
}  // namespace

void TMailSortelloActions::ConnectEncrypted() {
    PrepareClient();
    DebugTrace("> prima di creare  TIdSSLIOHandlerSocketOpenSSL");
    if (!idSSLIOHandler_) {
        idSSLIOHandler_ = new TIdSSLIOHandlerSocketOpenSSL(idSMTP_.get());
        watcher_.FreeNotification(idSSLIOHandler_);
    }
    DebugTrace("> prima di assegnare TIdSSLIOHandlerSocketOpenSSL");
    idSMTP_->SetIOHandler(idSSLIOHandler_);
    // After the handler: a TLS mode needs a TLS-capable handler attached.
    idSMTP_->SetUseTLS(static_cast<TIdUseTLS>(Position(fields_, "edtUseTLS")));
    idSMTP_->SetOwnsIOHandler(false);
    idSMTP_->SetAuthType(static_cast<TIdSMTPAuthenticationType>(Position(fields_, "edtAuthType_smtpcript")));
    const std::string& host = fields_.Text("edtHost_smtpcript");
    const std::string& port = fields_.Text("edtPort_smtpcript");
    idSSLIOHandler_->SetDestination(host + ":" + port);
    if (!idUserPassProvider_) idUserPassProvider_ = std::make_unique<TIdUserPassProvider>();
    idUserPassProvider_->SetUsername(fields_.Text("edtUserName"));
    idUserPassProvider_->SetPassword(fields_.Text("edtPassword"));
    if (!idSASLCRAMMD5_) idSASLCRAMMD5_ = std::make_unique<TIdSASLCRAMMD5>();
    idSASLCRAMMD5_->SetUserPassProvider(idUserPassProvider_.get());
    idSMTP_->SASLMechanisms().Add()->SetSASL(idSASLCRAMMD5_.get());
    idSSLIOHandler_->SSLOptions().SetMethod(static_cast<TIdSSLVersion>(Position(fields_, "edtMethod")));
    SetServer(host, port);
    ConnectAndReport();
}

void TMailSortelloActions::ConnectUnencrypted() {
    PrepareClient();
    idSMTP_->SetUseTLS(utNoTLSSupport);
    idSMTP_->SetOwnsIOHandler(true);
    idSMTP_->SetAuthType(static_cast<TIdSMTPAuthenticationType>(Position(fields_, "edtAuthType_smtp")));
    // Frees the handler held, the TLS handler included (the watcher then
    // empties its slot); Connect makes a plain one.
    idSMTP_->SetIOHandler(nullptr);
    idSMTP_->SASLMechanisms().Clear();
    SetServer(fields_.Text("edtHost_smtp"), fields_.Text("edtPort_smtp"));
    ConnectAndReport();
}

void TMailSortelloActions::SetServer(const std::string& host, const std::string& port) {
    idSMTP_->SetUseEhlo(true);
    idSMTP_->SetMailAgent("TelVara");
    idSMTP_->SetHeloName("Telvara");
    idSMTP_->SetHost(host);
    // After UseTLS, whose change adjusts the port.
    idSMTP_->SetPort(TextToInt(port));
    idSMTP_->SetUsername(fields_.Text("edtUserName"));
    idSMTP_->SetPassword(fields_.Text("edtPassword"));
    idSMTP_->SetConnectTimeout(ServerTimeoutMs);
    idSMTP_->SetReadTimeout(ServerTimeoutMs);
}

void TMailSortelloActions::ConnectAndReport() {
    try {
        log_.LogLine("idSMTP - prima di Connect...");
        idSMTP_->Connect();
        log_.LogLine("idSMTP - ...dopo Connect");
    } catch (const Exception& e) {
        log_.LogException(e);
    }
    log_.LogValue("LastCmdResult: ", idSMTP_->LastCmdResult().Text().Text());
    log_.LogLine(idSMTP_->Connected() ? "Connesso." : "NON connesso.");
}

namespace {

const char kLineBreakOrNul[] = "contiene un a capo o un NUL";

// The lenient parse keeps what it collected: an unclosed "<" drops the
// last label of the domain ("<a@example.test" gives "a@example."), a
// quoted name cut by a line break leaves a name without address, a quoted
// local part outside brackets is taken for a name ("@example.test"). None
// may reach the envelope, where it would name another mailbox or none.
bool IsIncomplete(const std::string& address) {
    return !address.empty() && (address.front() == '@' || address.back() == '@' || address.back() == '.');
}

std::string IncompleteProblem(const TIdEMailAddressItem& item) {
    return "indirizzo incompleto: \"" + item.Text() + "\"";
}

// Why a field cannot go out as typed (empty when it can): a sender is one
// command argument; in a recipient list line breaks separate addresses.
std::string SenderProblem(const std::string& text) {
    if (HasLineBreakOrNul(text)) return kLineBreakOrNul;
    try {
        TIdEMailAddressItem probe;
        probe.SetText(text);
        if (IsIncomplete(probe.Address())) return IncompleteProblem(probe);
    } catch (const EIdEmailParseError& e) {
        return e.Message();
    }
    return {};
}

std::string RecipientsProblem(const std::string& memo) {
    if (memo.find('\0') != std::string::npos) return "contiene un NUL";
    // Without angle brackets the list is cut at every blank, quotes or not:
    // "mario rossi"@x.test would go to a mailbox "rossi".
    if (memo.find('"') != std::string::npos && memo.find_first_of("<>") == std::string::npos)
        return "un testo tra virgolette richiede l'indirizzo tra < e >";
    try {
        TIdEMailAddressList probe;
        probe.SetEMailAddresses(NormalizeRecipients(memo, RecipientSeparator));
        for (int i = 0; i < probe.Count(); ++i) {
            const TIdEMailAddressItem& item = *probe.Items(i);
            if (item.Address().empty() || IsIncomplete(item.Address())) return IncompleteProblem(item);
        }
    } catch (const EIdEmailParseError& e) {
        return e.Message();
    }
    return {};
}

}  // namespace

bool TMailSortelloActions::UsesLogin() const {
    const char* name = fields_.ActivePage() == TabSheetSmtpCript ? "edtAuthType_smtpcript" : "edtAuthType_smtp";
    return Position(fields_, name) != atNone;
}

bool TMailSortelloActions::SendFieldsUsable() {
    const std::string& user = fields_.Text("edtUserName");
    const std::pair<const char*, std::string> checks[] = {
        {"Mittente", SenderProblem(fields_.Text("edtSender"))},
        {"Destinatari", RecipientsProblem(fields_.MemoValue("edtRecipients"))},
        {"Destinatari in copia conoscenza", RecipientsProblem(fields_.MemoValue("edtCCRecipients"))},
        {"Utente", UsesLogin() && HasLineBreakOrNul(user) ? kLineBreakOrNul : ""},
    };
    for (const auto& [field, problem] : checks) {
        if (problem.empty()) continue;
        log_.LogLine("Campo \"" + std::string(field) + "\" non valido: " + problem);
        log_.LogLine("> Non inviato.");
        return false;
    }
    return true;
}

void TMailSortelloActions::SendBySmtp() {
    // Nothing is sent, not even a connection made, for a field the session
    // would have to refuse or break.
    inputRefused_ = !SendFieldsUsable();
    if (inputRefused_) return;
    actConnettiExecute();
    if (!idSMTP_ || !idSMTP_->Connected()) return;
    if (!idMessage_)
        idMessage_ = std::make_unique<TIdMessage>();
    else
        idMessage_->Clear();
    FillMessage();
    if (progress_) {
        progress_->SetExpected(EstimatedMessageBytes());
        progress_->Watch(*idSMTP_);
    }
    SendMessage();
    if (progress_) TSendProgress::Unwatch(*idSMTP_);
    log_.LogValue("LastCmdResult= ", idSMTP_->LastCmdResult().Text().Text());
}

void TMailSortelloActions::SendMessage() {
    try {
        log_.LogLine("idSMTP.Send - prima...");
        idSMTP_->Send(*idMessage_);
        log_.LogLine("idSMTP.Send - ...dopo");
        log_.LogLine("> Inviato.");
    } catch (const Exception& e) {
        log_.LogException(e);
    }
}

// For the progress display only: the text fields as they are, and each
// attachment grown by base64 (57 bytes make a line of 76 and CR LF), with
// room for the headers and the part boundaries.
int64_t TMailSortelloActions::EstimatedMessageBytes() const {
    int64_t total = 2048 + static_cast<int64_t>(fields_.MemoValue("edtBody").size());
    for (const char* name : {"edtAttachFile1", "edtAttachFile2"}) {
        const std::string& path = fields_.Text(name);
        if (path.empty()) continue;
        std::error_code error;
        const auto size = std::filesystem::file_size(SystemFileName(path), error);
        if (!error) total += (static_cast<int64_t>(size) + 56) / 57 * 78 + 512;
    }
    return total;
}

void TMailSortelloActions::FillMessage() {
    TIdMessage& message = *idMessage_;
    DebugTrace("> actInviaMailExecute - impostazioni...");
    message.SetSubject(fields_.Text("edtSubject"));
    message.Body().SetText(fields_.MemoValue("edtBody"));
    message.From().SetText(fields_.Text("edtSender"));
    message.Sender().SetText(fields_.Text("edtSender"));
    message.Recipients().SetEMailAddresses(NormalizeRecipients(fields_.MemoValue("edtRecipients"), RecipientSeparator));
    const std::string recipients = message.Recipients().EMailAddresses();
    DebugTrace("> actInviaMailExecute - Recipients.EMailAddresses=\"" + recipients + "\"");
    log_.LogValue("Destinatari: ", recipients);
    message.CCList().SetEMailAddresses(NormalizeRecipients(fields_.MemoValue("edtCCRecipients"), RecipientSeparator));
    const std::string copies = message.CCList().EMailAddresses();
    DebugTrace("> actInviaMailExecute - CCList.EMailAddresses=\"" + copies + "\"");
    log_.LogValue("Copia conoscenza: ", copies);
    AddAttachment(fields_.Text("edtAttachFile1"));
    AddAttachment(fields_.Text("edtAttachFile2"));
}

void TMailSortelloActions::AddAttachment(const std::string& path) {
    if (path.empty()) return;
    CheckFileReadable(path);  // a named file is sent or the send stops
    new TIdAttachmentFile(&idMessage_->MessageParts(), path);  // the parts own it
    log_.LogLine("Allegato \"" + path + "\"");
}

void TMailSortelloActions::actInviaMailExecute() {
    // Each check looks at the tab active at that moment.
    if (ConnettiEnabled()) SendBySmtp();
    if (fields_.ActivePage() == TabSheetMAPI) {
#ifdef MAILSORTELLO_HAS_MAPI
        TMailActionContext context = Context();
        inputRefused_ = !SendByMapi(context);
#endif
    }
    if (fields_.ActivePage() == TabSheetMailto) {
#ifdef MAILSORTELLO_HAS_MAILTO
        TMailActionContext context = Context();
        SendByMailto(context);
#endif
    }
}
