#include "net/IdTCPConnection.h"

#include <gtest/gtest.h>

#include "net/IdNetExceptions.h"
#include "net/IdReplyRFC.h"
#include "platform/Locale.h"
#include "smtp/IdReplySMTP.h"
#include "tests/support/LoopbackClient.h"
#include "tests/support/LoopbackServer.h"

namespace {

// A client whose replies are SMTP replies, as a protocol client installs them.
class TSMTPReplyClient : public TIdTCPClient {
protected:
    std::unique_ptr<TIdReply> CreateReply() const override { return std::make_unique<TIdReplySMTP>(); }
};

struct TScriptedClient {
    explicit TScriptedClient(TLoopbackServer& server, int readTimeoutMs = 2000) {
        client.SetHost("127.0.0.1");
        client.SetPort(server.Port());
        client.SetReadTimeout(readTimeoutMs);
        client.Connect();
    }
    TSMTPReplyClient client;
};

// Answers each client line with the next canned reply, then waits for the close.
TLoopbackServer::Script Answer(std::vector<std::string> replies) {
    return [replies](int fd) {
        std::string line;
        for (const std::string& reply : replies) {
            if (!TLoopbackServer::ReadLine(fd, line)) return;
            TLoopbackServer::SendAll(fd, reply);
        }
        TLoopbackServer::ReadAll(fd, 5000);
    };
}

}  // namespace

TEST(IdTCPConnectionCommands, SendCommandChecksTheAllowedCodes) {
    TLoopbackServer server(Answer({"550 5.1.1 no such user\r\n", "251 2.1.5 forwarded\r\n",
                                   "\r\n  \r\n250-first\r\n250 2.0.0 last\r\n", "354 go\r\n"}));
    TScriptedClient c(server);
    EXPECT_EQ(c.client.SendCommand("RCPT TO:<x@y>"), 550);  // no allowed code: any is fine
    try {
        c.client.SendCommand("RCPT TO:<z@y>", 250);
        FAIL();
    } catch (const EIdSMTPReplyError& e) {
        EXPECT_EQ(e.ErrorCode(), 251);
        EXPECT_EQ(e.Message(), "forwarded\r\n");
        EXPECT_EQ(e.EnhancedCode().ReplyAsStr(), "2.1.5");
    }
    EXPECT_EQ(c.client.LastCmdResult().Code(), "251");  // the failing reply stays
    EXPECT_EQ(c.client.SendCommand("EHLO x", TIdReplyCodes{250, 251}), 250);
    EXPECT_EQ(c.client.LastCmdResult().Text(), (TStringList{"first", "last"}));
    EXPECT_NE(dynamic_cast<TIdReplySMTP*>(&c.client.Greeting()), nullptr);
    c.client.IOHandler()->WriteLn("DATA");
    EXPECT_EQ(c.client.ReadReply("354"), "354");
    EXPECT_THROW(c.client.CheckReplyCode("354", "250"), EIdSMTPReplyError);
    EXPECT_EQ(c.client.CheckReplyCode(int16_t{500}, TIdReplyCodes{}), 500);
    try {
        c.client.RaiseLastReplyErrorAs<EIdReplyError>();
    } catch (const EIdReplyError& e) {
        EXPECT_EQ(e.Message(), "go\r\n");
    }
}

TEST(IdTCPConnectionCommands, WithoutHandlerNothingIsSent) {
    TIdTCPClient client;
    try {
        client.SendCommand("NOOP");
        FAIL();
    } catch (const EIdNotConnected& e) {
        EXPECT_EQ(e.Message(), "Not connected.");
    }
    EXPECT_THROW(client.ReceiveReply(), EIdNotConnected);
    EXPECT_NE(dynamic_cast<TIdReplyRFC*>(&client.LastCmdResult()), nullptr);
}

TEST(IdTCPConnectionHostile, CodesThatAreNotNumbers) {
    TLoopbackServer server(Answer({"abc hello\r\n", "2x0 odd\r\n"}));
    TScriptedClient c(server);
    for (const char* code : {"abc", "2x0"}) {
        try {
            c.client.SendCommand("NOOP");
            ADD_FAILURE();
        } catch (const EIdException& e) {
            EXPECT_EQ(e.Message(), std::string("Reply Code is not valid: ") + code);
        }
        EXPECT_EQ(c.client.LastCmdResult().Code(), "");
        EXPECT_TRUE(c.client.LastCmdResult().Text().Empty());
    }
}

TEST(IdTCPConnectionHostile, HundredThousandContinuationLines) {
    std::string reply;
    for (int i = 0; i < 100000; ++i) reply += "250-line " + std::to_string(i) + "\r\n";
    reply += "250 end\r\n";
    TLoopbackServer server(Answer({reply}));
    TScriptedClient c(server);
    EXPECT_EQ(c.client.SendCommand("EHLO x", 250), 250);
    EXPECT_EQ(c.client.LastCmdResult().Text().Count(), 100001);
    EXPECT_EQ(c.client.LastCmdResult().Text()[99999], "line 99999");
}

TEST(IdTCPConnectionHostile, CloseInTheMiddleOfAMultiLineReplyKeepsThePreviousReply) {
    TLoopbackServer server([](int fd) {
        std::string line;
        TLoopbackServer::ReadLine(fd, line);
        TLoopbackServer::SendAll(fd, "250 ok\r\n");
        TLoopbackServer::ReadLine(fd, line);
        TLoopbackServer::SendAll(fd, "250-one\r\n250-two\r\n250 thr");  // no final line feed
    });
    TScriptedClient c(server);
    c.client.SendCommand("NOOP", 250);
    try {
        c.client.SendCommand("EHLO x", 250);
        FAIL();
    } catch (const EIdConnClosedGracefully& e) {
        EXPECT_EQ(e.Message(), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(c.client.LastCmdResult().Text(), (TStringList{"ok"}));
}

// A reply that does not come in time may still come later, and would be
// read as the answer to the next command: the time-out closes the
// connection, and the server sees the close, not a next command.
TEST(IdTCPConnectionHostile, ServerThatNeverAnswersOrNeverEndsAReplyTimesOutAndIsDisconnected) {
    const struct {
        const char* what;
        std::string reply;  // and nothing more
    } cases[] = {{"no answer at all", ""}, {"no final line", "250-first\r\n"},
                 // No space after the three bytes: the reply goes on.
                 {"binary garbage that continues", std::string("\x01\xff\x00\x7f\x80 zz\r\n", 10)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string afterCommand = "nothing";
        TLoopbackServer server([&](int fd) {
            std::string line;
            TLoopbackServer::ReadLine(fd, line);
            TLoopbackServer::SendAll(fd, c.reply);
            afterCommand = TLoopbackServer::ReadLine(fd, line, 5000) ? line : "closed";
        });
        TScriptedClient client(server, 200);
        int disconnected = 0;
        client.client.SetOnDisconnected([&](TComponent*) { ++disconnected; });
        const uint64_t start = MonotonicMilliseconds();
        try {
            client.client.SendCommand("NOOP");
            ADD_FAILURE();
        } catch (const EIdReadTimeout& e) {
            EXPECT_EQ(e.Message(), "Read Timeout");
        }
        EXPECT_GE(MonotonicMilliseconds() - start, 190u);
        EXPECT_FALSE(client.client.Connected());
        EXPECT_EQ(disconnected, 1);
        server.Join();
        EXPECT_EQ(afterCommand, "closed");
    }
}

TEST(IdTCPConnectionHostile, BinaryGarbageIsAReplyCodeError) {
    TLoopbackServer server(Answer({std::string("\xff\x00\x7f zz\r\n", 8)}));
    TScriptedClient c(server, 200);
    try {
        c.client.SendCommand("NOOP");
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Reply Code is not valid: " + std::string("\xff\0\x7f", 3));
    }
    EXPECT_TRUE(c.client.Connected());
}
