// The command line of mailsortello-cli: the command, the field overrides
// and the CLI's own switches. Parsing raises ECliUsageError with a
// one-line message that names the bad option; the exit status is then 1.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/FieldModel.h"
#include "core/IdException.h"

class ECliUsageError : public Exception {
public:
    using Exception::Exception;
};

struct TCliOptions {
    std::string command;  // "connect", "send" or "check"
    bool help = false;
    bool version = false;
    bool noStored = false;
    // Field overrides, as typed (terminal encoding).
    std::optional<std::string> tab, host, port, user, auth, useTls, method, from, subject, body, bodyFile;
    std::vector<std::string> to, cc, attach;
    // Where the password comes from; both empty: a prompt on a terminal.
    std::optional<std::string> passwordFile, passwordEnv;
    bool transcript = false;
    bool showCredentials = false;
    bool tlsInfo = false;
    int32_t timeoutSeconds = 0;  // connect and read time-out; 0: the window's 3 s
    // TLS: the server name sent (none given: the host when it is a name).
    std::optional<std::string> sni;
    bool noSni = false;
    std::optional<std::string> caFile;  // trusted besides the system's store
    bool tlsVerify = false;              // an untrusted server ends the run
    // check: response time in milliseconds, certificate days left.
    std::optional<int32_t> warningMs, criticalMs, certWarningDays, certCriticalDays;
};

// Whether the arguments ask for the monitoring check, even when they are
// otherwise wrong (its usage errors have their own status).
bool IsCheckCommand(const std::vector<std::string>& args);

// argv without the program name.
TCliOptions ParseCliOptions(const std::vector<std::string>& args);

// Writes the overrides onto the fields (texts converted to ANSI). The host,
// port and authentication go to the fields of the active SMTP tab.
void ApplyCliOptions(const TCliOptions& options, TFieldModel& fields);

// One line per option and per exit status.
std::string CliHelpText();

// The exit statuses, one per stage that can fail.
enum TCliExitStatus : int {
    cesSuccess = 0,
    cesUsage = 1,
    cesConnect = 2,
    cesGreeting = 3,
    cesTLS = 4,
    cesAuthentication = 5,
    cesEnvelope = 6,
    cesMessage = 7,
    cesHandOff = 8,
};

// The statuses of the check, those of monitoring plugins.
enum TCheckStatus : int {
    chkOk = 0,
    chkWarning = 1,
    chkCritical = 2,
    chkUnknown = 3,
};
