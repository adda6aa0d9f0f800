#include "app/cli/MailSortelloCli.h"

#include <algorithm>

#include "app/AppVersion.h"
#include "app/cli/CliPassword.h"
#include "app/cli/StoredFields.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdSSLPeerReport.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"
#include "platform/FileName.h"
#include "smtp/IdSMTP.h"

namespace {
class ECliTLSVerifyError : public EIdException {
public:
    using EIdException::EIdException;
};
}  // namespace

TMailSortelloCli::TMailSortelloCli(FILE* out, FILE* err)
    : out_(out), err_(err), sink_(out), errSink_(err), actions_(&sink_) {}

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
    } catch (const std::exception& e) {
        Error(e.what());
        // A monitoring system reads standard output and the status only.
        if (IsCheckCommand(args)) {
            WriteTerminalLine(out_, CheckUnknownLine(e.what()));
            return chkUnknown;
        }
        if (dynamic_cast<const ECliUsageError*>(&e) == nullptr) throw;
        return cesUsage;
    }
}

int TMailSortelloCli::RunCommand(const TCliOptions& options) {
    actions_.FormCreate();
    PrepareFields(options);
    if (options.command == "send") CheckAttachments();
    if (options.command != "send" && !actions_.ConnettiEnabled())
        throw ECliUsageError(options.command + ": needs an SMTP tab (--tab smtp or --tab smtp-tls)");
    WatchConnections(options);
    if (options.command == "check") return RunCheck(options);
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
    options_ = options;
    const bool tlsStatus = options.transcript || options.tlsInfo || options.tlsVerify || options.command == "check";
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
    tls->SetServerNameIndication(!options_.noSni);
    tls->SetServerName(options_.sni.value_or(""));
    if (options_.caFile) tls->SSLOptions().SetRootCertFile(*options_.caFile);
    // Only these judge the server's chain; a plain send skips the store.
    tls->SetLoadTrustStore(options_.tlsInfo || options_.tlsVerify || options_.command == "check");
    if (tlsStatus) tls->SetOnStatusInfo([this, tls](const std::string& message) { TLSStatus(*tls, message); });
}

void TMailSortelloCli::TLSStatus(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& message) {
    // The cipher is reported once, when the handshake is done.
    if (message.rfind("Cipher: ", 0) != 0 || handler.SSLSocket() == nullptr) return;
    transcript_->Marker("TLS started (" + handler.SSLSocket()->Protocol() + ")");
    const TIdSSLPeerReport peer = TIdSSLPeerReport::Of(*handler.SSLSocket(), handler.ExpectedPeerName());
    if (tlsInfo_) ReportTLS(handler, message, peer);
    JudgePeer(handler, peer);
}

void TMailSortelloCli::ReportTLS(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& cipher,
                                 const TIdSSLPeerReport& peer) {
    TIdSSLSocket& socket = *handler.SSLSocket();
    WriteTerminalLine(err_, "TLS protocol: " + socket.Protocol());
    WriteTerminalLine(err_, cipher);
    const std::string sent = socket.ServerName();
    TIdX509* certificate = socket.PeerCertificate();
    if (certificate == nullptr) {
        WriteTerminalLine(err_, "Server certificate: none");
        WriteTerminalLine(err_, "Server name sent: " + (sent.empty() ? std::string("none") : sent));
        return;
    }
    WriteTerminalLine(err_, "Subject: " + certificate->Subject()->OneLine());
    WriteTerminalLine(err_, "Issuer: " + certificate->Issuer()->OneLine());
    WriteTerminalLine(err_, "Not before: " + certificate->NotBefore());
    WriteTerminalLine(err_, "Not after: " + certificate->NotAfter());
    WriteTerminalLine(err_, "SHA-256 fingerprint: " + certificate->FingerprintSHA256());
    WriteTerminalLine(err_, "Server name sent: " + (sent.empty() ? std::string("none") : sent));
    ReportPeer(peer);
}

void TMailSortelloCli::ReportPeer(const TIdSSLPeerReport& peer) {
    if (peer.DaysLeft()) WriteTerminalLine(err_, "Days left: " + std::to_string(*peer.DaysLeft()));
    const auto& chain = peer.Chain();
    for (size_t i = 0; i < chain.size(); ++i) {
        const std::string n = "Chain " + std::to_string(i + 1) + "/" + std::to_string(chain.size()) + " ";
        WriteTerminalLine(err_, n + "subject: " + chain[i].subject);
        WriteTerminalLine(err_, n + "issuer: " + chain[i].issuer);
        WriteTerminalLine(err_, n + "validity: " + chain[i].notBefore + " to " + chain[i].notAfter);
        WriteTerminalLine(err_, n + "SHA-256 fingerprint: " + chain[i].fingerprintSHA256);
    }
    const std::string trust =
        "system trust store" + (options_.caFile ? " and " + Utf8ToAnsi(*options_.caFile) : std::string());
    WriteTerminalLine(err_, "Chain verification (" + trust + "): " +
                                (peer.ChainVerified() ? std::string("ok") : "failed: " + peer.ChainError()));
    WriteTerminalLine(err_, "Host name match (" + peer.ExpectedName() + "): " +
                                (peer.NameMatches() ? "ok" : "host name mismatch"));
}

void TMailSortelloCli::JudgePeer(TIdSSLIOHandlerSocketOpenSSL& handler, const TIdSSLPeerReport& peer) {
    seen_.protocol = handler.SSLSocket()->Protocol();
    seen_.certDays = peer.DaysLeft();
    seen_.untrusted = peer.FailureReason();
    if (!options_.tlsVerify || peer.Trusted()) return;
    verifyFailure_ = peer.FailureReason();
    Error("TLS verification failed: " + verifyFailure_);
    throw ECliTLSVerifyError("TLS verification failed: " + verifyFailure_);
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
    if (!verifyFailure_.empty()) return cesTLS;
    const TStringList& log = actions_.Log().Lines();
    const char* goal = command == "connect" ? "Connesso." : "> Inviato.";
    if (log.IndexOfExact(goal) >= 0) return cesSuccess;
    // A field refused before connecting is an input error, like a bad option.
    if (actions_.InputRefused()) return cesUsage;
    if (!actions_.ConnettiEnabled()) return cesHandOff;
    return tracker_.FailureStatus(UseTlsPosition(), AuthPosition());
}

int TMailSortelloCli::RunCheck(const TCliOptions& options) {
    // Standard output is the status line alone; the log goes beside the trace.
    actions_.Log().SetSink(&errSink_);
    const uint64_t start = MonotonicMilliseconds();
    RunAction("connect");
    TIdSMTP* smtp = actions_.idSMTP();
    if (smtp != nullptr && smtp->Connected()) {
        try {
            smtp->Authenticate();
        } catch (const std::exception& e) {
            Error(e.what());
            seen_.failure = e.what();
        }
    } else {
        seen_.failure = ConnectFailure();
    }
    seen_.elapsedMs = static_cast<int64_t>(MonotonicMilliseconds() - start);
    if (!verifyFailure_.empty()) seen_.failure = "untrusted certificate: " + verifyFailure_;
    EndSession();
    const TCheckVerdict verdict = JudgeCheck(seen_, TCheckThresholds::From(options));
    WriteTerminalLine(out_, verdict.line);
    return verdict.status;
}

std::string TMailSortelloCli::ConnectFailure() {
    const TStringList& log = actions_.Log().Lines();
    std::string reason;
    bool inConnect = false;
    for (const std::string& line : log) {
        if (line == "idSMTP - prima di Connect...") {
            inConnect = true;
            reason.clear();
        } else if (line.rfind("LastCmdResult: ", 0) == 0) {
            inConnect = false;
        } else if (inConnect && !line.empty()) {
            reason += (reason.empty() ? "" : " ") + line;
        }
    }
    return reason.empty() ? "not connected" : reason;
}
