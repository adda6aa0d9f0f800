// The configured SASL mechanisms: parsing the server's AUTH offer, removal
// of destroyed mechanisms, and the login through the SMTP client.
#include "smtp/IdSASLEntries.h"

#include "message/IdCoderMIME.h"
#include "smtp/IdReplySMTP.h"
#include "smtp/IdSASLCRAMMD5.h"
#include "smtp/IdSMTP.h"
#include "tests/support/ScriptedSmtpServer.h"
#include "tests/support/SmtpExpect.h"

#include <gtest/gtest.h>

TEST(IdSASLEntries, ParseAuthMechanismsTable) {
    const struct {
        TStringList lines;
        std::vector<std::string> mechanisms;
    } cases[] = {
        {{"AUTH LOGIN PLAIN", "AUTH=LOGIN"}, {"LOGIN", "PLAIN"}},
        {{"auth=login"}, {"LOGIN"}},
        {{"AUTH cram-md5 login"}, {"CRAM-MD5", "LOGIN"}},
        {{"AUTH  LOGIN   PLAIN "}, {"LOGIN", "PLAIN"}},
        {{"AUTH=PLAIN=X"}, {"PLAIN", "X"}},
        {{"AUTHX LOGIN", "AUTH", "XAUTH LOGIN", "SIZE 100"}, {}},
        {{"PIPELINING", "AUTH GSSAPI", "8BITMIME", "AUTH=GSSAPI NTLM"}, {"GSSAPI", "NTLM"}},
        {{}, {}},
    };
    for (const auto& c : cases) {
        const auto parsed = TIdSASLEntries::ParseAuthMechanisms(c.lines, "AUTH");
        EXPECT_EQ(parsed->Lines(), c.mechanisms) << ::testing::PrintToString(c.lines.Lines());
    }
}

TEST(IdSASLEntries, DestroyedMechanismLeavesTheClientsList) {
    TIdSMTP smtp;
    TIdSASLCRAMMD5 kept;
    auto* gone = new TIdSASLCRAMMD5;
    smtp.SASLMechanisms().Add()->SetSASL(gone);
    smtp.SASLMechanisms().Add()->SetSASL(&kept);
    smtp.SASLMechanisms().Add()->SetSASL(gone);
    smtp.SASLMechanisms().Add();  // an empty entry stays
    delete gone;
    ASSERT_EQ(smtp.SASLMechanisms().Count(), 2);
    EXPECT_EQ(smtp.SASLMechanisms().Items(0)->SASL(), &kept);
    EXPECT_EQ(smtp.SASLMechanisms().Items(1)->SASL(), nullptr);
    smtp.SASLMechanisms().RemoveMechanism(&kept);
    EXPECT_EQ(smtp.SASLMechanisms().Count(), 1);
}

TEST(IdSASLEntries, ClientDestroyedBeforeItsMechanismIsFine) {
    TIdSASLCRAMMD5 cram;
    {
        TIdSMTP smtp;
        smtp.SASLMechanisms().Add()->SetSASL(&cram);
    }
    TIdSASLListEntry entry;
    entry.Assign(TIdSASLListEntry());
    EXPECT_EQ(entry.SASL(), nullptr);
}

// ------------------------------------------------------------ SASL login

namespace {

using TScript = TScriptedSmtpServer::TScript;

// A mechanism of the tests, to see which candidate goes first.
class TTestMechanism : public TIdSASL {
public:
    explicit TTestMechanism(std::string name) : name_(std::move(name)) {}
    std::string InitialResponse(const std::string& challenge) override { return "first:" + challenge; }
    std::string NextResponse(const std::string& challenge) override { return "next:" + challenge; }
    std::string MechanismName() const override { return name_; }

private:
    std::string name_;
};

std::string B64(const std::string& text) { return TIdEncoderMIME::EncodeString(text); }

TScript Greeted(const std::string& authLine) {
    return {"S: 220 mx", "C: EHLO Telvara", "S: 250-mx", "S: 250 " + authLine};
}

TScript Concat(TScript a, const TScript& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::string kRfcChallenge = "PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+";
const std::string kRfcResponse = "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw";

struct SaslSession : ::testing::Test {
    void Start(TScript script) {
        server = std::make_unique<TScriptedSmtpServer>(std::move(script));
        smtp = std::make_unique<TIdSMTP>();
        smtp->SetHost("127.0.0.1");
        smtp->SetPort(server->Port());
        smtp->SetHeloName("Telvara");
        smtp->SetReadTimeout(3000);
        smtp->SetAuthType(atSASL);
        provider.SetUsername("tim");
        provider.SetPassword("tanstaaftanstaaf");
        cram.SetUserPassProvider(&provider);
        smtp->Connect();
    }
    // The bytes the client sent after EHLO.
    std::string Finish() {
        smtp.reset();
        server->Join();
        EXPECT_TRUE(server->Failures().empty()) << server->Failures()[0];
        return server->Received().substr(std::string("EHLO Telvara\r\n").size());
    }

    TIdUserPassProvider provider;
    TIdSASLCRAMMD5 cram;
    std::unique_ptr<TScriptedSmtpServer> server;
    std::unique_ptr<TIdSMTP> smtp;
};

}  // namespace

TEST_F(SaslSession, CramMd5ExchangeOfRfc2195) {
    Start(Concat(Greeted("AUTH LOGIN CRAM-MD5"),
                 {"C: AUTH CRAM-MD5", "S: 334 " + kRfcChallenge, "C: " + kRfcResponse, "S: 235 2.7.0 ok"}));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    EXPECT_TRUE(smtp->Authenticate());
    EXPECT_TRUE(smtp->Authenticated());
    Finish();
}

TEST_F(SaslSession, CandidatesInReverseConfiguredOrderAndOnlyTheFirstIsTried) {
    TTestMechanism xtest("X-TEST");
    TTestMechanism unoffered("X-OTHER");
    // The last configured offered mechanism goes first; its refusal ends the login.
    Start(Concat(Greeted("AUTH X-TEST CRAM-MD5"), {"C: AUTH X-TEST", "S: 504 5.5.4 not today"}));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    smtp->SASLMechanisms().Add()->SetSASL(&xtest);
    smtp->SASLMechanisms().Add()->SetSASL(&unoffered);
    EXPECT_FALSE(smtp->SASLMechanisms().LoginWithSASL("AUTH", {"235"}, {"334"}, *smtp, smtp->ServiceExtensions(),
                                                      "AUTH"));
    EXPECT_EQ(Finish(), "AUTH X-TEST\r\n");
}

TEST_F(SaslSession, ContinueRepliesAreAnsweredUntilSuccess) {
    TTestMechanism xtest("X-TEST");
    Start(Concat(Greeted("AUTH X-TEST"), {"C: AUTH X-TEST", "S: 334 " + B64("one"), "C: " + B64("first:one"),
                                          "S: 334 " + B64("two"), "C: " + B64("next:two"), "S: 235 ok"}));
    smtp->SASLMechanisms().Add()->SetSASL(&xtest);
    EXPECT_TRUE(smtp->SASLMechanisms().LoginWithSASL("AUTH", {"235"}, {"334"}, *smtp, smtp->ServiceExtensions(),
                                                     "AUTH"));
    Finish();
}

TEST_F(SaslSession, ConfiguredTwiceGivesOneExchange) {
    Start(Concat(Greeted("AUTH CRAM-MD5"),
                 {"C: AUTH CRAM-MD5", "S: 334 " + kRfcChallenge, "C: " + kRfcResponse, "S: 235 ok"}));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    smtp->Authenticate();
    Finish();
}

TEST_F(SaslSession, NothingSentWhenNoConfiguredMechanismIsOffered) {
    Start(Greeted("AUTH LOGIN"));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    EXPECT_TRUE(smtp->Authenticate());
    EXPECT_TRUE(smtp->Authenticated());
    EXPECT_EQ(Finish(), "");
}

TEST_F(SaslSession, EmptyListRaisesBeforeAnythingIsSent) {
    Start(Greeted("AUTH CRAM-MD5"));
    EXPECT_EQ(MessageOf<EIdSASLMechNeeded>([&] { smtp->Authenticate(); }), "Need SASL mechanisms to login with it!!");
    EXPECT_FALSE(smtp->Authenticated());
    EXPECT_EQ(Finish(), "");
}

TEST_F(SaslSession, RefusedAuthEndsQuietlyAndEverySendTriesAgain) {
    Start(Concat(Greeted("AUTH CRAM-MD5"), {"C: AUTH CRAM-MD5", "S: 504 5.5.4 no", "C: AUTH CRAM-MD5", "S: 504 no"}));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    EXPECT_TRUE(smtp->Authenticate());
    EXPECT_TRUE(smtp->Authenticated());
    smtp->Authenticate();
    Finish();
}

TEST_F(SaslSession, EmptyChallengeIsAnsweredWithAnEmptyLine) {
    Start(Concat(Greeted("AUTH CRAM-MD5"), {"C: AUTH CRAM-MD5", "S: 334 ", "C: ", "S: 235 ok"}));
    cram.SetUserPassProvider(nullptr);  // not needed for an empty challenge
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    smtp->Authenticate();
    Finish();
}

TEST_F(SaslSession, MissingProviderFailsAtTheFirstChallengeAndKeepsTheConnection) {
    Start(Concat(Greeted("AUTH CRAM-MD5"), {"C: AUTH CRAM-MD5", "S: 334 " + kRfcChallenge}));
    cram.SetUserPassProvider(nullptr);
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    EXPECT_THROW(smtp->Authenticate(), EIdUserPassProviderUnassigned);
    EXPECT_TRUE(smtp->Connected());
    EXPECT_FALSE(smtp->Authenticated());
    Finish();
}

TEST_F(SaslSession, RefusedResponseRaisesTheReply) {
    Start(Concat(Greeted("AUTH CRAM-MD5"), {"C: AUTH CRAM-MD5", "S: 334 " + kRfcChallenge, "C: " + kRfcResponse,
                                            "S: 535 5.7.8 Authentication credentials invalid"}));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    EXPECT_EQ(ReplyErrorOf([&] { smtp->Authenticate(); }), "535|5.7.8|Authentication credentials invalid\r\n");
    Finish();
}

TEST_F(SaslSession, UndecodableChallengeCancelsTheExchange) {
    Start(Concat(Greeted("AUTH CRAM-MD5"),
                 {"C: AUTH CRAM-MD5", "S: 334 ###not base64###", "C: *", "S: 501 5.7.0 Auth aborted"}));
    smtp->SASLMechanisms().Add()->SetSASL(&cram);
    EXPECT_EQ(MessageOf<EIdInvalidBase64>([&] { smtp->Authenticate(); }), "Invalid Base64 data");
    EXPECT_TRUE(smtp->Connected());
    Finish();
}
