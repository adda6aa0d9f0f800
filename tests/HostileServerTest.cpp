// TIdSMTP against servers that misbehave on purpose: endless or huge
// replies, garbage, a reset in every phase of a session, a stalled TLS
// handshake, a server that never speaks, and an attachment that goes away
// before the send. Every case must end within the client's time-outs with
// a clear message, and the same client must connect fine afterwards.
#include "smtp/IdSMTP.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "app/MailSortelloActions.h"
#include "core/IdException.h"
#include "message/IdAttachmentFile.h"
#include "message/IdMessage.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdStack.h"
#include "platform/Locale.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/TlsTestServer.h"

namespace {

using TScript = TScriptedSmtpServer::TScript;

constexpr int kTimeoutMs = 3000;  // what the window sets before every connection
// Room for a slow (sanitizer) build on top of the time-outs a case waits,
// yet short of one more time-out, so that a needless extra wait shows.
constexpr uint64_t kSlackMs = 2900;

const std::string kReset = "Socket Error # 10054\r\nConnection reset by peer.";
const std::string kClosed = "Connection Closed Gracefully.";

// The server closes with RST instead of FIN.
void Reset(int fd) {
    const linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
}

std::string Line(int fd) {
    std::string line;
    TLoopbackServer::ReadLine(fd, line);
    return line;
}

// Greeting and EHLO reply with the given extension lines.
void Greet(int fd, const std::vector<std::string>& extensions = {}) {
    TLoopbackServer::SendAll(fd, "220 mx.test ESMTP\r\n");
    Line(fd);
    std::string reply = "250-mx.test\r\n";
    for (const std::string& e : extensions) reply += "250-" + e + "\r\n";
    TLoopbackServer::SendAll(fd, reply + "250 8BITMIME\r\n");
}

void UpToStartTls(int fd) {
    Greet(fd, {"STARTTLS", "AUTH LOGIN"});
    Line(fd);  // STARTTLS
    TLoopbackServer::SendAll(fd, "220 2.0.0 go ahead\r\n");
}

enum class TMode { Clear, StartTls, Implicit };

// The client as the window sets it up for one tab.
void Configure(TIdSMTP& smtp, TMode mode, int port) {
    if (smtp.Connected()) smtp.Disconnect();
    if (mode == TMode::Clear) {
        smtp.SetIOHandler(nullptr);
        smtp.SetUseTLS(utNoTLSSupport);
    } else {
        auto* tls = dynamic_cast<TIdSSLIOHandlerSocketOpenSSL*>(smtp.IOHandler());
        if (tls == nullptr) {
            tls = new TIdSSLIOHandlerSocketOpenSSL(&smtp);
            smtp.SetIOHandler(tls);
        }
        tls->SSLOptions().SetMethod(sslvSSLv23);
        smtp.SetUseTLS(mode == TMode::Implicit ? utUseImplicitTLS : utUseRequireTLS);
    }
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(port);
    smtp.SetHeloName("Telvara");
    smtp.SetUsername("tim");
    smtp.SetPassword("secret");
    smtp.SetAuthType(atDefault);
    smtp.SetConnectTimeout(kTimeoutMs);
    smtp.SetReadTimeout(kTimeoutMs);
}

TIdMessage& TestMessage(TIdMessage& message, size_t bodyBytes = 0) {
    message.From().SetText("tim@test");
    message.Recipients().SetEMailAddresses("rcpt@test");
    message.SetSubject("hostile");
    TStringList body;
    const std::string line(76, 'x');
    for (size_t n = 0; n * 78 < bodyBytes; ++n) body.Add(line);
    if (body.Empty()) body.Add("hello");
    message.Body().Assign(body);
    return message;
}

// Connects (and logs in, and sends when asked); the message of what was
// raised, or "no exception". The time taken goes to elapsedMs.
std::string Session(TIdSMTP& smtp, bool authenticate, TIdMessage* send, uint64_t& elapsedMs) {
    const uint64_t start = MonotonicMilliseconds();
    std::string message = "no exception";
    try {
        smtp.Connect();
        if (authenticate) smtp.Authenticate();
        if (send != nullptr) smtp.Send(*send);
    } catch (const Exception& e) {
        message = e.Message();
    }
    elapsedMs = MonotonicMilliseconds() - start;
    return message;
}

// The same client connects, logs in over STARTTLS when it is a TLS client,
// and quits cleanly against a good server.
void ExpectUsable(TIdSMTP& smtp, TMode mode, const std::string& what) {
    TScript script{"S: 220 good.test ESMTP", "C: EHLO Telvara"};
    if (mode == TMode::Clear) {
        script.insert(script.end(), {"S: 250 good.test"});
    } else {
        script.insert(script.end(), {"S: 250-good.test", "S: 250 STARTTLS", "C: STARTTLS", "S: 220 go", "TLS",
                                     "C: EHLO Telvara", "S: 250 good.test"});
    }
    script.insert(script.end(), {"C: QUIT", "S: 221 bye"});
    TScriptedSmtpServer good(script);
    Configure(smtp, mode == TMode::Clear ? TMode::Clear : TMode::StartTls, good.Port());
    uint64_t elapsed = 0;
    EXPECT_EQ(Session(smtp, true, nullptr, elapsed), "no exception") << what << ": the next connect fails";
    EXPECT_TRUE(smtp.Connected()) << what;
    smtp.Disconnect();
    good.Join();
    for (const std::string& failure : good.Failures()) ADD_FAILURE() << what << ": " << failure;
}

struct THostileCase {
    const char* what;
    TMode mode;
    bool authenticate;
    bool send;
    std::function<void(int fd)> server;
    std::set<std::string> messages;  // any one of these is a clear outcome; "text*" is a prefix
    // Read time-outs the case runs into: the silence itself, and after a
    // failed STARTTLS handshake the QUIT that the client still sends. A
    // time-out in a command exchange closes the connection: no QUIT then.
    int timeouts;
    // A case whose time is the machine's own work, not a wait, is not
    // timed: a flood ends at the reply size limit (and the QUIT after it
    // reads up to that limit once more), a reply of 100 000 lines is
    // parsed. A loaded machine or a sanitizer build takes longer there
    // without any wait to blame.
    bool machineBound = false;
};

bool Matches(const std::set<std::string>& messages, const std::string& raised) {
    for (const std::string& m : messages) {
        if (m == raised) return true;
        if (!m.empty() && m.back() == '*' && raised.rfind(m.substr(0, m.size() - 1), 0) == 0) return true;
    }
    return false;
}

void RunCases(const std::vector<THostileCase>& cases) {
    MakeTlsTestIdentity();
    TIdSMTP smtp;  // one client for every case, as the window keeps one
    for (const THostileCase& c : cases) {
        SCOPED_TRACE(c.what);
        TLoopbackServer server(c.server);
        Configure(smtp, c.mode, server.Port());
        TIdMessage message;
        TestMessage(message, 4u << 20);
        uint64_t elapsed = 0;
        const std::string raised = Session(smtp, c.authenticate, c.send ? &message : nullptr, elapsed);
        std::printf("%s: \"%.60s\" after %llu ms\n", c.what, raised.c_str(), static_cast<unsigned long long>(elapsed));
        EXPECT_TRUE(Matches(c.messages, raised)) << "raised: " << raised;
        const uint64_t waited = static_cast<uint64_t>(c.timeouts) * kTimeoutMs;
        if (!c.machineBound) {
            EXPECT_LT(elapsed, waited + kSlackMs);
        }
        if (c.timeouts > 0) {
            EXPECT_GE(elapsed, waited - 100);
        }
        if (smtp.IOHandler() != nullptr) smtp.IOHandler()->Close();
        server.Join();
        ExpectUsable(smtp, c.mode, c.what);
    }
}

}  // namespace

TEST(HostileServer, ResetInEveryPhase) {
    const std::set<std::string> reset{kReset};
    RunCases({
        {"greeting", TMode::Clear, false, false, [](int fd) { Reset(fd); }, reset, 0},
        {"greeting half sent", TMode::Clear, false, false,
         [](int fd) {
             TLoopbackServer::SendAll(fd, "220-mx.test\r\n220 ESM");
             Reset(fd);
         },
         reset, 0},
        {"EHLO", TMode::Clear, false, false,
         [](int fd) {
             TLoopbackServer::SendAll(fd, "220 mx.test\r\n");
             Line(fd);
             Reset(fd);
         },
         reset, 0},
        {"STARTTLS", TMode::StartTls, true, false,
         [](int fd) {
             Greet(fd, {"STARTTLS"});
             Line(fd);
             Reset(fd);
         },
         reset, 0},
        {"TLS handshake", TMode::StartTls, true, false,
         [](int fd) {
             UpToStartTls(fd);
             char hello[64];
             ::recv(fd, hello, sizeof hello, 0);
             Reset(fd);
         },
         {"SSL is not available on this server."}, 0},
        {"implicit TLS handshake", TMode::Implicit, false, false,
         [](int fd) {
             char hello[64];
             ::recv(fd, hello, sizeof hello, 0);
             Reset(fd);
         },
         {"Error connecting with SSL."}, 0},
        {"AUTH over TLS", TMode::StartTls, true, false,
         [](int fd) {
             UpToStartTls(fd);
             TTlsServerSession tls(fd);
             std::string line;
             if (!tls.Accept() || !tls.ReadLine(line)) return;
             tls.WriteLine("250-mx.test");
             tls.WriteLine("250 AUTH LOGIN");
             tls.ReadLine(line);  // AUTH LOGIN
             Reset(fd);
         },
         reset, 0},
        {"AUTH password", TMode::Clear, true, false,
         [](int fd) {
             Greet(fd, {"AUTH LOGIN"});
             Line(fd);
             TLoopbackServer::SendAll(fd, "334 VXNlcm5hbWU6\r\n");
             Line(fd);
             TLoopbackServer::SendAll(fd, "334 UGFzc3dvcmQ6\r\n");
             Line(fd);
             Reset(fd);
         },
         reset, 0},
        {"DATA", TMode::Clear, false, true,
         [](int fd) {
             Greet(fd);
             for (const char* reply : {"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n"}) {
                 Line(fd);
                 TLoopbackServer::SendAll(fd, reply);
             }
             Line(fd);  // the first header line, then the rest is refused
             Reset(fd);
         },
         reset, 0},
    });
}

namespace {

// Holds every connect until the peer's reset has arrived, so that the
// reset overtakes whatever the client does after its connect.
class TResetFirstStack : public TIdStack {
public:
    bool Connect(TIdStackSocketHandle handle, const std::string& ip, int32_t port, TIdIPVersion ipVersion,
                 int32_t timeoutMs) override {
        const bool done = TIdStack::Connect(handle, ip, port, ipVersion, timeoutMs);
        pollfd entry{handle, POLLIN, 0};
        for (int i = 0; i < 5000 && !(entry.revents & (POLLHUP | POLLERR)); ++i) {
            if (i > 0) SleepMilliseconds(1);
            ::poll(&entry, 1, 0);
        }
        return done;
    }
};

// The stack class for the components made in a scope.
struct TStackClassScope {
    explicit TStackClassScope(TIdStack::TStackFactory factory) { TIdStack::SetStackClass(std::move(factory)); }
    ~TStackClassScope() {
        TIdStack::SetStackClass([] { return std::make_unique<TIdStack>(); });
    }
};

}  // namespace

TEST(HostileServer, ResetBeforeTheConnectEndsIsReportedAsAReset) {
    TStackClassScope scope([] { return std::make_unique<TResetFirstStack>(); });
    const struct {
        const char* what;
        std::function<void(int fd)> server;
    } cases[] = {
        {"nothing sent", [](int fd) { Reset(fd); }},
        {"half a greeting sent",
         [](int fd) {
             TLoopbackServer::SendAll(fd, "220-mx.test\r\n220 ESM");
             Reset(fd);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TLoopbackServer server(c.server);
        TIdSMTP smtp;
        ASSERT_NE(dynamic_cast<TResetFirstStack*>(TIdStack::Instance()), nullptr);
        Configure(smtp, TMode::Clear, server.Port());
        uint64_t elapsed = 0;
        EXPECT_EQ(Session(smtp, false, nullptr, elapsed), kReset);
        EXPECT_FALSE(smtp.Connected());
        server.Join();
    }
}

// A server that answers a login only after the client gave up waiting
// must not have that answer taken for the reply to the next command.
TEST(HostileServer, LateReplyAfterAReadTimeoutIsNeverReadAsTheNextAnswer) {
    std::string afterPassword = "nothing";
    TLoopbackServer server([&afterPassword](int fd) {
        Greet(fd, {"AUTH LOGIN"});
        Line(fd);
        TLoopbackServer::SendAll(fd, "334 VXNlcm5hbWU6\r\n");
        Line(fd);
        TLoopbackServer::SendAll(fd, "334 UGFzc3dvcmQ6\r\n");
        Line(fd);
        // The refusal waits for the client's next move, not for a clock.
        std::string next;
        afterPassword = TLoopbackServer::ReadLine(fd, next, 10000) ? next : "closed";
        TLoopbackServer::SendAll(fd, "535 5.7.8 late refusal\r\n221 bye\r\n");
    });
    TIdSMTP smtp;
    Configure(smtp, TMode::Clear, server.Port());
    smtp.SetReadTimeout(300);
    uint64_t elapsed = 0;
    EXPECT_EQ(Session(smtp, true, nullptr, elapsed), "Read Timeout");
    EXPECT_FALSE(smtp.Connected());
    // What the window does before its next test: nothing is left to end.
    EXPECT_NO_THROW(smtp.Disconnect());
    server.Join();
    EXPECT_EQ(afterPassword, "closed");
    ExpectUsable(smtp, TMode::Clear, "after the time-out");
}

TEST(HostileServer, FloodsGarbageAndSilence) {
    RunCases({
        {"endless reply line", TMode::Clear, false, false,
         [](int fd) {
             const std::string block(64 * 1024, 'a');
             TLoopbackServer::SendAll(fd, "220 ");
             for (int i = 0; i < 1024 && TLoopbackServer::SendAll(fd, block); ++i) {
             }
         },
         {"Max line length exceeded."}, 0},
        {"100 000 continuation lines", TMode::Clear, false, false,
         [](int fd) {
             std::string flood;
             for (int i = 0; i < 100000; ++i) flood += "220-line " + std::to_string(i) + "\r\n";
             TLoopbackServer::SendAll(fd, flood + "220 end\r\n");
             Line(fd);
             TLoopbackServer::SendAll(fd, "250 mx.test\r\n");
             TLoopbackServer::ReadAll(fd, 1000);
         },
         {"no exception"}, 0, true},
        {"endless continuation lines", TMode::Clear, false, false,
         [](int fd) {
             const std::string line = "220-" + std::string(1000, 'c') + "\r\n";
             std::string block;
             while (block.size() < 256 * 1024) block += line;
             for (int i = 0; i < 1024 && TLoopbackServer::SendAll(fd, block); ++i) {
             }
         },
         {"Max line length exceeded."}, 0, true},
        {"binary garbage", TMode::Clear, false, false,
         [](int fd) {
             std::string garbage;
             uint32_t x = 12345;
             for (int i = 0; i < 256 * 1024; ++i) {
                 x = x * 1103515245u + 12345u;
                 garbage += static_cast<char>(x >> 24);
             }
             TLoopbackServer::SendAll(fd, garbage);
             TLoopbackServer::ReadAll(fd, 1000);
         },
         {"Max line length exceeded.", "Reply Code is not valid: *", kClosed}, 0},
        {"accepts and never speaks", TMode::Clear, false, false,
         [](int fd) { TLoopbackServer::ReadAll(fd, 10000); }, {"Read Timeout"}, 1},
        {"STARTTLS handshake stalls", TMode::StartTls, true, false,
         [](int fd) {
             UpToStartTls(fd);
             StallTlsHandshake(fd);
         },
         {"Read Timeout", "SSL is not available on this server.", "Error connecting with SSL."}, 2},
        // No session yet, so no QUIT: one time-out.
        {"implicit TLS handshake stalls", TMode::Implicit, false, false, [](int fd) { StallTlsHandshake(fd); },
         {"Read Timeout", "Error connecting with SSL."}, 1},
    });
}

TEST(HostileServer, AttachmentDeletedBeforeTheSend) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("hostile-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path) << "attachment";
    TScriptedSmtpServer server({"S: 220 mx.test", "C: EHLO Telvara", "S: 250 mx.test", "C: RSET", "S: 250 ok",
                                "C: MAIL FROM:<tim@test>", "S: 250 ok", "C: RCPT TO:<rcpt@test>", "S: 250 ok",
                                "C: DATA", "S: 354 go", "SILENT"});
    TIdSMTP smtp;
    Configure(smtp, TMode::Clear, server.Port());
    TIdMessage message;
    TestMessage(message);
    new TIdAttachmentFile(&message.MessageParts(), path.string());
    std::filesystem::remove(path);
    uint64_t elapsed = 0;
    EXPECT_EQ(Session(smtp, false, &message, elapsed), "Cannot open file " + path.string());
    EXPECT_LT(elapsed, kSlackMs);
    // The half-written message is never ended with "." as if complete.
    server.Join();
    EXPECT_EQ(server.Received().find("\r\n.\r\n"), std::string::npos);
    ExpectUsable(smtp, TMode::Clear, "after the lost attachment");
}

namespace {

// The window's actions against servers on loopback, without the window.
struct TActionsOnLoopback {
    TActionsOnLoopback() {
        actions.FormCreate();
        actions.Fields().SetActivePage(TabSheetSMTP);
        actions.Fields().SetText("edtHost_smtp", "127.0.0.1");
        actions.Fields().SetItemIndex("edtAuthType_smtp", 0);
        actions.Fields().SetText("edtSender", "tim@test");
        actions.Fields().SetLines("edtRecipients", TStringList{"rcpt@test"});
        actions.Fields().SetText("edtSubject", "hostile");
    }
    void Port(int port) { actions.Fields().SetText("edtPort_smtp", std::to_string(port)); }
    std::vector<std::string> Log() { return actions.Log().Lines().Lines(); }
    TMailSortelloActions actions;
};

}  // namespace

TEST(HostileServer, WindowStaysUsableAfterAHostileServer) {
    const struct {
        const char* what;
        std::function<void(int fd)> server;
        std::string logged;
    } cases[] = {
        {"never speaks", [](int fd) { TLoopbackServer::ReadAll(fd, 10000); }, "Read Timeout"},
        // Leaves unread input behind when the client gives up on it.
        {"endless greeting", [](int fd) {
             const std::string block(64 * 1024, 'a');
             TLoopbackServer::SendAll(fd, "220 ");
             for (int i = 0; i < 1024 && TLoopbackServer::SendAll(fd, block); ++i) {
             }
         }, "Max line length exceeded."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TActionsOnLoopback window;
        {
            TLoopbackServer hostile(c.server);
            window.Port(hostile.Port());
            const uint64_t start = MonotonicMilliseconds();
            window.actions.actConnettiExecute();
            EXPECT_LT(MonotonicMilliseconds() - start, 2 * kTimeoutMs + kSlackMs);
            const auto log = window.Log();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log.back(), "NON connesso.");
            EXPECT_NE(std::find(log.begin(), log.end(), c.logged), log.end());
            window.actions.idSMTP()->IOHandler()->Close();
        }
        // The second test, against a good server, must connect.
        TScriptedSmtpServer good({"S: 220 good.test", "C: EHLO Telvara", "S: 250 good.test", "C: QUIT", "S: 221 bye"});
        window.Port(good.Port());
        EXPECT_NO_THROW(window.actions.actConnettiExecute());
        EXPECT_EQ(window.Log().back(), "Connesso.");
        window.actions.idSMTP()->Disconnect();
        good.Join();
        EXPECT_TRUE(good.Failures().empty());
    }
}

TEST(HostileServer, WindowSendWhoseAttachmentVanishesAfterTheCheck) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("vanishing-" + std::to_string(::getpid()) + ".bin");
    std::ofstream(path) << "attachment";
    // The window checks the file when it fills the message; the server
    // removes it once the envelope starts, before the text is written.
    TLoopbackServer server([&path](int fd) {
        Greet(fd);
        for (const char* reply : {"250 ok\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n"}) {
            const std::string line = Line(fd);
            if (line.rfind("MAIL FROM", 0) == 0) std::filesystem::remove(path);
            TLoopbackServer::SendAll(fd, reply);
        }
        TLoopbackServer::ReadAll(fd, 5000);
    });
    TActionsOnLoopback window;
    window.actions.Fields().SetText("edtAttachFile1", path.string());
    window.Port(server.Port());
    const uint64_t start = MonotonicMilliseconds();
    window.actions.actInviaMailExecute();
    EXPECT_LT(MonotonicMilliseconds() - start, kSlackMs);
    const auto log = window.Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "Allegato \"" + path.string() + "\""), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Cannot open file " + path.string()), log.end());
    EXPECT_EQ(std::find(log.begin(), log.end(), "> Inviato."), log.end());
    if (window.actions.idSMTP()->IOHandler() != nullptr) window.actions.idSMTP()->IOHandler()->Close();
    server.Join();
    std::filesystem::remove(path);
}
