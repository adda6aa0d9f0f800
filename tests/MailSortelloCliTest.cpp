// mailsortello-cli as a child process: the window's log on standard output
// (compared with what TMailSortelloActions logs for the same fields), the
// exit status of each stage, the transcript, the TLS report, the password
// sources and the stored fields.
#include "app/MailSortelloActions.h"
#include "message/IdCoderMIME.h"
#include "platform/Locale.h"
#include "platform/CodePage.h"
#include "tests/support/AiosmtpdServer.h"
#include "tests/support/EmailCheck.h"
#include "tests/support/PythonRunner.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/SilentListener.h"
#include "tests/support/TestPki.h"
#include "tests/support/TlsTestServer.h"

#include <gmock/gmock.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

extern char** environ;

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using TScript = TScriptedSmtpServer::TScript;
using TArgs = std::vector<std::string>;

// ---- the child process ---------------------------------------------------

struct TCliRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadBoth(int outFd, int errFd, std::string& err) {
    std::string out;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    int open = 2;
    while (open > 0 && ::poll(fds, 2, 30000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
                continue;
            }
            (i == 0 ? out : err).append(buffer, static_cast<size_t>(n));
        }
    }
    return out;
}

class TCliSandbox {
public:
    TCliSandbox() {
        char pattern[] = "/tmp/mailsortello-cli-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        std::filesystem::create_directories(dir_ + "/config/mailsortello");
        // A default mail program of its own, so that nothing asks the desktop;
        // Simple MAPI stays off.
        std::filesystem::create_directories(dir_ + "/etc/mailsortello");
        Write("etc/mailsortello/HKEY_LOCAL_MACHINE.reg",
              "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n"
              "@=\"Posta di prova\"\r\n\r\n");
        // The desktop's mail program is never started: this one fails at once.
        std::filesystem::create_directories(dir_ + "/bin");
        Write("bin/xdg-email", "#!/bin/sh\nexit 3\n");
        ::chmod((dir_ + "/bin/xdg-email").c_str(), 0755);
    }
    ~TCliSandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    const std::string& Dir() const { return dir_; }
    std::string SettingsFile() const { return dir_ + "/config/mailsortello/HKEY_CURRENT_USER.reg"; }
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Settings of a clean user and machine; the rest of the environment kept.
    TCliRun Run(const TArgs& args, const std::map<std::string, std::string>& extra = {}) const {
        std::map<std::string, std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            const size_t eq = entry.find('=');
            if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        env.erase("LC_ALL");
        env.erase("LC_CTYPE");
        env["LANG"] = "C.UTF-8";
        env["XDG_CONFIG_HOME"] = dir_ + "/config";
        env["XDG_CONFIG_DIRS"] = dir_ + "/etc";
        env["PATH"] = dir_ + "/bin:" + env["PATH"];
        for (const auto& [name, value] : extra) env[name] = value;
        return Spawn(args, env);
    }

private:
    static TCliRun Spawn(const TArgs& args, const std::map<std::string, std::string>& env) {
        std::vector<std::string> envText;
        for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
        std::vector<char*> envp, argv;
        for (std::string& e : envText) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<std::string> all{MAILSORTELLO_CLI};
        all.insert(all.end(), args.begin(), args.end());
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);

        int out[2], err[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        pid_t pid = -1;
        TCliRun run;
        const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        EXPECT_EQ(spawned, 0);
        run.out = ReadBoth(out[0], err[0], run.err);
        ::close(out[0]);
        ::close(err[0]);
        int status = 0;
        if (spawned == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.status = WEXITSTATUS(status);
        return run;
    }

    std::string dir_;
};

// Standard output of a tool found on the PATH, run with an argument vector.
std::string ToolOutput(std::vector<std::string> args) {
    int pipeFds[2];
    EXPECT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string ignored;
    const std::string out = spawned == 0 ? ReadBoth(pipeFds[0], devNull, ignored) : std::string();
    ::close(pipeFds[0]);
    ::close(devNull);
    if (spawned == 0) ::waitpid(pid, nullptr, 0);
    return out;
}

// ---- one case, two front ends --------------------------------------------

// The same test set up for the command line (its options) and for the
// window's actions (the fields); `port` is filled in for both.
struct TFieldCase {
    std::function<TArgs(int port)> args;
    std::function<void(TFieldModel&, int port)> fields;
};

std::string P(int port) { return std::to_string(port); }

// What the window's log shows for those fields, one line each.
std::string WindowLog(const TFieldCase& c, int port, bool send) {
    TMailSortelloActions actions;
    actions.FormCreate();
    actions.Fields().SetText("edtPassword", "segreto");
    c.fields(actions.Fields(), port);
    if (send)
        actions.actInviaMailExecute();
    else
        actions.actConnettiExecute();
    std::string text;
    for (const std::string& line : actions.Log().Lines()) text += line + "\n";
    return text;
}

const TScript kQuit{"C: QUIT", "S: 221 bye"};

TScript Concat(std::initializer_list<TScript> parts) {
    TScript all;
    for (const TScript& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TScript Greeted(const std::string& extensions = "AUTH LOGIN CRAM-MD5") {
    return {"S: 220 mx.test ESMTP", "C: EHLO Telvara", "S: 250-mx.test", "S: 250 " + extensions};
}

TScript AuthLogin(const std::string& user, const std::string& password) {
    return {"C: AUTH LOGIN",
            "S: 334 VXNlcm5hbWU6",
            "C: " + TIdEncoderMIME::EncodeString(user),
            "S: 334 UGFzc3dvcmQ6",
            "C: " + TIdEncoderMIME::EncodeString(password),
            "S: 235 2.7.0 ok"};
}

const TScript kTransaction{"C: RSET",  "S: 250 ok",  "C: MAIL FROM:<tecnico@sortello.test>",
                           "S: 250 ok", "C: RCPT TO:<ufficio@sortello.test>",
                           "S: 250 ok", "C: DATA", "S: 354 go", "DATA", "S: 250 2.0.0 queued"};

TArgs ClearArgs(const std::string& command, int port, const std::string& auth) {
    return {command, "--no-stored", "--tab", "smtp", "--host", "127.0.0.1", "--port", P(port), "--auth", auth};
}

void ClearFields(TFieldModel& f, int port, int auth) {
    f.SetActivePage(TabSheetSMTP);
    f.SetText("edtHost_smtp", "127.0.0.1");
    f.SetText("edtPort_smtp", P(port));
    f.SetItemIndex("edtAuthType_smtp", auth);
}

TArgs MessageArgs() {
    return {"--from", "Tecnico <tecnico@sortello.test>", "--to", "Ufficio <ufficio@sortello.test>",
            "--subject", "Prova", "--body", "Riga uno\nRiga due"};
}

void MessageFields(TFieldModel& f) {
    f.SetText("edtSender", "Tecnico <tecnico@sortello.test>");
    f.SetLines("edtRecipients", TStringList{"Ufficio <ufficio@sortello.test>"});
    f.SetText("edtSubject", "Prova");
    f.SetLines("edtBody", TStringList{"Riga uno", "Riga due"});
}

TArgs operator+(TArgs a, const TArgs& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Runs the case against two servers of the same script: the window's
// actions in this process, the command line as a child (which also ends
// the session with QUIT). Answers the child's run.
TCliRun CompareWithWindow(const TCliSandbox& box, const TFieldCase& c, const TScript& script, bool send,
                          const std::map<std::string, std::string>& env = {}) {
    TScriptedSmtpServer window(script);
    const std::string expected = WindowLog(c, window.Port(), send);
    TScriptedSmtpServer cli(Concat({script, kQuit}));
    TCliRun run = box.Run(c.args(cli.Port()), env);
    cli.Join();
    EXPECT_EQ(run.out, expected);
    EXPECT_THAT(cli.Failures(), ::testing::IsEmpty());
    return run;
}

// ---- tests -----------------------------------------------------------------

TEST(MailSortelloCli, ConnectInClearPrintsTheWindowsLog) {
    TCliSandbox box;
    const TFieldCase c{[](int port) { return ClearArgs("connect", port, "none"); },
                       [](TFieldModel& f, int port) { ClearFields(f, port, 0); }};
    const TCliRun run = CompareWithWindow(box, c, Greeted(), false);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("Connesso.\n"));
    // The trace stays on standard error, as in the window.
    EXPECT_THAT(run.err, HasSubstr("actConnettiExecute - inizio."));
}

TEST(MailSortelloCli, SendInClearWithAuthLoginHidesTheCredentialsInTheTranscript) {
    TCliSandbox box;
    const TFieldCase c{[](int port) {
                           return ClearArgs("send", port, "default") + MessageArgs() +
                                  TArgs{"--user", "tecnico", "--password-env", "MS_PW", "--transcript"};
                       },
                       [](TFieldModel& f, int port) {
                           ClearFields(f, port, 1);
                           MessageFields(f);
                           f.SetText("edtUserName", "tecnico");
                       }};
    const TScript script = Concat({Greeted(), AuthLogin("tecnico", "segreto"), kTransaction});
    const TCliRun run = CompareWithWindow(box, c, script, true, {{"MS_PW", "segreto"}});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("> Inviato.\n"));
    EXPECT_THAT(run.err, HasSubstr("S: 220 mx.test ESMTP\n"));
    EXPECT_THAT(run.err, HasSubstr("C: EHLO Telvara\n"));
    EXPECT_THAT(run.err, HasSubstr("C: AUTH LOGIN\nS: 334 VXNlcm5hbWU6\nC: <credentials hidden>\n"
                                   "S: 334 UGFzc3dvcmQ6\nC: <credentials hidden>\nS: 235 2.7.0 ok\n"));
    EXPECT_THAT(run.err, HasSubstr("C: Subject: Prova\n"));
    EXPECT_THAT(run.err, HasSubstr("C: QUIT\nS: 221 bye\n"));
    EXPECT_THAT(run.err, Not(HasSubstr(TIdEncoderMIME::EncodeString("segreto"))));
    EXPECT_THAT(run.err, Not(HasSubstr(TIdEncoderMIME::EncodeString("tecnico"))));
}

TEST(MailSortelloCli, ShowCredentialsAndPasswordFile) {
    TCliSandbox box;
    const std::string file = box.Write("pw", "parola segreta\nsecond line\n");
    TScriptedSmtpServer server(Concat({Greeted(), AuthLogin("tecnico", "parola segreta"), kTransaction, kQuit}));
    const TCliRun run = box.Run(ClearArgs("send", server.Port(), "default") + MessageArgs() +
                                TArgs{"--user", "tecnico", "--password-file", file, "--transcript",
                                      "--show-credentials"});
    server.Join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
    EXPECT_THAT(run.err, HasSubstr("C: " + TIdEncoderMIME::EncodeString("parola segreta") + "\n"));
    EXPECT_THAT(run.err, Not(HasSubstr("<credentials hidden>")));
}

TEST(MailSortelloCli, CramMD5ResponseIsHidden) {
    TCliSandbox box;
    TScriptedSmtpServer server(Concat({Greeted(), {"C: AUTH CRAM-MD5", "S: 334 PDEyMzQ1QG14LnRlc3Q+", "C: *",
                                                   "S: 235 ok"}, kTransaction, kQuit}));
    const TCliRun run = box.Run(ClearArgs("send", server.Port(), "sasl") + MessageArgs() +
                                TArgs{"--tab", "smtp-tls", "--host", "127.0.0.1", "--port", P(server.Port()),
                                      "--use-tls", "none", "--auth", "sasl", "--user", "tecnico",
                                      "--password-env", "MS_PW", "--transcript"},
                                {{"MS_PW", "segreto"}});
    server.Join();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("C: AUTH CRAM-MD5\nS: 334 PDEyMzQ1QG14LnRlc3Q+\nC: <credentials hidden>\n"));
}

// Each stage that fails gives its own status; the script fails there.
TEST(MailSortelloCli, ExitStatusTellsTheStageThatFailed) {
    struct TRow {
        const char* what;
        TScript script;
        TArgs args;  // after the server options
        int status;
    };
    const TArgs tls{"--tab", "smtp-tls", "--auth", "none"};
    const TArgs login{"--auth", "default", "--user", "tecnico", "--password-env", "MS_PW"};
    const std::vector<TRow> rows = {
        {"greeting refused", {"S: 554 no service", "C: QUIT", "S: 221 bye"}, {}, 3},
        {"EHLO and HELO refused",
         {"S: 220 mx", "C: EHLO Telvara", "S: 500 what", "C: HELO Telvara", "S: 550 go away", "C: QUIT", "S: 221 bye"},
         {},
         3},
        {"TLS required, not offered", Concat({Greeted("8BITMIME"), kQuit}), tls + TArgs{"--use-tls", "require"}, 4},
        {"STARTTLS refused", Concat({Greeted("STARTTLS"), {"C: STARTTLS", "S: 454 not now"}, kQuit}),
         tls + TArgs{"--use-tls", "require"}, 4},
        {"implicit TLS against a clear server", {"S: 220 mx.test", "SILENT"},
         tls + TArgs{"--use-tls", "implicit"}, 4},
        {"AUTH LOGIN refused",
         Concat({Greeted(), {"C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6", "C: *", "S: 334 UGFzc3dvcmQ6", "C: *",
                             "S: 535 5.7.8 bad credentials"}, kQuit}),
         login, 5},
        {"sender refused", Concat({Greeted(), {"C: RSET", "S: 250 ok", "C: *", "S: 550 5.7.1 not you"}, kQuit}), {}, 6},
        {"recipient refused",
         Concat({Greeted(), {"C: RSET", "S: 250 ok", "C: *", "S: 250 ok", "C: *", "S: 550 5.1.1 no such user"}, kQuit}), {},
         6},
        {"DATA refused",
         Concat({Greeted(), {"C: RSET", "S: 250 ok", "C: *", "S: 250 ok", "C: *", "S: 250 ok", "C: DATA",
                             "S: 554 no data"}, kQuit}),
         {}, 7},
        // With pipelining the reply that failed first names the stage.
        {"pipelined recipient refused",
         Concat({Greeted("PIPELINING"), {"C: RSET", "C: *", "C: *", "C: DATA", "S: 250 ok", "S: 250 ok",
                                         "S: 550 5.1.1 no such user", "S: 354 go"}}),
         {}, 6},
        {"pipelined sender refused",
         Concat({Greeted("PIPELINING"), {"C: RSET", "C: *", "C: *", "C: DATA", "S: 250 ok", "S: 553 5.1.8 not you",
                                         "S: 554 no valid recipients", "S: 503 no valid recipients"}, kQuit}),
         {}, 6},
        {"message refused after the text",
         Concat({Greeted(), {"C: RSET", "S: 250 ok", "C: *", "S: 250 ok", "C: *", "S: 250 ok", "C: DATA",
                             "S: 354 go", "DATA", "S: 554 5.6.0 rejected"}, kQuit}),
         {}, 7},
    };
    TCliSandbox box;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        TScriptedSmtpServer server(row.script);
        const TCliRun run = box.Run(ClearArgs("send", server.Port(), "none") + MessageArgs() + row.args +
                                        TArgs{"--host", "127.0.0.1", "--port", P(server.Port())},
                                    {{"MS_PW", "segreto"}});
        server.Join();
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
    }
    EXPECT_EQ(box.Run(ClearArgs("connect", loopback::ClosedPort(), "none")).status, 2);
    EXPECT_EQ(box.Run({"connect", "--no-stored", "--tab", "smtp", "--host", "host.invalid", "--port", "25"}).status,
              2);
    // No Simple MAPI on this clean machine: the hand-off fails.
    const TCliRun mapi = box.Run(TArgs{"send", "--no-stored", "--tab", "mapi"} + MessageArgs());
    EXPECT_EQ(mapi.status, 8) << mapi.out << mapi.err;
}

// A field the session would have to refuse or break is refused before any
// connection is made: the log says which field, the status is 1.
TEST(MailSortelloCli, FieldsThatCannotBeSentExitWithOneBeforeConnecting) {
    const struct {
        const char* what;
        TArgs args;
        std::string logLine;
    } rows[] = {
        {"CR LF in the sender", {"--from", "a@x.test\r\nRCPT TO:<evil@x.test>"},
         "Campo \"Mittente\" non valido: contiene un a capo o un NUL"},
        {"LF in the sender", {"--from", "a@x.test\nQUIT"},
         "Campo \"Mittente\" non valido: contiene un a capo o un NUL"},
        {"unparsable sender", {"--from", "<a@x.test> b@y.test"}, "Campo \"Mittente\" non valido: @ Outside address"},
        {"unparsable recipient", {"--to", "<a@x.test> b@y.test"},
         "Campo \"Destinatari\" non valido: @ Outside address"},
        {"unparsable copy recipient", {"--cc", "ok@x.test", "--cc", "<a@x.test> b@y.test"},
         "Campo \"Destinatari in copia conoscenza\" non valido: @ Outside address"},
        {"line break inside a quoted name", {"--to", "\"Mario\r\nRossi\" <m@x.test>"},
         "Campo \"Destinatari\" non valido: indirizzo incompleto: \"Rossi <>\""},
        {"recipient without address", {"--to", "ok@x.test", "--to", "Mario <>"},
         "Campo \"Destinatari\" non valido: indirizzo incompleto: \"Mario <>\""},
        {"unclosed bracket in a copy recipient", {"--cc", "Mario <m@x.test"},
         "Campo \"Destinatari in copia conoscenza\" non valido: indirizzo incompleto: \"Mario <m@x.>\""},
        {"quoted local part, no brackets", {"--cc", "\"mario rossi\"@x.test"},
         "Campo \"Destinatari in copia conoscenza\" non valido: un testo tra virgolette richiede l'indirizzo tra < e "
         ">"},
        {"quoted local part beside brackets", {"--cc", "x <x@x.test>", "--cc", "\"mario rossi\"@x.test"},
         "Campo \"Destinatari in copia conoscenza\" non valido: indirizzo incompleto: \"mario rossi <@x.test>\""},
        {"unclosed bracket in the sender", {"--from", "Tecnico <a@x.test"},
         "Campo \"Mittente\" non valido: indirizzo incompleto: \"Tecnico <a@x.>\""},
        {"CR in the user name", {"--auth", "default", "--user", "tecnico\rRSET", "--password-env", "MS_PW"},
         "Campo \"Utente\" non valido: contiene un a capo o un NUL"},
    };
    TCliSandbox box;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // Nothing listens there: a connection attempt would end with 2.
        const TCliRun run = box.Run(ClearArgs("send", loopback::ClosedPort(), "none") + MessageArgs() + row.args,
                                    {{"MS_PW", "segreto"}});
        EXPECT_EQ(run.status, 1) << run.out << run.err;
        EXPECT_EQ(run.out, row.logLine + "\n> Non inviato.\n");
    }
    // A user name is no command argument when the session does not log in.
    TScriptedSmtpServer server(Concat({Greeted(), kTransaction, kQuit}));
    const TCliRun run = box.Run(ClearArgs("send", server.Port(), "none") +
                                TArgs{"--from", "tecnico@sortello.test", "--to", "ufficio@sortello.test", "--user",
                                      "tecnico\r\n", "--subject", "Prova", "--body", "x"});
    server.Join();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
}

// Repeated --to and --cc fill one memo line each, as a technician types one
// address per line in the window: one RCPT per address, one header line
// each for To and Cc.
TEST(MailSortelloCli, RecipientsOnePerLineGiveOneRcptEachInBothFrontEnds) {
    const TScript script = Concat(
        {Greeted(), {"C: RSET", "S: 250 ok", "C: MAIL FROM:<tecnico@sortello.test>", "S: 250 ok",
                     "C: RCPT TO:<uno@sortello.test>", "S: 250 ok", "C: RCPT TO:<due@sortello.test>", "S: 250 ok",
                     "C: RCPT TO:<tre@sortello.test>", "S: 250 ok", "C: RCPT TO:<quattro@sortello.test>",
                     "S: 250 ok", "C: DATA", "S: 354 go", "DATA", "S: 250 2.0.0 queued"}});
    const TFieldCase c{
        [](int port) {
            return ClearArgs("send", port, "none") +
                   TArgs{"--from", "tecnico@sortello.test", "--to", "uno@sortello.test", "--to",
                         "Due <due@sortello.test>", "--cc", "tre@sortello.test", "--cc", "quattro@sortello.test",
                         "--subject", "Prova", "--body", "x"};
        },
        [](TFieldModel& f, int port) {
            ClearFields(f, port, 0);
            f.SetText("edtSender", "tecnico@sortello.test");
            f.SetLines("edtRecipients", TStringList{"uno@sortello.test", "Due <due@sortello.test>"});
            f.SetLines("edtCCRecipients", TStringList{"tre@sortello.test", "quattro@sortello.test"});
            f.SetText("edtSubject", "Prova");
            f.SetLines("edtBody", TStringList{"x"});
        }};
    TCliSandbox box;
    TScriptedSmtpServer window(Concat({script, {"SILENT"}}));
    WindowLog(c, window.Port(), true);
    TScriptedSmtpServer cli(Concat({script, kQuit}));
    const TCliRun run = box.Run(c.args(cli.Port()));
    cli.Join();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("Destinatari: uno@sortello.test, Due <due@sortello.test>\n"
                                   "Copia conoscenza: tre@sortello.test, quattro@sortello.test\n"));
    for (TScriptedSmtpServer* server : {&window, &cli}) {
        EXPECT_THAT(server->Failures(), ::testing::IsEmpty());
        ASSERT_EQ(server->Messages().size(), 1u);
        const std::string text = server->Messages()[0];
        EXPECT_THAT(text, HasSubstr("\r\nTo: uno@sortello.test, "));
        EXPECT_THAT(text, HasSubstr("\r\nCc: tre@sortello.test, quattro@sortello.test\r\n"));
        // A standard reader finds the four addresses and no defect.
        const TPythonResult parsed = RunPython(
            "import email, email.policy, sys\n"
            "m = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)\n"
            "for name in ('To', 'Cc'):\n"
            "    h = m[name]\n"
            "    print(name, len(h.defects), ' '.join(a.addr_spec for a in h.addresses))\n",
            text);
        EXPECT_EQ(parsed.out, "To 0 uno@sortello.test due@sortello.test\nCc 0 tre@sortello.test quattro@sortello.test\n");
    }
}

TEST(MailSortelloCli, ImplicitTlsReportsTheHandshakeAndTheCertificate) {
    MakeTlsTestIdentity();
    TCliSandbox box;
    TScriptedSmtpServer server(Concat({{"TLS"}, Greeted(), kQuit}));
    const TCliRun run = box.Run({"connect", "--no-stored", "--tab", "smtp-tls", "--host", "127.0.0.1", "--port",
                                 P(server.Port()), "--use-tls", "implicit", "--method", "sslv23", "--tls-info",
                                 "--transcript"});
    server.Join();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    // The TCP connect, then the handshake, then the greeting.
    EXPECT_THAT(run.err, ::testing::ContainsRegex("\n-- connected\n-- TLS started \\(TLSv1.3\\)\nTLS protocol: TLSv1.3\n"
                                                  "Cipher: name = [^\n]*; bits = [0-9]+; version = TLSv1.3; \n"));
    EXPECT_THAT(run.err, HasSubstr("; \nSubject: "));
    EXPECT_EQ(run.err.find("-- connected"), run.err.rfind("-- connected"));
    EXPECT_THAT(run.err, ::testing::ContainsRegex("Not before: 20[0-9][0-9]-[0-9][0-9]-[0-9][0-9] "));
    EXPECT_THAT(run.err, HasSubstr("\nNot after: "));

    const std::string pem = box.Write("cert.pem", TlsTestCertificatePem());
    // openssl prints "sha256 Fingerprint=AB:CD:..." (the case of the name varies).
    const std::string printed = ToolOutput({"openssl", "x509", "-noout", "-fingerprint", "-sha256", "-in", pem});
    const std::string fingerprint = printed.substr(printed.find('=') + 1, 95);
    ASSERT_EQ(fingerprint.size(), 95u) << printed;
    EXPECT_THAT(run.err, HasSubstr("SHA-256 fingerprint: " + fingerprint + "\n"));
    EXPECT_THAT(run.err, HasSubstr("\nSubject: /"));
}

// Options arrive and log lines leave in the terminal's encoding; the fields
// hold ANSI (0xEB is "ë" in Windows-1252).
TEST(MailSortelloCli, LogIsWrittenInTheTerminalsEncoding) {
    TCliSandbox box;
    const TArgs mapi{"send", "--no-stored", "--tab", "mapi", "--to"};
    const TCliRun utf8 = box.Run(mapi + TArgs{"Zo\xC3\xAB <zoe@sortello.test>"});
    EXPECT_THAT(utf8.out, HasSubstr("Destinatari: Zo\xC3\xAB <zoe@sortello.test>\n"));
    const TCliRun ansi = box.Run(mapi + TArgs{"Zo\xEB <zoe@sortello.test>"}, {{"LANG", "C"}});
    EXPECT_THAT(ansi.out, HasSubstr("Destinatari: Zo\xEB <zoe@sortello.test>\n"));
}

// ---- stored fields -------------------------------------------------------------

std::string StoredSettings(int port, const std::string& host) {
    return "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\TelVara\\Base\\TFormMailSortello]\r\n"
           "\"PageControl_ActivePage\"=\"TabSheetSMTP\"\r\n"
           "\"edtHost_smtp_Text\"=\"" + host + "\"\r\n"
           "\"edtPort_smtp_Text\"=\"" + P(port) + "\"\r\n"
           "\"edtAuthType_smtp_ItemIndex\"=\"0\"\r\n"
           "\"edtSender_Text\"=\"tecnico@sortello.test\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\TelVara\\Base\\TFormMailSortello.edtRecipients_Lines]\r\n"
           "\"Count\"=\"1\"\r\n\"Item0\"=\"ufficio@sortello.test\"\r\n\r\n";
}

std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(MailSortelloCli, StoredFieldsAreUsedOverriddenAndNeverWritten) {
    TCliSandbox box;
    TScriptedSmtpServer server(Concat({Greeted(), kTransaction, kQuit}));
    box.Write("config/mailsortello/HKEY_CURRENT_USER.reg", StoredSettings(server.Port(), "127.0.0.1"));
    ::chmod(box.SettingsFile().c_str(), 0600);
    const std::string before = FileText(box.SettingsFile());
    const std::vector<std::string> listing = Listing(box.Dir() + "/config");

    const TCliRun stored = box.Run({"send"});
    server.Join();
    EXPECT_EQ(stored.status, 0) << stored.out << stored.err;
    EXPECT_THAT(stored.out, HasSubstr("Destinatari: ufficio@sortello.test\n"));

    // A wrong stored port, the right one given: the option wins.
    TScriptedSmtpServer second(Concat({Greeted(), kQuit}));
    box.Write("config/mailsortello/HKEY_CURRENT_USER.reg", StoredSettings(loopback::ClosedPort(), "127.0.0.1"));
    const std::string wrongPort = FileText(box.SettingsFile());
    EXPECT_EQ(box.Run({"connect", "--port", P(second.Port())}).status, 0);
    second.Join();
    EXPECT_EQ(second.Connections(), 1);
    EXPECT_EQ(box.Run({"connect"}).status, 2);
    // Design-time values: the encrypted tab with no host.
    EXPECT_EQ(box.Run({"connect", "--no-stored", "--port", P(second.Port())}).status, 2);

    EXPECT_EQ(FileText(box.SettingsFile()), wrongPort);
    EXPECT_EQ(Listing(box.Dir() + "/config"), listing);
    EXPECT_NE(before, wrongPort);
}

// The desktop's mail program may already run in another folder: a name
// given relative to ours reaches it whole.
TEST(MailSortelloCli, ARelativeAttachmentNameReachesTheDesktopWhole) {
    TCliSandbox box;
    const std::string file = box.Write("allegato.txt", "x");
    const std::string handed = box.Dir() + "/handed";
    box.Write("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > " + handed + "\n");
    ::chmod((box.Dir() + "/bin/xdg-open").c_str(), 0755);
    const std::string relative = std::filesystem::relative(file).string();
    ASSERT_NE(relative[0], '/');
    const TCliRun run = box.Run({"send", "--no-stored", "--tab", "mailto", "--to", "a@x.test", "--attach", relative});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr("Allegato \"" + file + "\"\n"));
    for (int i = 0; i < 500 && !std::filesystem::exists(handed); ++i) ::usleep(10000);
    EXPECT_THAT(FileText(handed), HasSubstr("&attachment=\"" + file + "\""));
}

// A stored attachment that is gone is an input error found before any
// connection, as for --attach; mailto sends only the first one and says so.
TEST(MailSortelloCli, StoredAttachmentsThatAreGoneAreRefusedBeforeConnecting) {
    TCliSandbox box;
    const std::string present = box.Write("presente.txt", "x");
    const std::string gone = box.Dir() + "/sparito.txt";
    const auto settings = [&](const std::string& first, const std::string& second) {
        std::string text = StoredSettings(loopback::ClosedPort(), "127.0.0.1");
        const std::string values = "\"edtAttachFile1_Text\"=\"" + first + "\"\r\n\"edtAttachFile2_Text\"=\"" + second + "\"\r\n";
        return text.insert(text.find("\r\n\r\n[", text.find("edtSender_Text")) + 2, values);
    };
    const struct {
        std::string first, second;
        TArgs args;
        int status;
        std::string err;
    } rows[] = {
        {gone, "", {"send"}, 1, "mailsortello-cli: Cannot open file " + gone + "\n"},
        {present, gone, {"send"}, 1, "mailsortello-cli: Cannot open file " + gone + "\n"},
        {present, gone, {"send", "--tab", "mapi"}, 1, "mailsortello-cli: Cannot open file " + gone + "\n"},
        {gone, "", {"send", "--tab", "mailto"}, 1, "mailsortello-cli: Cannot open file " + gone + "\n"},
        // Given again, the files replace both stored ones.
        {gone, gone, {"send", "--attach", present}, 2, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.first + " " + row.second + " " + row.args.back());
        box.Write("config/mailsortello/HKEY_CURRENT_USER.reg", settings(row.first, row.second));
        const TCliRun run = box.Run(row.args);
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        if (row.status == 1) {
            EXPECT_EQ(run.out, "");
        }
        EXPECT_THAT(run.err, HasSubstr(row.err));
    }
}

// Typed in the terminal's own encoding, whichever it is, the text reaches
// the desktop as typed (the URL handed to xdg-open is percent-encoded
// UTF-8) and the log shows it back in that encoding.
TEST(MailSortelloCli, TypedTextArrivesAsTypedInEveryTerminalEncoding) {
    const struct {
        const char* locale;
        std::string typed;
        std::string inUrl;
    } rows[] = {
        {"it_IT.UTF-8", "perch\xC3\xA9 \xE2\x82\xAC", "perch%C3%A9 %E2%82%AC"},
        {"ja_JP.UTF-8", "\xE4\xBB\xB6\xE5\x90\x8D", "%E4%BB%B6%E5%90%8D"},
        {"ja_JP.SJIS", "\x8C\x8F\x96\xBC", "%E4%BB%B6%E5%90%8D"},
        {"ja_JP.EUC-JP", "\xB7\xEF\xCC\xBE", "%E4%BB%B6%E5%90%8D"},
        {"ja_JP", "\xB7\xEF\xCC\xBE", "%E4%BB%B6%E5%90%8D"},  // EUC-JP too
    };
    TCliSandbox box;
    const std::string handed = box.Dir() + "/handed";
    box.Write("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > " + handed + "\n");
    ::chmod((box.Dir() + "/bin/xdg-open").c_str(), 0755);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.locale);
        std::filesystem::remove(handed);
        const TCliRun run = box.Run({"send", "--no-stored", "--tab", "mailto", "--to", "a@x.test", "--subject", row.typed},
                                    {{"LANG", row.locale}});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_THAT(run.out, HasSubstr("?subject=" + row.typed + "&body="));
        for (int i = 0; i < 500 && !std::filesystem::exists(handed); ++i) ::usleep(10000);
        EXPECT_THAT(FileText(handed), HasSubstr("?subject=" + row.inUrl + "&body="));
    }
}

// A character the code page lacks would go out as "?" as if typed so:
// the command line refuses it before connecting, in every field.
TEST(MailSortelloCliUsage, TypedTextTheCodePageCannotHoldIsRefusedBeforeConnecting) {
    TCliSandbox box;
    const std::string japaneseBody = box.Write("corpo.txt", "riga \xE6\x97\xA5\xE6\x9C\xAC\n");
    const std::string it = "it_IT.UTF-8", ja = "ja_JP.UTF-8";
    const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC", euro = "\xE2\x82\xAC";
    const struct {
        std::string locale;
        TArgs args;
        std::string message;
    } rows[] = {
        {it, {"--subject", "prova " + japanese}, "--subject: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--body", "riga\n" + japanese}, "--body: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--body-file", japaneseBody}, "--body-file: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--from", japanese + " <a@x.test>"}, "--from: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--to", japanese + " <b@x.test>"}, "--to: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--cc", japanese + " <c@x.test>"}, "--cc: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--user", japanese}, "--user: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--host", japanese + ".test"}, "--host: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {it, {"--subject", "perch\xE9"}, "--subject: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {ja, {"--subject", "5 " + euro}, "--subject: the text is not UTF-8 or has characters that code page 932 cannot hold"},
        {ja, {"--auth", "default", "--user", "tim", "--password-env", "MS_PW"},
         "the password is not UTF-8 or has characters that code page 932 cannot hold"},
    };
    const int port = loopback::ClosedPort();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        TArgs args = ClearArgs("send", port, "none") + MessageArgs();
        if (row.args[0] == "--body-file") args.resize(args.size() - 2);  // no --body
        const TCliRun run = box.Run(args + row.args, {{"LANG", row.locale}, {"MS_PW", "p" + euro + "ss"}});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "mailsortello-cli: " + row.message + "\n");
    }
}

// ---- real server -----------------------------------------------------------------

#define SKIP_WITHOUT_AIOSMTPD()                                \
    do {                                                       \
        const std::string why = TAiosmtpdServer::SkipReason(); \
        if (!why.empty()) GTEST_SKIP() << why;                 \
    } while (0)

// Against aiosmtpd, window and command line send to the same server.
TEST(MailSortelloCliRealServer, StartTlsWithCramMD5AndImplicitTlsWithAuthLoginAsTheWindow) {
    SKIP_WITHOUT_AIOSMTPD();
    struct TRow {
        const char* what;
        TAiosmtpdServer::TOptions options;
        TArgs args;
        int useTls;
        int auth;
    };
    TAiosmtpdServer::TOptions starttls;
    starttls.starttls = true;
    TAiosmtpdServer::TOptions implicit;
    implicit.implicitTls = true;
    const std::vector<TRow> rows = {
        {"STARTTLS, CRAM-MD5", starttls, {"--use-tls", "require", "--auth", "sasl"}, 2, 2},
        {"implicit TLS, AUTH LOGIN", implicit, {"--use-tls", "implicit", "--auth", "default"}, 1, 1},
    };
    TCliSandbox box;
    const std::string passwordFile = box.Write("pw", "tanstaaftanstaaf\n");
    const std::string attachment = box.Write("allegato.txt", "contenuto dell'allegato\n");
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        TAiosmtpdServer server(row.options);
        TMailSortelloActions actions;
        actions.FormCreate();
        TFieldModel& f = actions.Fields();
        f.SetActivePage(TabSheetSmtpCript);
        f.SetText("edtHost_smtpcript", "127.0.0.1");
        f.SetText("edtPort_smtpcript", P(server.Port()));
        f.SetItemIndex("edtUseTLS", row.useTls);
        f.SetItemIndex("edtAuthType_smtpcript", row.auth);
        f.SetItemIndex("edtMethod", 1);
        f.SetText("edtUserName", "tim");
        f.SetText("edtPassword", "tanstaaftanstaaf");
        MessageFields(f);
        f.SetText("edtAttachFile1", attachment);
        actions.actInviaMailExecute();
        std::string expected;
        for (const std::string& line : actions.Log().Lines()) expected += line + "\n";

        const TCliRun run = box.Run(TArgs{"send", "--no-stored", "--tab", "smtp-tls", "--host", "127.0.0.1", "--port",
                                          P(server.Port()), "--method", "sslv23", "--user", "tim", "--password-file",
                                          passwordFile, "--attach", attachment} +
                                    MessageArgs() + row.args + TArgs{"--transcript"});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        if (row.useTls == 2) {
            EXPECT_THAT(run.err, ::testing::ContainsRegex("C: STARTTLS\nS: 220 [^\n]*\n-- TLS started \\(TLSv1\\.3\\)\n"
                                                          "C: EHLO Telvara\n"));
        }
        EXPECT_THAT(run.err, Not(HasSubstr(TIdEncoderMIME::EncodeString("tanstaaftanstaaf"))));
        EXPECT_EQ(run.out, expected);
        EXPECT_THAT(run.out, HasSubstr("> Inviato.\n"));
        const auto stored = server.Stored();
        ASSERT_EQ(stored.size(), 2u);
        EXPECT_THAT(stored[1].content, HasSubstr("allegato.txt"));
        EXPECT_EQ(stored[1].envelope, stored[0].envelope);
    }
}

// --timeout replaces the window's 3 s for the connect and every reply. A
// time-out is never early, so a run that lasts at least the 4 s asked for
// has used them. After the silent login the session is closed, not ended
// with a QUIT whose reply would be the late answer to the login.
TEST(MailSortelloCli, TimeoutOptionSetsConnectAndReadTimeOutsAndAReadTimeOutEndsTheSession) {
    TCliSandbox box;
    TScriptedSmtpServer silent(Concat({Greeted(), {"C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6", "C: *",
                                                   "S: 334 UGFzc3dvcmQ6", "C: *"}}));
    const uint64_t sendStart = MonotonicMilliseconds();
    const TCliRun send = box.Run(ClearArgs("send", silent.Port(), "default") + MessageArgs() +
                                     TArgs{"--user", "tecnico", "--password-env", "MS_PW", "--timeout", "4"},
                                 {{"MS_PW", "segreto"}});
    const uint64_t sendElapsed = MonotonicMilliseconds() - sendStart;
    silent.Join();
    EXPECT_EQ(send.status, 5) << send.out << send.err;
    EXPECT_THAT(send.out, HasSubstr("Read Timeout\n"));
    EXPECT_GE(sendElapsed, 4000u);
    // No QUIT, nor anything else, after the password.
    EXPECT_THAT(silent.Failures(), ::testing::IsEmpty());

    TSilentListener full;
    if (!full.Full()) GTEST_SKIP() << "could not fill the accept queue";
    const uint64_t connectStart = MonotonicMilliseconds();
    const TCliRun connect = box.Run(ClearArgs("connect", full.Port(), "none") + TArgs{"--timeout", "4"});
    EXPECT_EQ(connect.status, 2) << connect.out << connect.err;
    EXPECT_THAT(connect.out, HasSubstr("Connect timed out.\n"));
    EXPECT_GE(MonotonicMilliseconds() - connectStart, 4000u);
}

// ---- TLS trust, server name, and the monitoring check ---------------------------

TTlsServerConfig Serving(std::vector<TTlsIdentity> identities) {
    TTlsServerConfig config;
    config.identities = std::move(identities);
    return config;
}

TArgs TlsArgs(const std::string& command, int port, const std::string& useTls, const std::string& host = "localhost") {
    return {command, "--no-stored", "--tab",   "smtp-tls", "--host", host,          "--port",
            P(port), "--use-tls",   useTls,    "--method", "sslv23", "--auth",      "none"};
}

// The greeting and EHLO up to the switch to TLS, for STARTTLS.
const TScript kStartTls{"S: 220 mx.test ESMTP", "C: EHLO Telvara", "S: 250-mx.test", "S: 250-STARTTLS",
                        "S: 250 AUTH LOGIN", "C: STARTTLS", "S: 220 go ahead", "TLS"};
// The extensions asked for anew over TLS.
const TScript kHelloAgain{"C: EHLO Telvara", "S: 250-mx.test", "S: 250 AUTH LOGIN"};

TEST(MailSortelloCliTls, TlsInfoReportsTheChainItsVerificationTheNameAndTheDaysLeft) {
    TCliSandbox box;
    const std::string ca = box.Write("ca.pem", TestPki().caPem);
    TScriptedSmtpServer server(Concat({{"TLS"}, Greeted(), kQuit}), Serving({TestPki().valid}));
    const TCliRun run = box.Run(TlsArgs("connect", server.Port(), "implicit") + TArgs{"--tls-info", "--ca-file", ca});
    server.Join();
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(run.err, HasSubstr("\nServer name sent: localhost\nDays left: 90\nChain 1/2 subject: /O=Sortello "
                                   "prove/CN=mx.sortello.test\nChain 1/2 issuer: /O=Sortello prove/CN=Sortello test CA\n"));
    EXPECT_THAT(run.err, ::testing::ContainsRegex("\nChain 1/2 validity: 20[0-9-]+ [0-9:]+ GMT to 20[0-9-]+ [0-9:]+ GMT\n"
                                                  "Chain 1/2 SHA-256 fingerprint: ([0-9A-F]{2}:){31}[0-9A-F]{2}\n"));
    EXPECT_THAT(run.err, HasSubstr("\nChain 2/2 subject: /O=Sortello prove/CN=Sortello test CA\n"));
    EXPECT_THAT(run.err, HasSubstr("\nChain verification (system trust store and " + ca + "): ok\n"
                                   "Host name match (localhost): ok\n"));
    EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
}

// Each way of not trusting a server, by implicit TLS (connect) and by
// STARTTLS (a send that would log in): status 4 and the reason, and not a
// line more to the server (no AUTH, no EHLO over TLS).
TEST(MailSortelloCliTls, TlsVerifyEndsTheRunWithFourAndTheReasonBeforeAnyLogin) {
    const TTestPki& pki = TestPki();
    struct TRow {
        const char* what;
        const TTlsIdentity& identity;
        bool withCa;
        const char* host;
        std::string reason;
    };
    const std::vector<TRow> rows = {
        {"expired", pki.expired, true, "localhost", "certificate has expired"},
        {"wrong name", pki.wrongName, true, "localhost", "host name mismatch"},
        {"wrong address", pki.wrongName, true, "127.0.0.1", "host name mismatch"},
        {"self-signed", pki.selfSigned, true, "localhost", "self-signed certificate"},
        {"private CA not trusted", pki.valid, false, "localhost", "self-signed certificate in certificate chain"},
    };
    TCliSandbox box;
    const std::string ca = box.Write("ca.pem", pki.caPem);
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        const TArgs trust = row.withCa ? TArgs{"--tls-verify", "--ca-file", ca} : TArgs{"--tls-verify"};
        TScriptedSmtpServer implicit({"TLS"}, Serving({row.identity}));
        const TCliRun a = box.Run(TlsArgs("connect", implicit.Port(), "implicit", row.host) + trust);
        implicit.Join();
        EXPECT_EQ(a.status, 4) << a.out << a.err;
        EXPECT_THAT(a.err, HasSubstr("mailsortello-cli: TLS verification failed: " + row.reason + "\n"));
        EXPECT_THAT(a.out, Not(HasSubstr("Connesso.")));
        EXPECT_THAT(implicit.Failures(), ::testing::IsEmpty());

        TScriptedSmtpServer starttls(kStartTls, Serving({row.identity}));
        const TCliRun b = box.Run(TlsArgs("send", starttls.Port(), "require", row.host) + MessageArgs() + trust +
                                      TArgs{"--auth", "default", "--user", "tecnico", "--password-env", "MS_PW"},
                                  {{"MS_PW", "segreto"}});
        starttls.Join();
        EXPECT_EQ(b.status, 4) << b.out << b.err;
        EXPECT_THAT(b.err, HasSubstr("mailsortello-cli: TLS verification failed: " + row.reason + "\n"));
        EXPECT_THAT(starttls.Failures(), ::testing::IsEmpty());
        EXPECT_THAT(starttls.Received(), Not(HasSubstr("AUTH")));
    }
}

TEST(MailSortelloCliTls, ServerNameIsTheHostOrTheOverrideOrNoneInBothTlsModes) {
    struct TRow {
        const char* what;
        const char* host;
        TArgs args;
        std::string sent;
    };
    const std::vector<TRow> rows = {
        {"host name", "localhost", {}, "localhost"},
        {"address literal", "127.0.0.1", {}, ""},
        {"--sni", "127.0.0.1", {"--sni", "mx.sortello.test"}, "mx.sortello.test"},
        {"--no-sni", "localhost", {"--no-sni"}, ""},
    };
    TCliSandbox box;
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        TScriptedSmtpServer implicit(Concat({{"TLS"}, Greeted(), kQuit}));
        EXPECT_EQ(box.Run(TlsArgs("connect", implicit.Port(), "implicit", row.host) + row.args).status, 0);
        implicit.Join();
        EXPECT_EQ(implicit.ServerNames(), std::vector<std::string>{row.sent});
        // The check runs STARTTLS as a send would.
        TScriptedSmtpServer starttls(Concat({kStartTls, kHelloAgain, kQuit}));
        EXPECT_EQ(box.Run(TlsArgs("check", starttls.Port(), "require", row.host) + row.args).status, 0);
        starttls.Join();
        EXPECT_EQ(starttls.ServerNames(), std::vector<std::string>{row.sent});
        EXPECT_THAT(starttls.Failures(), ::testing::IsEmpty());
    }
}

TEST(MailSortelloCliTls, TheWindowSendsTheHostNameToo) {
    TScriptedSmtpServer server(Concat({{"TLS"}, Greeted()}));
    {
        TMailSortelloActions actions;
        actions.FormCreate();
        TFieldModel& f = actions.Fields();
        f.SetActivePage(TabSheetSmtpCript);
        f.SetText("edtHost_smtpcript", "localhost");
        f.SetText("edtPort_smtpcript", P(server.Port()));
        f.SetItemIndex("edtUseTLS", 1);
        f.SetItemIndex("edtMethod", 1);
        f.SetItemIndex("edtAuthType_smtpcript", 0);
        actions.actConnettiExecute();
        EXPECT_GE(actions.Log().Lines().IndexOfExact("Connesso."), 0);
    }
    server.Join();
    EXPECT_EQ(server.ServerNames(), std::vector<std::string>{"localhost"});
}

// One row per state; the delays are far above the thresholds they cross
// and far below the time-outs.
TEST(MailSortelloCliCheck, EachStateHasItsStatusAndOneLineOnStandardOutput) {
    const TTestPki& pki = TestPki();
    TCliSandbox box;
    const std::string ca = box.Write("ca.pem", pki.caPem);
    const TArgs login{"--auth", "default", "--user", "tecnico", "--password-env", "MS_PW"};
    struct TRow {
        const char* what;
        TScript script;
        std::vector<TTlsIdentity> identities;
        std::function<TArgs(int port)> args;
        int status;
        std::string line;  // regular expression
    };
    const std::vector<TRow> rows = {
        {"clear",
         Concat({Greeted(), kQuit}),
         {},
         [](int port) { return ClearArgs("check", port, "none"); },
         0,
         "SMTP OK - [0-9]+ ms \\| time=[0-9.]+s;;;0"},
        {"STARTTLS, login, trusted, certificate thresholds",
         Concat({kStartTls, kHelloAgain, AuthLogin("tecnico", "segreto"), kQuit}),
         {pki.valid},
         [&](int port) {
             return TlsArgs("check", port, "require") + login +
                    TArgs{"--tls-verify", "--ca-file", ca, "--cert-warning", "30", "--cert-critical", "7", "--warning",
                          "20", "--critical", "30"};
         },
         0,
         "SMTP OK - [0-9]+ ms, TLSv1.3, certificate valid 90 days \\| time=[0-9.]+s;20;30;0 cert_days=90;30;7;0"},
        {"slow greeting: warning",
         Concat({{"PAUSE: 1000"}, Greeted(), kQuit}),
         {},
         [](int port) { return ClearArgs("check", port, "none") + TArgs{"--warning", "0.1", "--critical", "30"}; },
         1,
         "SMTP WARNING - [0-9]{4} ms \\| time=[0-9.]+s;0.1;30;0"},
        {"slow greeting: critical",
         Concat({{"PAUSE: 1000"}, Greeted(), kQuit}),
         {},
         [](int port) { return ClearArgs("check", port, "none") + TArgs{"--warning", "0.05", "--critical", "0.1"}; },
         2,
         "SMTP CRITICAL - [0-9]{4} ms \\| time=[0-9.]+s;0.05;0.1;0"},
        {"certificate days below the warning",
         Concat({{"TLS"}, Greeted(), kQuit}),
         {pki.valid},
         [](int port) { return TlsArgs("check", port, "implicit") + TArgs{"--cert-warning", "100"}; },
         1,
         "SMTP WARNING - [0-9]+ ms, TLSv1.3, certificate valid 90 days, untrusted certificate: self-signed "
         "certificate in certificate chain \\| time=[0-9.]+s;;;0 cert_days=90;100;;0"},
        {"untrusted with --tls-verify",
         {"TLS"},
         {pki.expired},
         [&](int port) { return TlsArgs("check", port, "implicit") + TArgs{"--tls-verify", "--ca-file", ca}; },
         2,
         "SMTP CRITICAL - untrusted certificate: certificate has expired \\| time=[0-9.]+s;;;0 cert_days=-1;;;0"},
        {"login refused",
         Concat({Greeted(), {"C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6", "C: *", "S: 334 UGFzc3dvcmQ6", "C: *",
                             "S: 535 5.7.8 no"},
                 kQuit}),
         {},
         [&](int port) { return ClearArgs("check", port, "default") + TArgs{"--user", "tecnico", "--password-env", "MS_PW"}; },
         2,
         "SMTP CRITICAL - no \\| time=[0-9.]+s;;;0"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.what);
        TScriptedSmtpServer server(row.script, Serving(row.identities));
        const TCliRun run = box.Run(row.args(server.Port()), {{"MS_PW", "segreto"}});
        server.Join();
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        EXPECT_THAT(run.out, ::testing::MatchesRegex(row.line + "\n")) << run.err;
        EXPECT_THAT(server.Failures(), ::testing::IsEmpty());
    }
}

TEST(MailSortelloCliCheck, RefusedConnectionIsCriticalAndBadUsageUnknown) {
    TCliSandbox box;
    const TCliRun refused = box.Run(ClearArgs("check", loopback::ClosedPort(), "none"));
    EXPECT_EQ(refused.status, 2) << refused.err;
    EXPECT_THAT(refused.out, ::testing::MatchesRegex("SMTP CRITICAL - Socket Error # [0-9]+ Connection refused\\.? "
                                                     "\\| time=[0-9.]+s;;;0\n"));
    for (const TArgs& args : std::vector<TArgs>{{"check", "--warning", "soon"},
                                                {"check", "--critical", "1.2345"},
                                                {"check", "--no-stored", "--tab", "mapi"},
                                                {"check", "--bogus"},
                                                {"check", "--sni", "a b", "--host", "x"}}) {
        SCOPED_TRACE(args[1]);
        const TCliRun run = box.Run(args);
        EXPECT_EQ(run.status, 3);
        EXPECT_THAT(run.out, ::testing::MatchesRegex("SMTP UNKNOWN - [^\n]+\n"));
    }
    // Thresholds outside the check are a usage error of the other commands.
    EXPECT_EQ(box.Run({"connect", "--warning", "1"}).status, 1);
}

// ---- usage -------------------------------------------------------------------------

TEST(MailSortelloCliUsage, BadCommandLinesNameTheOptionAndExitWithOne) {
    const std::vector<std::pair<TArgs, std::string>> rows = {
        {{}, "missing command"},
        {{"connect", "--bogus"}, "'--bogus'"},
        {{"probe"}, "'probe'"},
        {{"connect", "--tab", "imap"}, "--tab"},
        {{"connect", "--port", "smtp"}, "--port"},
        {{"connect", "--host"}, "--host"},
        {{"send", "--attach", "a", "--attach", "b", "--attach", "c"}, "--attach"},
        {{"connect", "--password", "x"}, "--password"},
        {{"connect", "--no-stored", "--tab", "mapi"}, "connect"},
        {{"send", "--no-stored", "--tab", "mailto", "--host", "x"}, "--host"},
        {{"connect", "--password-env", "MS_SURELY_UNSET"}, "--password-env"},
        {{"connect", "--password-file", "/nonexistent/pw"}, "--password-file"},
        {{"send", "--body", "x", "--body-file", "y"}, "--body-file"},
        {{"connect", "--timeout", "0"}, "--timeout"},
        {{"connect", "--timeout", "1.5"}, "--timeout"},
        {{"connect", "--timeout", "3601"}, "--timeout"},
        {{"connect", "--sni", "mx example"}, "--sni"},
        {{"connect", "--sni", "x", "--no-sni"}, "--no-sni"},
        {{"connect", "--ca-file", "/nonexistent/ca.pem"}, "--ca-file"},
        {{"connect", "--ca-file", "/"}, "--ca-file"},
        {{"send", "--cert-warning", "30"}, "only for check"},
        {{"connect", "--cert-critical", "-1"}, "--cert-critical"},
    };
    TCliSandbox box;
    for (const auto& [args, named] : rows) {
        SCOPED_TRACE(named);
        const TCliRun run = box.Run(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, ::testing::MatchesRegex("mailsortello-cli: [^\n]*\n"));
        EXPECT_THAT(run.err, HasSubstr(named));
    }
}

// Every file the command line reads or names: a clear refusal with status
// 1 before anything connects (a connect to the closed port would end in
// status 2 and a log).
TEST(MailSortelloCliUsage, UnusableInputFilesAreRefusedBeforeConnecting) {
    TCliSandbox box;
    const std::string folder = box.Dir() + "/cartella";
    std::filesystem::create_directory(folder);
    const std::string fifo = box.Dir() + "/coda";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string missing = box.Dir() + "/manca.txt";
    const std::string unreadable = "/proc/sys/vm/compact_memory";  // write-only, even for root
    const std::string hugeBody = box.Write("grande.txt", "");
    std::filesystem::resize_file(hugeBody, 4 * 1024 * 1024 + 1);
    const std::string hugePassword = box.Write("pw-grande", std::string(64 * 1024, 'x') + "\n");
    const std::string japanese = box.Write("\xE6\x97\xA5\xE6\x9C\xAC.txt", "x");  // not in Windows-1252
    const std::string password = box.Write("pw", "segreto\n");
    struct TRow {
        TArgs args;
        std::string message;
    };
    const std::vector<TRow> rows = {
        {{"--body-file", missing}, "--body-file: '" + missing + "' does not exist"},
        {{"--body-file", folder}, "--body-file: '" + folder + "' is a folder, not a file"},
        {{"--body-file", fifo}, "--body-file: '" + fifo + "' is not a regular file"},
        {{"--body-file", unreadable}, "--body-file: '" + unreadable + "' cannot be read (Permission denied)"},
        {{"--body-file", hugeBody}, "--body-file: '" + hugeBody + "' is larger than 4096 KiB"},
        {{"--password-file", missing}, "--password-file: '" + missing + "' does not exist"},
        {{"--password-file", folder}, "--password-file: '" + folder + "' is a folder, not a file"},
        {{"--password-file", fifo}, "--password-file: '" + fifo + "' is not a regular file"},
        {{"--password-file", unreadable}, "--password-file: '" + unreadable + "' cannot be read (Permission denied)"},
        {{"--password-file", hugePassword}, "--password-file: '" + hugePassword + "' is larger than 64 KiB"},
        {{"--attach", missing}, "--attach: '" + missing + "' does not exist"},
        {{"--attach", folder}, "--attach: '" + folder + "' is a folder, not a file"},
        {{"--attach", fifo}, "--attach: '" + fifo + "' is not a regular file"},
        {{"--attach", unreadable}, "--attach: '" + unreadable + "' cannot be read (Permission denied)"},
        // The message itself is ANSI text: it cannot show them either.
        {{"--attach", japanese}, "--attach: '" + box.Dir() + "/??.txt' has characters that code page 1252 cannot hold"},
        // A field holds code page text: a character outside it is refused,
        // not turned into "?".
        {{"--subject", "Ciao \xE6\x97\xA5"}, "--subject: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {{"--to", "\xE6\x97\xA5 <a@x.test>"}, "--to: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        {{"--body", "\xE2\x82\xAC \xE6\x97\xA5"}, "--body: the text is not UTF-8 or has characters that code page 1252 cannot hold"},
        // Logging in, and no password source and no terminal to ask on.
        {{}, "the send logs in, but there is no password: use --password-file, --password-env or run it on a terminal"},
    };
    const int port = loopback::ClosedPort();
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.message);
        TArgs message = MessageArgs();
        if (!row.args.empty() && row.args[0] == "--body-file") message.resize(message.size() - 2);  // no --body
        const TArgs base = ClearArgs("send", port, "default") + message + TArgs{"--user", "tim"};
        const bool ownPassword = !row.args.empty() && row.args[0] == "--password-file";
        const TArgs args = base + row.args + (ownPassword || row.args.empty() ? TArgs{} : TArgs{"--password-file", password});
        const TCliRun run = box.Run(args, {{"LANG", "it_IT.UTF-8"}});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "mailsortello-cli: " + row.message + "\n");
    }
    // A file name is the system's UTF-8 whatever the terminal: shown in the
    // terminal's encoding ("\xC6\xFC\xCB\xDC" is the EUC-JP of the name).
    for (const std::string option : {"--attach", "--body-file"}) {
        const TCliRun run = box.Run({"send", "--no-stored", "--tab", "mapi", option, box.Dir() + "/\xE6\x97\xA5\xE6\x9C\xAC"},
                                    {{"LANG", "ja_JP.EUC-JP"}});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, "mailsortello-cli: " + option + ": '" + box.Dir() + "/\xC6\xFC\xCB\xDC' does not exist\n");
    }
}

// A terminal in EUC-JP, which code page 932 does not read as it is: what
// is typed there arrives as typed, and the log comes back in EUC-JP.
TEST(MailSortelloCli, AnEucJpTerminalIsConvertedBothWays) {
    const std::string name = "\xE5\xB1\xB1\xE7\x94\xB0";  // Yamada
    std::string subject;
    for (int i = 0; i < 8; ++i) subject += "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE4\xBB\xB6\xE5\x90\x8D";
    const std::string body = "\xE6\x9C\xAC\xE6\x96\x87";
    auto euc = [](const std::string& utf8) { return *ConvertCodePageExactly(utf8, "UTF-8", "EUC-JP"); };
    TCliSandbox box;
    TScriptedSmtpServer server(Concat({Greeted(), kTransaction, kQuit}));
    const TCliRun run = box.Run(ClearArgs("send", server.Port(), "none") +
                                    TArgs{"--from", "tecnico@sortello.test", "--to",
                                          euc(name + " <ufficio@sortello.test>"), "--subject", euc(subject),
                                          "--body", euc(body)},
                                {{"LANG", "ja_JP.EUC-JP"}});
    server.Join();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr(euc("Destinatari: \"" + name + "\" <ufficio@sortello.test>\n")));
    ASSERT_EQ(server.Messages().size(), 1u);
    const TEmailCheck check = CheckEmail(server.Messages()[0]);
    EXPECT_EQ(check.Header("Subject"), subject);
    EXPECT_EQ(check.Header("To"), name + " <ufficio@sortello.test>");
    ASSERT_EQ(check.parts.size(), 1u);
    EXPECT_EQ(check.parts[0].content, body + "\r\n\r\n");
}

TEST(MailSortelloCli, AnAccentedAttachmentIsSentWithItsContent) {
    TCliSandbox box;
    std::filesystem::create_directory(box.Dir() + "/Universit\xC3\xA0");
    const std::string path = box.Write("Universit\xC3\xA0/perch\xC3\xA9.txt", "contenuto \xC3\xA8\r\n");
    TScriptedSmtpServer server(Concat({Greeted(), kTransaction, kQuit}));
    const TCliRun run = box.Run(ClearArgs("send", server.Port(), "none") + MessageArgs() + TArgs{"--attach", path},
                                {{"LANG", "it_IT.UTF-8"}});
    server.Join();
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // The log is the terminal's UTF-8 again.
    EXPECT_THAT(run.out, HasSubstr("Allegato \"" + path + "\"\n"));
    ASSERT_EQ(server.Messages().size(), 1u);
    const TPythonResult parsed = RunPython(
        "import sys, email, email.policy\n"
        "m = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)\n"
        "for part in m.iter_attachments(): sys.stdout.buffer.write(part.get_payload(decode=True))\n",
        server.Messages()[0]);
    EXPECT_EQ(parsed.exitCode, 0);
    EXPECT_EQ(parsed.out, "contenuto \xC3\xA8\r\n");
}

// The core size limit passes on to the programs it starts: the stand-in
// for xdg-open reports its own.
TEST(MailSortelloCli, CoreDumpsAreOff) {
    TCliSandbox box;
    const std::string report = box.Dir() + "/core-limit";
    box.Write("bin/xdg-open", "#!/bin/sh\nulimit -c > " + report + ".part && mv " + report + ".part " + report + "\n");
    ::chmod((box.Dir() + "/bin/xdg-open").c_str(), 0755);
    const TCliRun run = box.Run({"send", "--no-stored", "--tab", "mailto", "--to", "a@b.it"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    // xdg-open is not waited for: give the stand-in its moment.
    for (int i = 0; i < 300 && !std::filesystem::exists(report); ++i) ::usleep(10000);
    EXPECT_EQ(FileText(report), "0\n");
}

TEST(MailSortelloCliUsage, HelpListsEveryOptionAndStatusVersionPrintsTheVersion) {
    TCliSandbox box;
    const TCliRun help = box.Run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--tab", "--host", "--port", "--user", "--auth", "--use-tls", "--method", "--from",
                               "--to", "--cc", "--subject", "--body", "--body-file", "--attach", "--no-stored",
                               "--password-file", "--password-env", "--transcript", "--show-credentials",
                               "--tls-info", "--timeout", "--help", "--version", "--sni", "--no-sni", "--ca-file",
                               "--tls-verify", "--warning", "--critical", "--cert-warning", "--cert-critical"})
        EXPECT_THAT(help.out, HasSubstr("  " + std::string(option) + " ")) << option;
    for (int status = 0; status <= 8; ++status)
        EXPECT_THAT(help.out, HasSubstr("\n  " + std::to_string(status) + "  "));
    const TCliRun version = box.Run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "mailsortello-cli 1.0.0.3\n");
}

}  // namespace
