#include "app/cli/CliOptions.h"

#include <filesystem>
#include <functional>
#include <map>

#include "app/cli/CliInputFile.h"
#include "app/cli/TerminalText.h"
#include "core/StringList.h"
#include "net/IdSSLOpenSSL.h"
#include "platform/CodePage.h"
#include "platform/FileName.h"
#include "platform/Locale.h"

namespace {

struct TChoice {
    const char* name;
    int value;
};

const TChoice TabChoices[] = {{"mapi", 0}, {"smtp", 1}, {"smtp-tls", 2}, {"mailto", 3}};
const TChoice AuthChoices[] = {{"none", 0}, {"default", 1}, {"sasl", 2}};
const TChoice UseTlsChoices[] = {{"none", 0}, {"implicit", 1}, {"require", 2}, {"explicit", 3}};
const TChoice MethodChoices[] = {{"sslv2", 0}, {"sslv23", 1}, {"sslv3", 2}, {"tlsv1", 3}};

template <size_t N>
int Choose(const std::string& option, const std::string& value, const TChoice (&choices)[N]) {
    std::string names;
    for (const TChoice& choice : choices) {
        if (value == choice.name) return choice.value;
        names += std::string(names.empty() ? "" : ", ") + choice.name;
    }
    throw ECliUsageError("--" + option + ": unknown value '" + value + "' (one of " + names + ")");
}

// A decimal number from low to high, or a usage error naming the option.
int Number(const std::string& option, const std::string& value, int low, int high, const std::string& what) {
    const bool digits =
        !value.empty() && value.size() <= 9 && value.find_first_not_of("0123456789") == std::string::npos;
    if (!digits || std::stoi(value) < low || std::stoi(value) > high)
        throw ECliUsageError("--" + option + ": '" + value + "' is not " + what + " (" + std::to_string(low) + " to " +
                             std::to_string(high) + ")");
    return std::stoi(value);
}

// Seconds with at most three decimals ("2", "0.5"), as milliseconds.
int32_t Seconds(const std::string& option, const std::string& value) {
    const size_t dot = value.find('.');
    const std::string whole = value.substr(0, dot);
    const std::string fraction = dot == std::string::npos ? "" : value.substr(dot + 1);
    const bool digits = [](const std::string& part) {
        return part.find_first_not_of("0123456789") == std::string::npos;
    }(whole + fraction);
    if (whole.empty() || whole.size() > 4 || fraction.size() > 3 || (dot != std::string::npos && fraction.empty()) ||
        !digits || std::stoi(whole) > 3600)
        throw ECliUsageError("--" + option + ": '" + value + "' is not a number of seconds (0 to 3600, at most "
                             "three decimals)");
    return std::stoi(whole) * 1000 + (fraction.empty() ? 0 : std::stoi((fraction + "00").substr(0, 3)));
}

using TValueSetter = std::function<void(TCliOptions&, const std::string&)>;
using TFlagSetter = std::function<void(TCliOptions&)>;

const std::map<std::string, TValueSetter>& ValueOptions() {
    static const std::map<std::string, TValueSetter> options = {
        {"tab", [](TCliOptions& o, const std::string& v) {
             Choose("tab", v, TabChoices);
             o.tab = v;
         }},
        {"host", [](TCliOptions& o, const std::string& v) { o.host = v; }},
        {"port",
         [](TCliOptions& o, const std::string& v) {
             Number("port", v, 1, 65535, "a port number");
             o.port = v;
         }},
        {"user", [](TCliOptions& o, const std::string& v) { o.user = v; }},
        {"auth", [](TCliOptions& o, const std::string& v) {
             Choose("auth", v, AuthChoices);
             o.auth = v;
         }},
        {"use-tls", [](TCliOptions& o, const std::string& v) {
             Choose("use-tls", v, UseTlsChoices);
             o.useTls = v;
         }},
        {"method", [](TCliOptions& o, const std::string& v) {
             Choose("method", v, MethodChoices);
             o.method = v;
         }},
        {"from", [](TCliOptions& o, const std::string& v) { o.from = v; }},
        {"to", [](TCliOptions& o, const std::string& v) { o.to.push_back(v); }},
        {"cc", [](TCliOptions& o, const std::string& v) { o.cc.push_back(v); }},
        {"subject", [](TCliOptions& o, const std::string& v) { o.subject = v; }},
        {"body", [](TCliOptions& o, const std::string& v) { o.body = v; }},
        {"body-file", [](TCliOptions& o, const std::string& v) { o.bodyFile = v; }},
        {"attach",
         [](TCliOptions& o, const std::string& v) {
             if (o.attach.size() == 2) throw ECliUsageError("--attach: at most two attachments");
             o.attach.push_back(v);
         }},
        {"timeout",
         [](TCliOptions& o, const std::string& v) {
             o.timeoutSeconds = Number("timeout", v, 1, 3600, "a number of seconds");
         }},
        {"password-file", [](TCliOptions& o, const std::string& v) { o.passwordFile = v; }},
        {"sni",
         [](TCliOptions& o, const std::string& v) {
             if (!TIdSSLIOHandlerSocketOpenSSL::IsServerName(v))
                 throw ECliUsageError("--sni: '" + Utf8ToAnsi(v) +
                                      "' is not a host name (ASCII letters, digits, '-', '_' and '.')");
             o.sni = v;
         }},
        {"ca-file",
         [](TCliOptions& o, const std::string& v) {
             CheckCliInputFile("--ca-file", v);
             o.caFile = v;
         }},
        {"warning", [](TCliOptions& o, const std::string& v) { o.warningMs = Seconds("warning", v); }},
        {"critical", [](TCliOptions& o, const std::string& v) { o.criticalMs = Seconds("critical", v); }},
        {"cert-warning",
         [](TCliOptions& o, const std::string& v) { o.certWarningDays = Number("cert-warning", v, 0, 36500, "a number of days"); }},
        {"cert-critical",
         [](TCliOptions& o, const std::string& v) { o.certCriticalDays = Number("cert-critical", v, 0, 36500, "a number of days"); }},
        {"password-env", [](TCliOptions& o, const std::string& v) { o.passwordEnv = v; }},
    };
    return options;
}

const std::map<std::string, TFlagSetter>& FlagOptions() {
    static const std::map<std::string, TFlagSetter> options = {
        {"help", [](TCliOptions& o) { o.help = true; }},
        {"version", [](TCliOptions& o) { o.version = true; }},
        {"no-stored", [](TCliOptions& o) { o.noStored = true; }},
        {"transcript", [](TCliOptions& o) { o.transcript = true; }},
        {"show-credentials", [](TCliOptions& o) { o.showCredentials = true; }},
        {"tls-info", [](TCliOptions& o) { o.tlsInfo = true; }},
        {"tls-verify", [](TCliOptions& o) { o.tlsVerify = true; }},
        {"no-sni", [](TCliOptions& o) { o.noSni = true; }},
    };
    return options;
}

void ParseOption(const std::vector<std::string>& args, size_t& i, TCliOptions& options) {
    const std::string& arg = args[i];
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    if (name == "password")
        throw ECliUsageError("--password: the password is never taken from the command line; use "
                             "--password-file, --password-env or the prompt");
    if (auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
        if (equals != std::string::npos) throw ECliUsageError("--" + name + ": takes no value");
        flag->second(options);
        return;
    }
    auto value = ValueOptions().find(name);
    if (value == ValueOptions().end()) throw ECliUsageError("unknown option '" + arg + "' (see --help)");
    if (equals != std::string::npos) return value->second(options, arg.substr(equals + 1));
    if (i + 1 >= args.size()) throw ECliUsageError("--" + name + ": needs a value");
    value->second(options, args[++i]);
}

void CheckCombination(const TCliOptions& options) {
    if (options.help || options.version) return;
    if (options.command.empty()) throw ECliUsageError("missing command: connect, send or check (see --help)");
    if (options.sni && options.noSni) throw ECliUsageError("--no-sni: cannot be combined with --sni");
    const bool thresholds = options.warningMs || options.criticalMs || options.certWarningDays || options.certCriticalDays;
    if (thresholds && options.command != "check")
        throw ECliUsageError("--warning, --critical, --cert-warning and --cert-critical: only for check");
    if (options.body && options.bodyFile) throw ECliUsageError("--body-file: cannot be combined with --body");
    if (options.passwordFile && options.passwordEnv)
        throw ECliUsageError("--password-env: cannot be combined with --password-file");
}

// Typed text goes into a field exactly or not at all: a "?" in place of
// a character the code page lacks would be sent as if typed.
std::string Typed(const std::string& option, const std::string& text) {
    if (std::optional<std::string> ansi = FromTerminalExactly(text)) return *ansi;
    throw ECliUsageError(option + ": " + NotTypable("the text"));
}

TStringList LinesOf(const std::string& option, const std::vector<std::string>& values) {
    TStringList lines;
    for (const std::string& value : values) lines.Add(Typed(option, value));
    return lines;
}

TStringList TextLines(const std::string& option, const std::string& text) {
    TStringList lines;
    lines.SetText(Typed(option, text));
    return lines;
}

// Far above any test message, far below what would strain the memory.
constexpr size_t kBodyFileLimit = 4 * 1024 * 1024;

// The desktop's mail program may run in another folder: the name is made
// absolute, its folder resolved and the file's own name kept as given.
std::string AbsoluteName(const std::string& path) {
    const std::filesystem::path name(path);
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::canonical(name.has_parent_path() ? name.parent_path() : ".", error);
    return error ? path : (folder / name.filename()).string();
}

// A file name on the command line is the system's UTF-8 name, whatever
// the terminal uses; the field holds it in the ANSI code page, and a name
// the code page cannot hold would name another file.
std::string AttachmentField(const std::string& path) {
    CheckCliInputFile("--attach", path);
    try {
        return AnsiFileName(AbsoluteName(path));
    } catch (const EFileNameError&) {
        throw ECliUsageError("--attach: '" + Utf8ToAnsi(path) + "' has characters that code page " +
                             std::to_string(AnsiCodePage()) + " cannot hold");
    }
}

bool OnSmtpTab(const TFieldModel& fields) {
    return fields.ActivePage() == TabSheetSMTP || fields.ActivePage() == TabSheetSmtpCript;
}

void ApplyServerOptions(const TCliOptions& options, TFieldModel& fields) {
    const bool encrypted = fields.ActivePage() == TabSheetSmtpCript;
    const std::string suffix = encrypted ? "_smtpcript" : "_smtp";
    for (const auto& [option, value] : {std::pair{"--host", &options.host}, std::pair{"--port", &options.port},
                                        std::pair{"--auth", &options.auth}})
        if (*value && !OnSmtpTab(fields)) throw ECliUsageError(std::string(option) + ": needs an SMTP tab");
    if (options.host) fields.SetText("edtHost" + suffix, Typed("--host", *options.host));
    if (options.port) fields.SetText("edtPort" + suffix, *options.port);
    if (options.auth) fields.SetItemIndex("edtAuthType" + suffix, Choose("auth", *options.auth, AuthChoices));
    if (options.useTls) fields.SetItemIndex("edtUseTLS", Choose("use-tls", *options.useTls, UseTlsChoices));
    if (options.method) fields.SetItemIndex("edtMethod", Choose("method", *options.method, MethodChoices));
}

}  // namespace

TCliOptions ParseCliOptions(const std::vector<std::string>& args) {
    TCliOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            ParseOption(args, i, options);
        } else if (options.command.empty() && (arg == "connect" || arg == "send" || arg == "check")) {
            options.command = arg;
        } else {
            throw ECliUsageError(options.command.empty() ? "unknown command '" + arg + "' (connect, send or check)"
                                                         : "unexpected argument '" + arg + "'");
        }
    }
    CheckCombination(options);
    return options;
}

bool IsCheckCommand(const std::vector<std::string>& args) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) return arg == "check";
        // The value of "--name value" is no command.
        const std::string name = arg.substr(2, arg.find('=') - 2);
        if (arg.find('=') == std::string::npos && ValueOptions().count(name) > 0) ++i;
    }
    return false;
}

void ApplyCliOptions(const TCliOptions& options, TFieldModel& fields) {
    if (options.tab) fields.SetActivePage(TFieldModel::TabSheetNames()[Choose("tab", *options.tab, TabChoices)]);
    ApplyServerOptions(options, fields);
    if (options.user) fields.SetText("edtUserName", Typed("--user", *options.user));
    if (options.from) fields.SetText("edtSender", Typed("--from", *options.from));
    if (!options.to.empty()) fields.SetLines("edtRecipients", LinesOf("--to", options.to));
    if (!options.cc.empty()) fields.SetLines("edtCCRecipients", LinesOf("--cc", options.cc));
    if (options.subject) fields.SetText("edtSubject", Typed("--subject", *options.subject));
    if (options.body) fields.SetLines("edtBody", TextLines("--body", *options.body));
    if (options.bodyFile)
        fields.SetLines("edtBody", TextLines("--body-file", ReadCliInputFile("--body-file", *options.bodyFile, kBodyFileLimit)));
    if (!options.attach.empty()) {
        fields.SetText("edtAttachFile1", AttachmentField(options.attach[0]));
        fields.SetText("edtAttachFile2", options.attach.size() > 1 ? AttachmentField(options.attach[1]) : "");
    }
}

std::string CliHelpText() {
    return R"(Usage: mailsortello-cli connect|send|check [options]
  connect                  connection test of the active SMTP tab (the window's "Connetti")
  send                     send by the active tab's way (the window's "Invia mail")
  check                    monitoring check of the active SMTP tab: connect, STARTTLS and login as a
                           send would, then one status line with perfdata (exit 0 OK, 1 WARNING,
                           2 CRITICAL, 3 UNKNOWN)
Fields (default: the values the window stored; each option overrides one field):
  --no-stored              start from the window's design-time values instead
  --tab TAB                active tab: smtp, smtp-tls, mapi or mailto
  --host HOST              server of the active SMTP tab
  --port PORT              port of the active SMTP tab
  --user NAME              user name
  --auth MODE              authentication of the active SMTP tab: none, default or sasl
  --use-tls MODE           TLS of the smtp-tls tab: none, implicit, require or explicit
  --method METHOD          TLS method: sslv2, sslv23, sslv3 or tlsv1
  --from ADDRESS           sender
  --to ADDRESS             recipient (repeatable, one memo line each)
  --cc ADDRESS             copy recipient (repeatable, one memo line each)
  --subject TEXT           subject
  --body TEXT              body text
  --body-file FILE         body text read from FILE (a regular file of at most 4 MiB)
  --attach FILE            attachment, a readable regular file (at most two; replaces both
                           stored attachments)
Password (never on the command line):
  --password-file FILE     the first line of FILE (a regular file of at most 64 KiB)
  --password-env VAR       the value of the environment variable VAR
                           (neither: asked without echo when standard input is a terminal;
                           a send that logs in refuses to run without any of the three)
Connection:
  --timeout SECONDS        connect and read time-out, 1 to 3600 (default 3, as the window); after a read
                           time-out the session is closed, never continued out of step
TLS:
  --sni NAME               server name sent in the TLS handshake (default: the host, unless it is an
                           IP address)
  --no-sni                 send no server name
  --ca-file FILE           certificates (PEM) trusted besides the system's store, for --tls-info and
                           --tls-verify
  --tls-verify             a server whose certificate chain does not verify or is not made out to the
                           host (or --sni NAME) ends the run with status 4, before any login
Check (thresholds; none given: not judged):
  --warning SECONDS        response time from connect to logged in above which the check warns
  --critical SECONDS       response time above which it is critical
  --cert-warning DAYS      fewer days left on the server certificate warn (an expired one is critical)
  --cert-critical DAYS     fewer days left are critical
Output (standard output: the window's log; standard error: the trace):
  --transcript             every line sent and received, "C: " and "S: ", on standard error
  --show-credentials       the transcript shows the credential lines too
  --tls-info               protocol, cipher, certificate chain, its verification, the host name match
                           and the days left after a TLS handshake, on standard error
  --help                   this text
  --version                the program version
Exit status:
  0  success: connected ("Connesso.") or handed over ("> Inviato.")
  1  usage error, or a field refused before connecting (line break in the sender, unusable address)
  2  could not connect (name, refusal, time-out)
  3  greeting or EHLO/HELO refused
  4  TLS failed (not offered when required, handshake failed, library missing, or with --tls-verify
     an untrusted server)
  5  authentication refused
  6  sender or recipient refused
  7  message refused or failed after DATA
  8  MAPI or mailto hand-off failed
)";
}
