// The SMTP client against a real server: Debian's aiosmtpd, run by
// tests/support/aiosmtpd_server.py on a loopback port.
#include "message/IdMessage.h"
#include "net/IdSSLOpenSSL.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSASLCRAMMD5.h"
#include "smtp/IdSMTP.h"
#include "platform/CodePage.h"
#include "tests/support/AiosmtpdServer.h"
#include "tests/support/EmailCheck.h"
#include "tests/support/SmtpExpect.h"

#include <gtest/gtest.h>

namespace {

struct RealSession {
    explicit RealSession(const TAiosmtpdServer::TOptions& options, TIdUseTLS mode = utNoTLSSupport)
        : server(options) {
        if (mode != utNoTLSSupport) {
            auto* handler = new TIdSSLIOHandlerSocketOpenSSL(&smtp);
            handler->SSLOptions().SetMethod(sslvSSLv23);
            smtp.SetIOHandler(handler);
            smtp.SetUseTLS(mode);
        }
        smtp.SetHost("127.0.0.1");
        smtp.SetPort(server.Port());
        smtp.SetHeloName("Telvara");
        smtp.SetMailAgent("TelVara");
        smtp.SetConnectTimeout(3000);
        smtp.SetReadTimeout(3000);
        smtp.SetUsername("tim");
        smtp.SetPassword("tanstaaftanstaaf");
    }

    TAiosmtpdServer server;
    TIdSMTP smtp;
};

std::unique_ptr<TIdMessage> TestMessage() {
    auto message = std::make_unique<TIdMessage>();
    message->From().SetText("Tecnico <tecnico@sortello.test>");
    message->Recipients().SetEMailAddresses("Ufficio <ufficio@sortello.test>, altro@sortello.test");
    message->CCList().SetEMailAddresses("copia@sortello.test");
    message->SetSubject("Prova di invio");
    message->Body().Add("Messaggio di prova.");
    message->Body().Add(".riga con punto");
    return message;
}

void ExpectStoredTestMessage(const TAiosmtpdServer& server) {
    const auto stored = server.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].envelope,
              "tecnico@sortello.test\nufficio@sortello.test\naltro@sortello.test\ncopia@sortello.test\n");
    EXPECT_NE(stored[0].content.find("Subject: Prova di invio"), std::string::npos) << stored[0].content;
    EXPECT_NE(stored[0].content.find("X-Mailer: TelVara"), std::string::npos);
    // The dot added on the wire is gone again on arrival.
    EXPECT_NE(stored[0].content.find("\r\nMessaggio di prova.\r\n.riga con punto\r\n"), std::string::npos)
        << stored[0].content;
}

}  // namespace

TEST(SmtpRealServer, ConnectsInClearAndSendsSequentially) {
    SKIP_WITHOUT_AIOSMTPD();
    RealSession s({});
    s.smtp.SetAuthType(atNone);
    s.smtp.Connect();
    EXPECT_EQ(s.smtp.LastCmdResult().Code(), "250");
    EXPECT_GE(s.smtp.ServiceExtensions().IndexOf("8BITMIME"), 0);
    s.smtp.Send(*TestMessage());
    EXPECT_EQ(s.smtp.LastCmdResult().Code(), "250");
    s.smtp.Disconnect();
    ExpectStoredTestMessage(s.server);
}

TEST(SmtpRealServer, StartTlsReadsTheExtensionsAgainAndLogsIn) {
    SKIP_WITHOUT_AIOSMTPD();
    TAiosmtpdServer::TOptions options;
    options.starttls = true;
    options.authRequireTls = true;
    options.pipelining = true;
    RealSession s(options, utUseRequireTLS);
    s.smtp.Connect();
    EXPECT_GE(s.smtp.ServiceExtensions().IndexOf("STARTTLS"), 0);
    EXPECT_TRUE(TIdSASLEntries::ParseAuthMechanisms(s.smtp.ServiceExtensions(), "AUTH")->Empty());
    s.smtp.Send(*TestMessage());
    EXPECT_TRUE(s.smtp.Authenticated());
    EXPECT_EQ(s.smtp.ServiceExtensions().IndexOf("STARTTLS"), -1);
    EXPECT_GE(TIdSASLEntries::ParseAuthMechanisms(s.smtp.ServiceExtensions(), "AUTH")->IndexOf("LOGIN"), 0);
    s.smtp.Disconnect();
    ExpectStoredTestMessage(s.server);
}

TEST(SmtpRealServer, AuthLoginRefusedWithTheServerText) {
    SKIP_WITHOUT_AIOSMTPD();
    RealSession s({});
    s.smtp.SetPassword("wrong");
    s.smtp.Connect();
    EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Authenticate(); }), "535|5.7.8|Authentication credentials invalid\r\n");
    EXPECT_FALSE(s.smtp.Authenticated());
    EXPECT_TRUE(s.smtp.Connected());
}

TEST(SmtpRealServer, CramMd5AcceptedAndRefused) {
    SKIP_WITHOUT_AIOSMTPD();
    for (const std::string password : {"tanstaaftanstaaf", "wrong"}) {
        RealSession s({});
        TIdUserPassProvider provider;
        provider.SetUsername("tim");
        provider.SetPassword(password);
        TIdSASLCRAMMD5 cram;
        cram.SetUserPassProvider(&provider);
        s.smtp.SetAuthType(atSASL);
        s.smtp.SASLMechanisms().Add()->SetSASL(&cram);
        s.smtp.Connect();
        if (password == "wrong") {
            EXPECT_THROW(s.smtp.Authenticate(), EIdSMTPReplyError);
            EXPECT_EQ(s.smtp.LastCmdResult().Code(), "535");
            continue;
        }
        s.smtp.Authenticate();
        EXPECT_EQ(s.smtp.LastCmdResult().Code(), "235");
        s.smtp.Send(*TestMessage());
        s.smtp.Disconnect();
        ExpectStoredTestMessage(s.server);
    }
}

TEST(SmtpRealServer, ImplicitTlsWithPipeliningAndLogin) {
    SKIP_WITHOUT_AIOSMTPD();
    TAiosmtpdServer::TOptions options;
    options.implicitTls = true;
    options.pipelining = true;
    RealSession s(options, utUseImplicitTLS);
    s.smtp.SetPort(s.server.Port());
    s.smtp.Connect();
    EXPECT_GE(s.smtp.ServiceExtensions().IndexOf("PIPELINING"), 0);
    s.smtp.Send(*TestMessage());
    EXPECT_TRUE(s.smtp.Authenticated());
    s.smtp.Disconnect();
    ExpectStoredTestMessage(s.server);
}

TEST(SmtpRealServer, RefusedRecipientDeliversNothing) {
    SKIP_WITHOUT_AIOSMTPD();
    for (const bool pipelining : {true, false}) {
        TAiosmtpdServer::TOptions options;
        options.pipelining = pipelining;
        options.refuseRecipient = "altro@sortello.test";
        RealSession s(options);
        s.smtp.SetAuthType(atNone);
        s.smtp.SetPipeLine(pipelining);
        s.smtp.Connect();
        EXPECT_EQ(ReplyErrorOf([&] { s.smtp.Send(*TestMessage()); }),
                  "550|5.1.1|<altro@sortello.test>: Recipient address rejected\r\n")
            << "pipelining " << pipelining;
        s.smtp.Disconnect();
        EXPECT_TRUE(s.server.Stored().empty()) << "pipelining " << pipelining;
    }
}

// Line breaks of any kind inside a body line arrive as lines of their own,
// and a "." among them does not end the data.
TEST(SmtpRealServer, BodyLinesHoldingLineBreaksArriveWhole) {
    SKIP_WITHOUT_AIOSMTPD();
    RealSession s({});
    s.smtp.SetAuthType(atNone);
    s.smtp.Connect();
    auto message = TestMessage();
    message->Body().Clear();
    message->Body().Add("prima\r\n.\r\nQUIT\nlf\rcr");
    message->Body().Add("ultima");
    s.smtp.Send(*message);
    s.smtp.Disconnect();
    const auto stored = s.server.Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_NE(stored[0].content.find("\r\n\r\nprima\r\n.\r\nQUIT\r\nlf\r\ncr\r\nultima\r\n"), std::string::npos)
        << stored[0].content;
}
// What the window's technician types, with and without 8BITMIME at the
// server, read back from what the server stored by Python's email package.
TEST(SmtpRealServer, TypedTextArrivesAsTyped) {
    SKIP_WITHOUT_AIOSMTPD();
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    const struct {
        bool offered;
        bool pipelining;
        const char* body;
        const char* options;
        const char* transfer;
    } cases[] = {
        {true, false, "Perch\xE9 costa 5 \x80", "BODY=8BITMIME\n", "8bit"},
        {true, true, "Perch\xE9 costa 5 \x80", "BODY=8BITMIME\n", "8bit"},
        {false, false, "Perch\xE9 costa 5 \x80", "", "quoted-printable"},
        {false, true, "Perch\xE9 costa 5 \x80", "", "quoted-printable"},
        {true, false, "Solo ASCII", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.body) + (c.offered ? " 8BITMIME" : "") + (c.pipelining ? " PIPELINING" : ""));
        TAiosmtpdServer::TOptions options;
        options.eightBitMime = c.offered;
        options.pipelining = c.pipelining;
        RealSession s(options);
        s.smtp.SetAuthType(atNone);
        s.smtp.Connect();
        auto message = TestMessage();
        message->SetSubject("Ciao \x80\r\nX-Injected: 1");
        message->Body().Clear();
        message->Body().Add(c.body);
        s.smtp.Send(*message);
        s.smtp.Disconnect();
        const auto stored = s.server.Stored();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].mailOptions, c.options);
        const TEmailCheck check = CheckEmail(stored[0].content);
        EXPECT_EQ(check.defectCount, 0) << check.defects;
        EXPECT_EQ(check.HeaderCount("X-Injected"), 0);
        EXPECT_EQ(check.Header("Subject"), "Ciao \xE2\x82\xAC X-Injected: 1");
        EXPECT_EQ(check.Header("Content-Transfer-Encoding"), c.transfer);
        ASSERT_EQ(check.parts.size(), 1u);
        EXPECT_EQ(check.parts[0].content.substr(0, check.parts[0].content.find('\r')), AnsiToUtf8(c.body));
    }
}
