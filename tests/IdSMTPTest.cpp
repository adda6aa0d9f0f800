// The SMTP client against scripted servers: session, TLS modes, login,
// transaction and broken peers.
#include "smtp/IdSMTP.h"

#include "message/IdCoderMIME.h"
#include "message/IdMessage.h"
#include "core/Stream.h"
#include "net/IdNetExceptions.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdStack.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSASLCRAMMD5.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/SmtpExpect.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using TScript = TScriptedSmtpServer::TScript;

TScript Concat(std::initializer_list<TScript> parts) {
    TScript all;
    for (const TScript& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The greeting and an EHLO reply offering `extensions`.
TScript Greeted(const std::vector<std::string>& extensions) {
    TScript rows{"S: 220 mx.test ESMTP", "C: EHLO Telvara"};
    rows.push_back(extensions.empty() ? "S: 250 mx.test" : "S: 250-mx.test");
    for (size_t i = 0; i < extensions.size(); ++i)
        rows.push_back(std::string(i + 1 == extensions.size() ? "S: 250 " : "S: 250-") + extensions[i]);
    return rows;
}

const TScript kQuit{"C: QUIT", "S: 221 2.0.0 bye"};

std::string B64(const std::string& text) { return TIdEncoderMIME::EncodeString(text); }

// A client aimed at the scripted server; the server outlives it.
struct Session {
    explicit Session(TScript script, int readTimeoutMs = 3000) : server(std::move(script)) {
        smtp.SetHost("127.0.0.1");
        smtp.SetPort(server.Port());
        smtp.SetHeloName("Telvara");
        smtp.SetConnectTimeout(3000);
        smtp.SetReadTimeout(readTimeoutMs);
        smtp.SetUsername("tim");
        smtp.SetPassword("secret");
    }
    // A TLS-capable handler owned by the client, as the window sets it up.
    TIdSSLIOHandlerSocketOpenSSL* UseTLSHandler(TIdUseTLS mode) {
        auto* handler = new TIdSSLIOHandlerSocketOpenSSL(&smtp);
        handler->SSLOptions().SetMethod(sslvSSLv23);
        smtp.SetIOHandler(handler);
        smtp.SetUseTLS(mode);
        smtp.SetPort(server.Port());
        return handler;
    }
    // Ends the client and the script; the bytes the client sent.
    std::string Finish() {
        if (smtp.IOHandler() != nullptr) smtp.IOHandler()->Close();
        server.Join();
        return server.Received();
    }

    TScriptedSmtpServer server;
    TIdSMTP smtp;
};

}  // namespace

// ---------------------------------------------------------------- session

TEST(IdSMTPSession, EhloFillsExtensionsAndQuitEndsTheSession) {
    Session s(Concat({Greeted({"PIPELINING", "SIZE 1000", "AUTH LOGIN"}), kQuit}));
    s.smtp.Connect();
    EXPECT_EQ(s.smtp.ServiceExtensions().Lines(), (std::vector<std::string>{"PIPELINING", "SIZE 1000", "AUTH LOGIN"}));
    EXPECT_EQ(s.smtp.LastCmdResult().Code(), "250");
    s.smtp.Disconnect();
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.Finish(), "EHLO Telvara\r\nQUIT\r\n");
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPSession, EhloRefusedFallsBackToHeloWithNoExtensions) {
    Session s({"S: 220 old.test", "C: EHLO Telvara", "S: 502 5.5.1 what?", "C: HELO Telvara", "S: 250 old.test"});
    s.smtp.ServiceExtensions().Add("stale");
    s.smtp.Connect();
    EXPECT_TRUE(s.smtp.ServiceExtensions().Empty());
    EXPECT_EQ(s.smtp.LastCmdResult().Text().Lines(), std::vector<std::string>{"old.test"});
    EXPECT_FALSE(s.smtp.SupportsTLS());
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty());
}

TEST(IdSMTPSession, HeloOnlyWhenEhloIsOff) {
    Session s({"S: 220 mx", "C: HELO Telvara", "S: 250 mx"});
    s.smtp.SetUseEhlo(false);
    s.smtp.Connect();
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty());
}

TEST(IdSMTPSession, EmptyHeloNameGreetsWithTheLocalHostName) {
    TIdSMTP probe;  // keeps the socket stack alive for its host name
    ASSERT_NE(TIdStack::Instance(), nullptr);
    const std::string host = TIdStack::Instance()->HostName();
    ASSERT_FALSE(host.empty());
    Session s({"S: 220 mx", "C: EHLO " + host, "S: 250 mx"});
    s.smtp.SetHeloName("");
    s.smtp.Connect();
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty());
}

TEST(IdSMTPSession, ExtensionsAreMatchedAsWholeLinesIgnoringCase) {
    const struct {
        std::vector<std::string> extensions;
        bool tls;
    } cases[] = {
        {{"starttls"}, true},
        {{"SIZE 10", "StartTLS"}, true},
        {{"STARTTLS X"}, false},
        {{"XSTARTTLS"}, false},
        {{}, false},
    };
    for (const auto& c : cases) {
        Session s(Greeted(c.extensions));
        s.smtp.Connect();
        EXPECT_EQ(s.smtp.SupportsTLS(), c.tls) << ::testing::PrintToString(c.extensions);
        s.Finish();
    }
}

TEST(IdSMTPSession, ExtensionLinesLoseALeadingEnhancedCode) {
    Session s({"S: 220 mx", "C: EHLO Telvara", "S: 250-2.0.0 mx", "S: 250-2.0.0 STARTTLS", "S: 250 2.0.0 PIPELINING"});
    s.smtp.Connect();
    EXPECT_EQ(s.smtp.ServiceExtensions().Lines(), (std::vector<std::string>{"STARTTLS", "PIPELINING"}));
    s.Finish();
}

TEST(IdSMTPSession, GreetingOtherThan220SendsQuitAndCloses) {
    Session s(Concat({{"S: 554 5.3.2 no service here"}, kQuit}));
    EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Connect(); }), "554|5.3.2|no service here\r\n");
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.Finish(), "QUIT\r\n");
    EXPECT_TRUE(s.server.Failures().empty());
}

TEST(IdSMTPSession, HeloRefusedSendsQuitAndCloses) {
    Session s(Concat({{"S: 220 mx", "C: HELO Telvara", "S: 550 go away"}, kQuit}));
    s.smtp.SetUseEhlo(false);
    EXPECT_EQ(MessageOf<EIdSMTPReplyError>([&] { s.smtp.Connect(); }), "go away\r\n");
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.Finish(), "HELO Telvara\r\nQUIT\r\n");
}

TEST(IdSMTPSession, FailingQuitReplacesTheOriginalFailure) {
    {
        // The server drops the line on QUIT: the close is what the caller sees.
        Session s({"S: 554 busy", "C: QUIT", "CLOSE"});
        EXPECT_EQ(MessageOf<EIdConnClosedGracefully>([&] { s.smtp.Connect(); }), "Connection Closed Gracefully.");
        EXPECT_FALSE(s.smtp.Connected());
        s.Finish();
    }
    // The server never answers QUIT: the read time-out is what the caller sees.
    Session s({"S: 554 busy", "C: QUIT", "SILENT"}, 300);
    EXPECT_EQ(MessageOf<EIdReadTimeout>([&] { s.smtp.Connect(); }), "Read Timeout");
    EXPECT_FALSE(s.smtp.Connected());
    s.Finish();
}

TEST(IdSMTPSession, DisconnectWithoutNotifyingThePeerSendsNoQuit) {
    Session s(Greeted({}));
    s.smtp.Connect();
    s.smtp.Disconnect(false);
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.Finish(), "EHLO Telvara\r\n");
    EXPECT_TRUE(s.server.Failures().empty());
}

TEST(IdSMTPSession, ConnectWhileConnectedIsRefused) {
    Session s(Greeted({}));
    s.smtp.Connect();
    EXPECT_EQ(MessageOf<EIdAlreadyConnected>([&] { s.smtp.Connect(); }), "Already connected.");
    s.Finish();
}

TEST(IdSMTPSession, ExpandAndVerify) {
    Session s(Concat({Greeted({}),
                      {"C: EXPN staff", "S: 251-Ann <ann@x>", "S: 251 Bob <bob@x>", "C: VRFY bob",
                       "S: 250 2.1.5 Bob <bob@x>", "C: VRFY who", "S: 252 2.1.5 cannot verify"}}));
    s.smtp.Connect();
    s.smtp.Expand("staff");
    EXPECT_EQ(s.smtp.LastCmdResult().Text().Lines(), (std::vector<std::string>{"Ann <ann@x>", "Bob <bob@x>"}));
    EXPECT_EQ(s.smtp.Verify("bob"), "Bob <bob@x>");
    EXPECT_EQ(MessageOf<EIdSMTPReplyError>([&] { s.smtp.Verify("who"); }), "cannot verify\r\n");
    s.Finish();
}

TEST(IdSMTPSession, CommandsWithoutHandlerRaiseNotConnected) {
    TIdSMTP smtp;
    EXPECT_EQ(MessageOf<EIdNotConnected>([&] { smtp.Expand("x"); }), "Not connected.");
}

// ------------------------------------------------------ property setters

namespace {

struct SetterState {
    int32_t port;
    TIdUseTLS useTLS;
    bool useEhlo;
    bool pipeLine;
    TIdSMTPAuthenticationType authType;
};

SetterState StateOf(const TIdSMTP& smtp) {
    return {smtp.Port(), smtp.UseTLS(), smtp.UseEhlo(), smtp.PipeLine(), smtp.AuthType()};
}

std::string Show(const SetterState& s) {
    return "port " + std::to_string(s.port) + ", UseTLS " + std::to_string(s.useTLS) + ", UseEhlo " +
           std::to_string(s.useEhlo) + ", PipeLine " + std::to_string(s.pipeLine) + ", AuthType " +
           std::to_string(s.authType);
}

void AttachTLS(TIdSMTP& smtp) { smtp.SetIOHandler(new TIdSSLIOHandlerSocketOpenSSL(&smtp)); }

}  // namespace

TEST(IdSMTPSetters, Defaults) {
    TIdSMTP smtp;
    EXPECT_EQ(Show(StateOf(smtp)), Show({25, utNoTLSSupport, true, true, atDefault}));
    EXPECT_EQ(smtp.RegularPort(), 25);
    EXPECT_EQ(smtp.ImplicitTLSPort(), 465);
    EXPECT_FALSE(smtp.Authenticated());
    EXPECT_EQ(smtp.SASLMechanisms().Count(), 0);
}

TEST(IdSMTPSetters, SideEffectsTable) {
    const struct {
        const char* what;
        std::function<void(TIdSMTP&)> steps;
        SetterState expected;
    } cases[] = {
        {"implicit TLS moves port 25 to 465", [](TIdSMTP& c) { AttachTLS(c); c.SetUseTLS(utUseImplicitTLS); },
         {465, utUseImplicitTLS, true, true, atDefault}},
        {"leaving implicit TLS moves 465 back to 25",
         [](TIdSMTP& c) { AttachTLS(c); c.SetUseTLS(utUseImplicitTLS); c.SetUseTLS(utUseExplicitTLS); },
         {25, utUseExplicitTLS, true, true, atDefault}},
        {"other ports stay", [](TIdSMTP& c) { AttachTLS(c); c.SetPort(587); c.SetUseTLS(utUseImplicitTLS); },
         {587, utUseImplicitTLS, true, true, atDefault}},
        {"465 stays when the mode does not change",
         [](TIdSMTP& c) { AttachTLS(c); c.SetPort(465); c.SetUseTLS(utNoTLSSupport); },
         {465, utNoTLSSupport, true, true, atDefault}},
        {"STARTTLS modes turn EHLO on",
         [](TIdSMTP& c) { AttachTLS(c); c.SetUseEhlo(false); c.SetUseTLS(utUseRequireTLS); },
         {25, utUseRequireTLS, true, true, atDefault}},
        {"EHLO off leaves a STARTTLS mode, drops pipelining and resets AuthType, port untouched",
         [](TIdSMTP& c) {
             AttachTLS(c);
             c.SetUseTLS(utUseExplicitTLS);
             c.SetPort(465);
             c.SetAuthType(atSASL);
             c.SetUseEhlo(false);
         },
         {465, utNoTLSSupport, false, false, atDefault}},
        {"EHLO off without a STARTTLS mode keeps pipelining",
         [](TIdSMTP& c) { c.SetAuthType(atNone); c.SetUseEhlo(false); }, {25, utNoTLSSupport, false, true, atDefault}},
        {"EHLO off keeps implicit TLS",
         [](TIdSMTP& c) { AttachTLS(c); c.SetUseTLS(utUseImplicitTLS); c.SetUseEhlo(false); },
         {465, utUseImplicitTLS, false, true, atDefault}},
        {"pipelining turns EHLO on",
         [](TIdSMTP& c) { c.SetUseEhlo(false); c.SetPipeLine(false); c.SetPipeLine(true); },
         {25, utNoTLSSupport, true, true, atDefault}},
        {"pipelining off keeps EHLO", [](TIdSMTP& c) { c.SetPipeLine(false); },
         {25, utNoTLSSupport, true, false, atDefault}},
        {"a plain handler ends the TLS mode (through the setter: 465 back to 25)",
         [](TIdSMTP& c) {
             AttachTLS(c);
             c.SetUseTLS(utUseImplicitTLS);
             c.SetIOHandler(new TIdIOHandlerStack(&c));
         },
         {25, utNoTLSSupport, true, true, atDefault}},
        {"a TLS handler keeps the mode",
         [](TIdSMTP& c) {
             AttachTLS(c);
             c.SetUseTLS(utUseExplicitTLS);
             AttachTLS(c);
         },
         {25, utUseExplicitTLS, true, true, atDefault}},
        {"AuthType is a plain store", [](TIdSMTP& c) { c.SetAuthType(atSASL); },
         {25, utNoTLSSupport, true, true, atSASL}},
    };
    for (const auto& c : cases) {
        TIdSMTP smtp;
        c.steps(smtp);
        EXPECT_EQ(Show(StateOf(smtp)), Show(c.expected)) << c.what;
    }
}

TEST(IdSMTPSetters, TLSModesNeedATLSHandler) {
    TIdSMTP smtp;
    for (TIdUseTLS mode : {utUseImplicitTLS, utUseRequireTLS, utUseExplicitTLS})
        EXPECT_EQ(MessageOf<EIdTLSClientSSLIOHandlerRequred>([&] { smtp.SetUseTLS(mode); }),
                  "SSL IOHandler is required for this setting");
    smtp.SetIOHandler(new TIdIOHandlerStack(&smtp));
    EXPECT_THROW(smtp.SetUseTLS(utUseExplicitTLS), EIdTLSClientSSLIOHandlerRequred);
    smtp.SetUseTLS(utNoTLSSupport);
    EXPECT_EQ(smtp.UseTLS(), utNoTLSSupport);
}

TEST(IdSMTPSetters, LoadingStoresTheModeAndLoadedFallsBack) {
    TIdSMTP smtp;
    smtp.BeginLoading();
    smtp.SetUseTLS(utUseExplicitTLS);
    EXPECT_EQ(smtp.UseTLS(), utUseExplicitTLS);
    smtp.Loaded();
    EXPECT_EQ(smtp.UseTLS(), utNoTLSSupport);
}

TEST(IdSMTPSetters, UseTLSCannotChangeWhileConnected) {
    Session s(Greeted({}));
    AttachTLS(s.smtp);
    s.smtp.Connect();
    EXPECT_EQ(MessageOf<EIdTLSClientCanNotSetWhileConnected>([&] { s.smtp.SetUseTLS(utNoTLSSupport); }),
              "This value can not be set while the client is connected.");
    s.Finish();
}

TEST(IdSMTPSetters, CopyFromAnotherClient) {
    TIdSMTP source;
    AttachTLS(source);
    source.SetAuthType(atSASL);
    source.SetHeloName("helo");
    source.SetUseTLS(utUseImplicitTLS);
    source.SetHost("mail.test");
    source.SetMailAgent("agent");
    source.SetPort(2465);
    source.SetTag(7);
    source.SetUsername("u");
    source.SetPassword("p");
    int calls = 0;
    source.SetOnTLSNotAvailable([&](TComponent*, bool&) { ++calls; });
    source.SetOnTLSHandshakeFailure([&](TComponent*, bool&) { calls += 10; });

    TIdSMTP copy;
    AttachTLS(copy);
    copy.Assign(source);
    EXPECT_EQ(copy.AuthType(), atSASL);
    EXPECT_EQ(copy.HeloName(), "helo");
    EXPECT_EQ(copy.UseTLS(), utUseImplicitTLS);
    EXPECT_EQ(copy.Host(), "mail.test");
    EXPECT_EQ(copy.MailAgent(), "agent");
    EXPECT_EQ(copy.Port(), 2465);
    EXPECT_EQ(copy.Tag(), 7);
    EXPECT_EQ(copy.Username(), "u");
    EXPECT_EQ(copy.Password(), "p");
    bool flag = true;
    copy.OnTLSNotAvailable()(&copy, flag);
    copy.OnTLSHandshakeFailure()(&copy, flag);
    EXPECT_EQ(calls, 11);

    // UseEhlo goes through its setter: false resets AuthType.
    source.SetUseEhlo(false);
    source.SetAuthType(atSASL);
    copy.Assign(source);
    EXPECT_FALSE(copy.UseEhlo());
    EXPECT_EQ(copy.AuthType(), atDefault);
}

// ---------------------------------------------------------------- TLS modes

namespace {

const TScript kLogin{"C: AUTH LOGIN",        "S: 334 VXNlcm5hbWU6",    "C: dGlt",
                     "S: 334 UGFzc3dvcmQ6", "C: " + B64("secret"), "S: 235 2.7.0 Authentication successful"};

}  // namespace

TEST(IdSMTPTLS, RequiredStartTlsUpgradesReadsExtensionsAgainAndLogsInOverTLS) {
    Session s(Concat({Greeted({"STARTTLS"}),
                      {"C: STARTTLS", "S: 220 2.0.0 go ahead", "TLS", "C: EHLO Telvara", "S: 250-mx.test",
                       "S: 250 AUTH LOGIN"},
                      kLogin, kQuit}));
    auto* tls = s.UseTLSHandler(utUseRequireTLS);
    s.smtp.Connect();
    EXPECT_TRUE(tls->BypassTLS());
    EXPECT_TRUE(s.smtp.Authenticate());
    EXPECT_FALSE(tls->BypassTLS());
    EXPECT_EQ(s.smtp.ServiceExtensions().Lines(), std::vector<std::string>{"AUTH LOGIN"});
    EXPECT_TRUE(s.smtp.Authenticated());
    s.smtp.Authenticate();  // neither STARTTLS nor AUTH LOGIN again
    s.smtp.Disconnect();
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPTLS, ImplicitTlsHandshakesBeforeTheGreetingAndNeverSendsStartTls) {
    Session s(Concat({{"TLS"}, Greeted({"STARTTLS"}), kQuit}));
    auto* tls = s.UseTLSHandler(utUseImplicitTLS);
    s.smtp.SetAuthType(atNone);
    s.smtp.Connect();
    EXPECT_FALSE(tls->BypassTLS());
    s.smtp.Authenticate();
    s.smtp.Disconnect();
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPTLS, NoTlsModeStaysInClearEvenWhenOffered) {
    Session s(Concat({Greeted({"STARTTLS", "AUTH LOGIN"}), kLogin}));
    auto* tls = s.UseTLSHandler(utNoTLSSupport);
    s.smtp.Connect();
    EXPECT_TRUE(tls->BypassTLS());
    s.smtp.Authenticate();
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPTLS, RequiredButNotOfferedFailsWithQuitInClear) {
    Session s(Concat({Greeted({"AUTH LOGIN"}), kQuit}));
    s.UseTLSHandler(utUseRequireTLS);
    bool asked = false;
    s.smtp.SetOnTLSNotAvailable([&](TComponent*, bool&) { asked = true; });
    s.smtp.Connect();
    EXPECT_EQ(MessageOf<EIdTLSClientTLSNotAvailable>([&] { s.smtp.Authenticate(); }),
              "Start SSL negotiation command failed.");
    EXPECT_FALSE(asked);
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_FALSE(s.smtp.Authenticated());
    EXPECT_EQ(s.Finish(), "EHLO Telvara\r\nQUIT\r\n");
}

TEST(IdSMTPTLS, ExplicitNotOfferedGoesOnInClearUnlessTheHandlerRefuses) {
    {
        Session s(Concat({Greeted({"AUTH LOGIN"}), kLogin}));
        s.UseTLSHandler(utUseExplicitTLS);
        s.smtp.Connect();
        s.smtp.Authenticate();
        s.Finish();
        EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
    }
    {
        Session s(Concat({Greeted({"AUTH LOGIN"}), kLogin}));
        s.UseTLSHandler(utUseExplicitTLS);
        bool preset = false;
        s.smtp.SetOnTLSNotAvailable([&](TComponent*, bool& go) { preset = go; });
        s.smtp.Connect();
        s.smtp.Authenticate();
        EXPECT_TRUE(preset);
        s.Finish();
    }
    Session s(Concat({Greeted({"AUTH LOGIN"}), kQuit}));
    s.UseTLSHandler(utUseExplicitTLS);
    s.smtp.SetOnTLSNotAvailable([](TComponent*, bool& go) { go = false; });
    s.smtp.Connect();
    EXPECT_THROW(s.smtp.Authenticate(), EIdTLSClientTLSNotAvailable);
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.Finish(), "EHLO Telvara\r\nQUIT\r\n");
}

TEST(IdSMTPTLS, StartTlsRefusedRaisesTheReplyAndQuitsInClear) {
    Session s(Concat({Greeted({"STARTTLS"}), {"C: STARTTLS", "S: 454 4.7.0 TLS not available due to temporary reason"},
                      kQuit}));
    auto* tls = s.UseTLSHandler(utUseExplicitTLS);
    s.smtp.Connect();
    EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Authenticate(); }), "454|4.7.0|TLS not available due to temporary reason\r\n");
    EXPECT_TRUE(tls->BypassTLS());
    EXPECT_FALSE(s.smtp.Connected());
    EXPECT_EQ(s.Finish(), "EHLO Telvara\r\nSTARTTLS\r\nQUIT\r\n");
}

TEST(IdSMTPTLS, FailedHandshakeAfter220IsAHandshakeFailureWithQuitInClear) {
    // The pause keeps the bogus bytes out of the reply read before the
    // handshake; five bytes are one bogus record header, all the TLS layer
    // reads before it gives up, so the QUIT reply comes next.
    const TScript answered{"C: STARTTLS", "S: 220 go ahead", "PAUSE: 200", "RAW: HELLO", "SKIP UNTIL: QUIT",
                           "S: 221 bye"};
    // A peer that hangs up instead: the handshake sees the close, so no QUIT.
    const TScript closed{"C: STARTTLS", "S: 220 go ahead", "CLOSE"};
    // One that hangs up on the QUIT: its failure must not hide the handshake's.
    const TScript quitUnanswered{"C: STARTTLS", "S: 220 go ahead", "PAUSE: 200", "RAW: HELLO", "SKIP UNTIL: QUIT",
                                 "CLOSE"};
    for (const TScript& after : {answered, closed, quitUnanswered})
    for (TIdUseTLS mode : {utUseRequireTLS, utUseExplicitTLS}) {
        Session s(Concat({Greeted({"STARTTLS"}), after}));
        auto* tls = s.UseTLSHandler(mode);
        int asked = 0;
        s.smtp.SetOnTLSHandshakeFailure([&](TComponent*, bool& go) {
            ++asked;
            EXPECT_FALSE(go);
        });
        s.smtp.Connect();
        EXPECT_EQ(MessageOf<EIdTLSClientTLSHandShakeFailed>([&] { s.smtp.Authenticate(); }),
                  "SSL is not available on this server.");
        EXPECT_EQ(asked, mode == utUseExplicitTLS ? 1 : 0);
        EXPECT_TRUE(tls->BypassTLS());
        EXPECT_FALSE(s.smtp.Connected());
        s.Finish();
        EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
    }
}

TEST(IdSMTPTLS, ImplicitTlsAgainstAClearServerFailsTheConnect) {
    Session s({"S: 220 plain text server"});
    s.UseTLSHandler(utUseImplicitTLS);
    EXPECT_EQ(MessageOf<EIdOSSLConnectError>([&] { s.smtp.Connect(); }), "Error connecting with SSL.");
    EXPECT_FALSE(s.smtp.Connected());
    s.Finish();
}

// ------------------------------------------------------------- AUTH LOGIN

TEST(IdSMTPAuthLogin, LogsInOncePerConnection) {
    Session s(Concat({Greeted({"AUTH PLAIN LOGIN"}), kLogin, kQuit}));
    s.smtp.Connect();
    EXPECT_TRUE(s.smtp.Authenticate());
    EXPECT_TRUE(s.smtp.Authenticated());
    s.smtp.Authenticate();
    s.smtp.SetAuthType(atDefault);
    s.smtp.Authenticate();
    s.smtp.Disconnect();
    EXPECT_FALSE(s.smtp.Authenticated());
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPAuthLogin, NothingIsSentWhenLoginIsNotPossible) {
    const struct {
        const char* what;
        TScript greeting;
        std::string user;
        TIdSMTPAuthenticationType authType;
    } cases[] = {
        {"LOGIN not offered", Greeted({"AUTH PLAIN CRAM-MD5"}), "tim", atDefault},
        {"empty user name", Greeted({"AUTH LOGIN"}), "", atDefault},
        {"HELO server", {"S: 220 mx", "C: EHLO Telvara", "S: 500 no", "C: HELO Telvara", "S: 250 mx"}, "tim", atDefault},
        {"AUTHX is no AUTH line", Greeted({"AUTHX LOGIN"}), "tim", atDefault},
        {"atNone", Greeted({"AUTH LOGIN"}), "tim", atNone},
    };
    for (const auto& c : cases) {
        Session s(c.greeting);
        s.smtp.SetUsername(c.user);
        s.smtp.SetAuthType(c.authType);
        s.smtp.Connect();
        EXPECT_TRUE(s.smtp.Authenticate()) << c.what;
        EXPECT_TRUE(s.smtp.Authenticated()) << c.what;
        s.Finish();
        EXPECT_TRUE(s.server.Failures().empty()) << c.what;
    }
}

TEST(IdSMTPAuthLogin, LowerCaseEqualsFormCountsAsOffered) {
    Session s(Concat({Greeted({"auth=login"}), kLogin}));
    s.smtp.Connect();
    s.smtp.Authenticate();
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPAuthLogin, RefusedPasswordRaisesTheServerTextAndKeepsTheConnection) {
    TScript rows = Concat({Greeted({"AUTH LOGIN"}), kLogin});
    rows.back() = "S: 535 5.7.8 Authentication credentials invalid";
    Session s(rows);
    s.smtp.Connect();
    EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Authenticate(); }), "535|5.7.8|Authentication credentials invalid\r\n");
    EXPECT_FALSE(s.smtp.Authenticated());
    EXPECT_TRUE(s.smtp.Connected());
    s.Finish();
}

TEST(IdSMTPAuthLogin, UserNameRefusedStopsBeforeThePassword) {
    Session s(Concat({Greeted({"AUTH LOGIN"}), {"C: AUTH LOGIN", "S: 334 VXNlcm5hbWU6", "C: dGlt", "S: 501 bad"}}));
    s.smtp.Connect();
    EXPECT_EQ(MessageOf<EIdSMTPReplyError>([&] { s.smtp.Authenticate(); }), "bad\r\n");
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty());
}

// ------------------------------------------------------------ transaction

namespace {

std::unique_ptr<TIdMessage> Message(const std::string& from, const std::string& to, const std::string& cc = "",
                                    const std::string& bcc = "") {
    auto message = std::make_unique<TIdMessage>();
    message->From().SetText(from);
    message->Recipients().SetEMailAddresses(to);
    message->CCList().SetEMailAddresses(cc);
    message->BccList().SetEMailAddresses(bcc);
    message->SetSubject("Prova");
    message->Body().Add("Hello");
    message->Body().Add(".hidden");
    return message;
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

TEST(IdSMTPSend, PipelinedBatchLeavesInOneWrite) {
    Session s(Concat({Greeted({"PIPELINING"}),
                      {"C: RSET", "C: MAIL FROM:<a@x.test>", "C: RCPT TO:<b@y.test>", "C: RCPT TO:<c@z.test>",
                       "C: DATA", "S: 250 2.0.0 flushed", "S: 250 2.1.0 ok", "S: 250 2.1.5 ok",
                       "S: 251 2.1.5 will forward", "S: 354 go ahead", "DATA", "S: 250 2.0.0 queued"}}));
    s.smtp.SetMailAgent("TelVara");
    s.smtp.Connect();
    auto message = Message("Ann <a@x.test>", "Bob <b@y.test>", "c@z.test");
    s.smtp.Send(*message);
    EXPECT_EQ(s.smtp.LastCmdResult().Text().Lines(), std::vector<std::string>{"queued"});
    EXPECT_EQ(message->ExtraHeaders().Values("X-Mailer"), "TelVara");  // stays in the message
    s.Finish();
    ASSERT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
    EXPECT_TRUE(Contains(s.server.Reads(), Lines({"RSET", "MAIL FROM:<a@x.test>", "RCPT TO:<b@y.test>",
                                                   "RCPT TO:<c@z.test>", "DATA"})))
        << ::testing::PrintToString(s.server.Reads());
    ASSERT_EQ(s.server.Messages().size(), 1u);
    const std::string text = s.server.Messages()[0];
    EXPECT_NE(text.find("X-Mailer: TelVara\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nHello\r\n..hidden\r\n"), std::string::npos) << text;
}

TEST(IdSMTPSend, RefusedRecipientNeverCompletesTheData) {
    const TScript refusedInBatch{"C: RSET",          "C: MAIL FROM:<a@x.test>", "C: RCPT TO:<b@y.test>",
                                 "C: RCPT TO:<c@z.test>", "C: DATA",        "S: 250 ok",
                                 "S: 250 ok",        "S: 550 5.1.1 no such user", "S: 250 ok",
                                 "S: 354 go ahead"};
    const TScript refusedAlone{"C: RSET", "S: 250 ok", "C: MAIL FROM:<a@x.test>", "S: 250 ok",
                               "C: RCPT TO:<b@y.test>", "S: 550 5.1.1 no such user"};
    const struct {
        const char* what;
        bool pipeline;
        TScript transaction;
        bool connectedAfter;
    } cases[] = {
        // After the 354 only a dropped connection makes the server discard it.
        {"pipelined", true, refusedInBatch, false},
        {"one at a time", false, refusedAlone, true},
    };
    for (const auto& c : cases) {
        Session s(Concat({Greeted({"PIPELINING"}), c.transaction}));
        s.smtp.SetPipeLine(c.pipeline);
        s.smtp.Connect();
        auto message = Message("a@x.test", "b@y.test, c@z.test");
        EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Send(*message); }), "550|5.1.1|no such user\r\n") << c.what;
        EXPECT_EQ(s.smtp.Connected(), c.connectedAfter) << c.what;
        const std::string sent = s.Finish();
        EXPECT_TRUE(s.server.Failures().empty()) << c.what << ": " << s.server.Failures()[0];
        EXPECT_TRUE(s.server.Messages().empty()) << c.what;
        EXPECT_EQ(sent.find("\r\n.\r\n"), std::string::npos) << c.what << ": " << sent;
        EXPECT_EQ(sent.find("Subject"), std::string::npos) << c.what << ": " << sent;
        if (!c.pipeline) {
            EXPECT_EQ(sent.find("DATA"), std::string::npos) << c.what;
        }
    }
}

TEST(IdSMTPSend, DotLineInsideABodyLineCannotEndTheData) {
    Session s(Concat({Greeted({}), {"C: RSET", "S: 250 ok", "C: MAIL FROM:<a@x.test>", "S: 250 ok",
                                    "C: RCPT TO:<b@y.test>", "S: 250 ok", "C: DATA", "S: 354 go", "DATA",
                                    "S: 250 queued"}}));
    s.smtp.Connect();
    auto message = Message("a@x.test", "b@y.test");
    message->Body().Add("x\r\n.\r\nRSET\nlone\rend");
    s.smtp.Send(*message);
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
    ASSERT_EQ(s.server.Messages().size(), 1u);
    EXPECT_NE(s.server.Messages()[0].find("\r\nx\r\n..\r\nRSET\r\nlone\r\nend\r\n"), std::string::npos)
        << s.server.Messages()[0];
}

TEST(IdSMTPSend, PipelinedRefusedSenderAndDataSendNoDot) {
    Session s(Concat({Greeted({"PIPELINING"}),
                      {"C: RSET", "C: MAIL FROM:<a@x.test>", "C: RCPT TO:<b@y.test>", "C: DATA", "S: 250 ok",
                       "S: 553 5.1.8 sender refused", "S: 554 5.5.1 no valid recipients",
                       "S: 503 5.5.1 no valid recipients"}}));
    s.smtp.Connect();
    auto message = Message("a@x.test", "b@y.test");
    EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Send(*message); }), "553|5.1.8|sender refused\r\n");
    EXPECT_EQ(s.smtp.LastCmdResult().Code(), "503");
    const std::string sent = s.Finish();
    EXPECT_EQ(sent.substr(sent.size() - 6), "DATA\r\n");  // no "." after it
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPSend, SequentialAccepts251AndRefusesDataAnswered250) {
    Session s(Concat({Greeted({}), {"C: RSET", "S: 250 ok", "C: MAIL FROM:<a@x.test>", "S: 250 ok",
                                    "C: RCPT TO:<b@y.test>", "S: 251 2.1.5 will forward", "C: DATA",
                                    "S: 250 2.0.0 why not"}}));
    s.smtp.Connect();
    auto message = Message("a@x.test", "b@y.test");
    EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Send(*message); }), "250|2.0.0|why not\r\n");
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPSend, EnvelopeCases) {
    const struct {
        const char* what;
        std::string from, to, cc, bcc;
        TScript envelope;
    } cases[] = {
        {"CC only", "a@x.test", "", "Carl <c@z.test>", "", {"C: MAIL FROM:<a@x.test>", "C: RCPT TO:<c@z.test>"}},
        {"same address three times",
         "a@x.test",
         "b@y.test",
         "b@y.test",
         "b@y.test",
         {"C: MAIL FROM:<a@x.test>", "C: RCPT TO:<b@y.test>", "C: RCPT TO:<b@y.test>", "C: RCPT TO:<b@y.test>"}},
        {"empty From", "", "b@y.test", "", "", {"C: MAIL FROM:<>", "C: RCPT TO:<b@y.test>"}},
        {"To, CC and BCC in order",
         "a@x.test",
         "t1@y.test, t2@y.test",
         "c@z.test",
         "d@w.test",
         {"C: MAIL FROM:<a@x.test>", "C: RCPT TO:<t1@y.test>", "C: RCPT TO:<t2@y.test>", "C: RCPT TO:<c@z.test>",
          "C: RCPT TO:<d@w.test>"}},
    };
    for (const auto& c : cases) {
        // A HELO server: one command at a time, each answered before the next.
        TScript rows{"S: 220 mx", "C: EHLO Telvara", "S: 502 no", "C: HELO Telvara", "S: 250 mx", "C: RSET",
                     "S: 250 ok"};
        for (const std::string& row : c.envelope) rows.insert(rows.end(), {row, "S: 250 ok"});
        rows.insert(rows.end(), {"C: DATA", "S: 354 go", "DATA", "S: 250 queued"});
        Session s(rows);
        s.smtp.Connect();
        s.smtp.Send(*Message(c.from, c.to, c.cc, c.bcc));
        s.Finish();
        EXPECT_TRUE(s.server.Failures().empty()) << c.what << ": " << s.server.Failures()[0];
        for (const std::string& read : s.server.Reads()) {
            if (read.find("RCPT") != std::string::npos || read.find("MAIL") != std::string::npos) {
                EXPECT_EQ(std::count(read.begin(), read.end(), '\n'), 1) << c.what << ": batched " << read;
            }
        }
    }
}

TEST(IdSMTPSend, PipeLineOffSendsOneCommandAtATime) {
    Session s(Concat({Greeted({"PIPELINING"}), {"C: RSET", "S: 250 ok", "C: MAIL FROM:<a@x.test>", "S: 250 ok",
                                                "C: RCPT TO:<b@y.test>", "S: 250 ok", "C: DATA", "S: 354 go",
                                                "DATA", "S: 250 queued"}}));
    s.smtp.SetPipeLine(false);
    s.smtp.Connect();
    s.smtp.Send(*Message("a@x.test", "b@y.test"));
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
}

TEST(IdSMTPSend, SecondSendStartsWithRsetAndDoesNotLogInAgain) {
    const TScript transaction{"C: RSET", "S: 250 ok", "C: MAIL FROM:<a@x.test>", "S: 250 ok", "C: RCPT TO:<b@y.test>",
                              "S: 250 ok", "C: DATA", "S: 354 go", "DATA", "S: 250 queued"};
    Session s(Concat({Greeted({"AUTH LOGIN"}), kLogin, transaction, transaction}));
    s.smtp.SetMailAgent("");
    s.smtp.Connect();
    auto message = Message("a@x.test", "b@y.test");
    message->ExtraHeaders().SetValues("X-Mailer", "old agent");
    s.smtp.Send(*message);
    EXPECT_EQ(message->ExtraHeaders().IndexOfName("X-Mailer"), -1);
    s.smtp.Send(*message);
    s.Finish();
    EXPECT_TRUE(s.server.Failures().empty()) << s.server.Failures()[0];
    ASSERT_EQ(s.server.Messages().size(), 2u);
    EXPECT_EQ(s.server.Messages()[0].find("X-Mailer"), std::string::npos);
}

TEST(IdSMTPSend, FailedLoginSendsNothingOfTheTransaction) {
    TScript rows = Concat({Greeted({"AUTH LOGIN"}), kLogin});
    rows.back() = "S: 535 5.7.8 no";
    Session s(rows);
    s.smtp.Connect();
    EXPECT_THROW(s.smtp.Send(*Message("a@x.test", "b@y.test")), EIdSMTPReplyError);
    const std::string sent = s.Finish();
    EXPECT_EQ(sent.find("RSET"), std::string::npos);
}

namespace {

// A writer that fails after the first line, like an attachment file that
// cannot be opened once the part's header lines are out.
class TFailingWriterSMTP : public TIdSMTP {
public:
    void WriteMessage(TIdMessage&, bool) override {
        IOHandler()->WriteLn("Subject: half a message");
        throw EFOpenError("Cannot open file /missing.pdf");
    }
};

}  // namespace

TEST(IdSMTPSend, WriterFailureAfterDataDropsTheConnectionWithoutEndingTheData) {
    TScriptedSmtpServer server(TScriptedSmtpServer::TSessions{
        {Concat({Greeted({"PIPELINING"}), {"C: RSET", "C: MAIL FROM:<a@x.test>", "C: RCPT TO:<b@y.test>", "C: DATA",
                                           "S: 250 ok", "S: 250 ok", "S: 250 ok", "S: 354 go", "DATA"}}),
         Greeted({})}});
    TFailingWriterSMTP smtp;
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(server.Port());
    smtp.SetHeloName("Telvara");
    smtp.SetReadTimeout(3000);
    smtp.Connect();
    EXPECT_EQ(MessageOf<EFOpenError>([&] { smtp.Send(*Message("a@x.test", "b@y.test")); }),
              "Cannot open file /missing.pdf");
    EXPECT_FALSE(smtp.Connected());
    smtp.Connect();  // the next connection test starts afresh
    smtp.Disconnect(false);
    server.Join();
    EXPECT_TRUE(server.Messages().empty());
    EXPECT_EQ(server.Failures(), std::vector<std::string>{"message text not ended by '.'"});
    EXPECT_EQ(server.Received().find("QUIT"), std::string::npos);
}

TEST(IdSMTPSend, ArgumentsWithLineBreaksOrNulAreRefusedBeforeAnythingIsSent) {
    const std::string nul("\0", 1);
    const struct {
        const char* what;
        std::function<void(TIdSMTP&, TIdMessage&)> spoil;
        std::string error;
    } cases[] = {
        {"sender CR LF", [](TIdSMTP&, TIdMessage& m) { m.From().SetAddress("a@x.test\r\nRCPT TO:<evil@x>"); },
         "Sender address contains CR, LF or NUL"},
        {"sender LF", [](TIdSMTP&, TIdMessage& m) { m.From().SetAddress("a@x.test\nQUIT"); },
         "Sender address contains CR, LF or NUL"},
        {"sender NUL", [&](TIdSMTP&, TIdMessage& m) { m.From().SetAddress("a@x.test" + nul); },
         "Sender address contains CR, LF or NUL"},
        {"recipient NUL", [&](TIdSMTP&, TIdMessage& m) { m.CCList().Add()->SetAddress("c" + nul + "d@z.test"); },
         "Recipient address contains CR, LF or NUL"},
        {"user name CR", [](TIdSMTP& smtp, TIdMessage&) { smtp.SetUsername("tim\rx"); },
         "User name contains CR, LF or NUL"},
        {"user name NUL", [&](TIdSMTP& smtp, TIdMessage&) { smtp.SetUsername("tim" + nul); },
         "User name contains CR, LF or NUL"},
    };
    for (const bool pipeline : {true, false}) {
        for (const auto& c : cases) {
            Session s(Concat({Greeted({"PIPELINING", "AUTH LOGIN"}), kQuit}));
            s.smtp.SetPipeLine(pipeline);
            s.smtp.Connect();
            auto message = Message("a@x.test", "b@y.test");
            c.spoil(s.smtp, *message);
            EXPECT_EQ(MessageOf<EIdSMTPInvalidArgument>([&] { s.smtp.Send(*message); }), c.error) << c.what;
            EXPECT_TRUE(s.smtp.Connected()) << c.what;
            s.smtp.Disconnect();
            EXPECT_EQ(s.Finish(), "EHLO Telvara\r\nQUIT\r\n") << c.what;
            EXPECT_TRUE(s.server.Failures().empty()) << c.what << ": " << s.server.Failures()[0];
        }
    }
}

TEST(IdSMTPSend, NoCommandLineCarriesALineBreakOrNul) {
    Session s(Concat({Greeted({}), kQuit}));
    s.smtp.Connect();
    const std::string lines[] = {"VRFY a\r\nRSET", "EXPN a\nb", std::string("VRFY a\0b", 8)};
    for (const std::string& line : lines)
        EXPECT_EQ(MessageOf<EIdSMTPInvalidArgument>([&] { s.smtp.SendCommand(line); }),
                  "Command contains CR, LF or NUL")
            << line;
    s.smtp.Disconnect();
    EXPECT_EQ(s.Finish(), "EHLO Telvara\r\nQUIT\r\n");
}

TEST(IdSMTPSession, HeloNameWithALineBreakIsRefusedBeforeConnecting) {
    TIdSMTP smtp;
    smtp.SetHost("127.0.0.1");
    smtp.SetPort(1);  // nothing listens: a connect attempt would fail differently
    smtp.SetConnectTimeout(3000);
    const std::string names[] = {"Telvara\r\nRSET", "Telvara\n", std::string("Tel\0vara", 8)};
    for (const std::string& name : names) {
        smtp.SetHeloName(name);
        EXPECT_EQ(MessageOf<EIdSMTPInvalidArgument>([&] { smtp.Connect(); }), "EHLO name contains CR, LF or NUL");
        EXPECT_FALSE(smtp.Connected());
    }
}

TEST(IdSMTPSend, WithoutConnectionRaisesNotConnected) {
    TIdSMTP smtp;
    smtp.ServiceExtensions().Add("PIPELINING");
    EXPECT_EQ(MessageOf<EIdNotConnected>([&] { smtp.Send(*Message("a@x.test", "b@y.test")); }), "Not connected.");
}

// ------------------------------------------------------------- bad input

TEST(IdSMTPBadInput, BrokenServersRaiseAndNothingHangs) {
    const struct {
        const char* what;
        TScript script;
        std::string message;
    } cases[] = {
        {"reply without a final line", {"S: 220-hello", "SILENT"}, "Read Timeout"},
        {"code that is not a number", {"S: abc hello", "C: QUIT", "S: 221 bye"}, "Reply Code is not valid: abc"},
        {"code out of range", {"S: 099 busy", "C: QUIT", "S: 221 bye"}, "Reply Code is not valid: 099"},
        {"closed in the middle of a reply", {"S: 220-hello", "CLOSE"}, "Connection Closed Gracefully."},
        {"closed mid line", {"RAW: 220 hel", "CLOSE"}, "Connection Closed Gracefully."},
        {"never answers", {"SILENT"}, "Read Timeout"},
        {"binary garbage", {"RAW: \x80\x81\x82 garbage\r\n", "C: QUIT", "S: 221 bye"},
         "Reply Code is not valid: \x80\x81\x82"},
        // Leading control bytes are trimmed; the fourth byte then continues the reply.
        {"control bytes", {"RAW: \x01\x02\xff\xfe garbage\r\n", "C: QUIT", "S: 221 bye"}, "Read Timeout"},
        {"EHLO reply never ends", {"S: 220 hi", "C: EHLO Telvara", "S: 250-mx", "SILENT"}, "Read Timeout"},
    };
    for (const auto& c : cases) {
        Session s(c.script, 300);
        std::string message = "no exception";
        try {
            s.smtp.Connect();
        } catch (const EIdException& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, c.message) << c.what;
        ASSERT_NE(s.smtp.IOHandler(), nullptr);
        EXPECT_FALSE(s.smtp.IOHandler()->IsOpen()) << c.what;
        s.Finish();
    }
}

TEST(IdSMTPBadInput, HundredThousandContinuationLinesAreReadWhole) {
    std::string reply = "250-mx\r\n";
    for (int i = 0; i < 100000; ++i) reply += "250-X" + std::to_string(i) + "\r\n";
    reply += "250 PIPELINING\r\n";
    Session s({"S: 220 mx", "C: EHLO Telvara", "RAW: " + reply});
    s.smtp.Connect();
    ASSERT_EQ(s.smtp.ServiceExtensions().Count(), 100001);
    EXPECT_EQ(s.smtp.ServiceExtensions()[100000], "PIPELINING");
    s.Finish();
}
