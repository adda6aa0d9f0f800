#include "app/cli/MailSortelloCli.h"

#include <algorithm>

#include "app/AppVersion.h"
#include "app/cli/CliPassword.h"
#include "app/cli/ReadOnlySettingsStore.h"
#include "net/IdSSLOpenSSL.h"
#include "platform/FileName.h"
#include "smtp/IdSMTP.h"

TMailSortelloCli::TMailSortelloCli(FILE* out, FILE* err) : out_(out), err_(err), sink_(out), actions_(&sink_) {}

TMailSortelloCli::~TMailSortelloCli() { TIdIOHandler::SetOpenHook(nullptr); }

void TMailSortelloCli::Error(const std::string& text) { WriteTerminalLine(err_, "mailsortello-cli: " + text); }

int TMailSortelloCli::Run(const std::vector<std::string>& args) {
    try {
        const TCliOptions options = ParseCliOptions(args);
        if (options.help) {
            std::fputs(CliHelpText().c_str(), out_);
            return cesSuccess;
        }
        if (options.version) {
            std::fprintf(out_, "mailsortello-cli %s\n", AppFileVersion);
            return cesSuccess;
        }
        return RunCommand(options);
    } catch (const ECliUsageError& e) {
        Error(e.what());
        return cesUsage;
    }
}

int TMailSortelloCli::RunCommand(const TCliOptions& options) {
    actions_.FormCreate();
    PrepareFields(options);
    if (options.command == "send") CheckAttachments();
    if (options.command == "connect" && !actions_.ConnettiEnabled())
        throw ECliUsageError("connect: needs an SMTP tab (--tab smtp or --tab smtp-tls)");
    WatchConnections(options);
    ShowProgress(options);
    RunAction(options.command);
    EndSession();
    return Outcome(options.command);
}

void TMailSortelloCli::PrepareFields(const TCliOptions& options) {
    TFieldModel& fields = actions_.Fields();
    if (!options.noStored) RestoreStoredFields(fields);
    ApplyCliOptions(options, fields);
    SetCliPassword(options, PasswordWanted(), err_, fields);
}

// A stored attachment gone since the window saved it is an input error,
// found before connecting as for --attach; mailto sends only the first.
void TMailSortelloCli::CheckAttachments() const {
    const TFieldModel& fields = actions_.Fields();
    const bool mailto = fields.ActivePage() == TabSheetMailto;
    for (const std::string& path : {fields.Text("edtAttachFile1"), mailto ? "" : fields.Text("edtAttachFile2")}) {
        try {
            if (!path.empty()) CheckFileReadable(path);
        } catch (const EFOpenError& e) {
            throw ECliUsageError(e.Message());
        }
    }
}

bool TMailSortelloCli::PasswordWanted() const {
    return actions_.ConnettiEnabled() && AuthPosition() != atNone && !actions_.Fields().Text("edtUserName").empty();
}

int TMailSortelloCli::UseTlsPosition() const {
    const TFieldModel& fields = actions_.Fields();
    return fields.ActivePage() == TabSheetSmtpCript ? std::max(fields.ItemIndex("edtUseTLS"), 0) : 0;
}

int TMailSortelloCli::AuthPosition() const {
    const TFieldModel& fields = actions_.Fields();
    const char* name = fields.ActivePage() == TabSheetSmtpCript ? "edtAuthType_smtpcript" : "edtAuthType_smtp";
    return std::max(fields.ItemIndex(name), 0);
}

// The actions make their own connections: every handler that opens gets
// the transcript as its intercept, and a TLS handler also reports the end
// of its TCP connect and, when asked for, its handshake.
void TMailSortelloCli::WatchConnections(const TCliOptions& options) {
    transcript_ = std::make_unique<TSessionTranscript>(tracker_, err_, options.transcript, options.showCredentials);
    tlsInfo_ = options.tlsInfo;
    timeoutMs_ = options.timeoutSeconds * 1000;
    const bool tlsStatus = options.transcript || options.tlsInfo;
    TIdIOHandler::SetOpenHook([this, tlsStatus](TIdIOHandler& handler) { WatchHandler(handler, tlsStatus); });
}

// The transcript shares the error stream line by line: a line rewritten
// in place would break into it, and the transcript shows the bytes anyway.
void TMailSortelloCli::ShowProgress(const TCliOptions& options) {
    if (options.transcript) return;
    progress_ = TTerminalProgress::ForStream(err_);
    if (progress_) actions_.SetSendProgress(&progress_->Progress());
}

void TMailSortelloCli::WatchHandler(TIdIOHandler& handler, bool tlsStatus) {
    handler.SetIntercept(transcript_.get());
    // The actions give every connection the window's time-outs; the
    // handler takes this one instead as it opens.
    if (timeoutMs_ > 0) {
        handler.SetConnectTimeout(timeoutMs_);
        handler.SetReadTimeout(timeoutMs_);
    }
    auto* tls = dynamic_cast<TIdSSLIOHandlerSocketOpenSSL*>(&handler);
    if (tls == nullptr) return;
    tls->SetOnBeforeConnect([this](TComponent*) { transcript_->TcpConnected(); });
    if (tlsStatus) tls->SetOnStatusInfo([this, tls](const std::string& message) { TLSStatus(*tls, message); });
}

void TMailSortelloCli::TLSStatus(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& message) {
    // The cipher is reported once, when the handshake is done.
    if (message.rfind("Cipher: ", 0) != 0 || handler.SSLSocket() == nullptr) return;
    transcript_->Marker("TLS started (" + handler.SSLSocket()->Protocol() + ")");
    if (tlsInfo_) ReportTLS(handler, message);
}

void TMailSortelloCli::ReportTLS(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& cipher) {
    TIdSSLSocket& socket = *handler.SSLSocket();
    WriteTerminalLine(err_, "TLS protocol: " + socket.Protocol());
    WriteTerminalLine(err_, cipher);
    TIdX509* certificate = socket.PeerCertificate();
    if (certificate == nullptr) {
        WriteTerminalLine(err_, "Server certificate: none");
        return;
    }
    WriteTerminalLine(err_, "Subject: " + certificate->Subject()->OneLine());
    WriteTerminalLine(err_, "Issuer: " + certificate->Issuer()->OneLine());
    WriteTerminalLine(err_, "Not before: " + certificate->NotBefore());
    WriteTerminalLine(err_, "Not after: " + certificate->NotAfter());
    WriteTerminalLine(err_, "SHA-256 fingerprint: " + certificate->FingerprintSHA256());
}

void TMailSortelloCli::RunAction(const std::string& command) {
    // What escapes an action reaches the window's error display; here it
    // is one line on the error stream, and the stage decides the status.
    try {
        if (command == "connect")
            actions_.actConnettiExecute();
        else
            actions_.actInviaMailExecute();
    } catch (const std::exception& e) {
        Error(e.what());
    }
}

// The window keeps its session until the next test; a one-shot program
// ends it politely instead.
void TMailSortelloCli::EndSession() {
    TIdSMTP* smtp = actions_.idSMTP();
    if (smtp == nullptr) return;
    try {
        if (smtp->Connected()) smtp->Disconnect(true);
    } catch (const std::exception&) {
    }
}

int TMailSortelloCli::Outcome(const std::string& command) {
    const TStringList& log = actions_.Log().Lines();
    const char* goal = command == "connect" ? "Connesso." : "> Inviato.";
    if (log.IndexOfExact(goal) >= 0) return cesSuccess;
    // A field refused before connecting is an input error, like a bad option.
    if (actions_.InputRefused()) return cesUsage;
    if (!actions_.ConnettiEnabled()) return cesHandOff;
    return tracker_.FailureStatus(UseTlsPosition(), AuthPosition());
}
