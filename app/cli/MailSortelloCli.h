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
#include "app/cli/SmtpStageTracker.h"
#include "app/cli/TerminalProgress.h"
#include "app/cli/TerminalText.h"

class TIdIOHandler;
class TIdSSLIOHandlerSocketOpenSSL;

class TMailSortelloCli {
public:
    TMailSortelloCli(FILE* out, FILE* err);
    ~TMailSortelloCli();

    // args without the program name; answers the exit status.
    int Run(const std::vector<std::string>& args);

private:
    int RunCommand(const TCliOptions& options);
    void PrepareFields(const TCliOptions& options);
    void CheckAttachments() const;
    bool PasswordWanted() const;
    void WatchConnections(const TCliOptions& options);
    void ShowProgress(const TCliOptions& options);
    void WatchHandler(TIdIOHandler& handler, bool tlsStatus);
    void TLSStatus(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& message);
    void ReportTLS(TIdSSLIOHandlerSocketOpenSSL& handler, const std::string& cipher);
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
    TMailSortelloActions actions_;
    TSmtpStageTracker tracker_;
    std::unique_ptr<TSessionTranscript> transcript_;
    std::unique_ptr<TTerminalProgress> progress_;
    bool tlsInfo_ = false;
    int32_t timeoutMs_ = 0;  // 0: the window's
};
