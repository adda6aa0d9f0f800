// The command line front end: the window's fields (stored, then the
// options), one of the window's actions, the window's log on `out`, and
// an exit status that tells the stage a failure happened at. The CLI's
// extras (transcript, TLS report) go to `err`, beside the trace.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/MailSortelloActions.h"
#include "app/cli/CliOptions.h"
#include "app/cli/SessionTranscript.h"
#include "app/cli/SmtpCheck.h"
#include "app/cli/SmtpStageTracker.h"
#include "app/cli/TerminalProgress.h"
#include "app/cli/TerminalText.h"

class TIdIOHandler;
class TIdSSLIOHandlerSocketOpenSSL;
class TIdSSLPeerReport;

class TMailSortelloCli {
public:
    TMailSortelloCli(FILE* out, FILE* err);
    ~TMailSortelloCli();

    // args without the program name; answers the exit status.
    int Run(const std::vector<std::string>& args);

private:
    int RunCommand(const TCliOptions& options);
    // Connect, STARTTLS and login as the tab asks; one status line on `out`.
    int RunCheck(const TCliOptions& options);
    // Why the connect of the last action failed, from the window's log.
    std::string ConnectFailure();
    void PrepareFields(const TCliOptions& options);
    void CheckAttachments() const;
    bool PasswordWanted() const;
    void WatchConnections(const TCliOptions& options);
    void ShowProgress(const TCliOptions& options);
    void WatchHandler(TIdIOHandler& handler, bool tlsStatus);
    void TLSStatus(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& message);
    void ReportTLS(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& cipher, const TIdSSLPeerReport& peer);
    void ReportPeer(const TIdSSLPeerReport& peer);
    // With --tls-verify an untrusted server ends the session here, before
    // anything more is sent.
    void JudgePeer(TIdSSLIOHandlerSocketOpenSSL& handler, const TIdSSLPeerReport& peer);
    void RunAction(const std::string& command);
    void EndSession();
    int Outcome(const std::string& command);
    // The radio positions the session ran with (0 where the tab has none).
    int UseTlsPosition() const;
    int AuthPosition() const;
    void Error(const std::string& text);

    FILE* out_;
    FILE* err_;
    TStreamLogSink sink_;
    TStreamLogSink errSink_;
    TMailSortelloActions actions_;
    TSmtpStageTracker tracker_;
    std::unique_ptr<TSessionTranscript> transcript_;
    std::unique_ptr<TTerminalProgress> progress_;
    bool tlsInfo_ = false;
    int32_t timeoutMs_ = 0;  // 0: the window's
    TCliOptions options_;        // of the run, for the TLS options
    std::string verifyFailure_;  // why --tls-verify refused the server
    TCheckObservation seen_;     // what the TLS handshake showed the check
};
