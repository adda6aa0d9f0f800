// The window's "Invia mail" against a real SMTP server (Debian's aiosmtpd):
// every way of securing and authenticating the session the window offers.
#include <QAction>

#include "message/IdCoderMIME.h"
#include "tests/app/WindowDriver.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/AiosmtpdServer.h"

namespace {

#define SKIP_WITHOUT_AIOSMTPD()                                \
    do {                                                       \
        const std::string why = TAiosmtpdServer::SkipReason(); \
        if (!why.empty()) GTEST_SKIP() << why;                 \
    } while (0)

// The decoded content of the part whose file name is `name`.
std::string AttachmentContent(const std::string& message, const std::string& name, size_t& from) {
    const size_t at = message.find("filename=\"" + name + "\"", from);
    if (at == std::string::npos) return "<none>";
    const size_t start = message.find("\r\n\r\n", at) + 4;
    const size_t end = message.find("\r\n--", start);
    from = end;
    return TIdDecoderMIME::DecodeString(message.substr(start, end - start));
}

enum Tab { Plain = 1, Encrypted = 2 };

struct Mode {
    Tab tab;
    int useTLS;    // edtUseTLS position on the encrypted tab
    int authType;  // Authentication Type position
    const char* name;
};

}  // namespace

class RealServerWindowTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        first_ = root_ + "/primo.txt";
        second_ = root_ + "/secondo.bin";
        std::ofstream(first_) << "Primo allegato\r\nseconda riga\r\n";
        std::string binary;
        for (int i = 0; i < 600; ++i) binary += static_cast<char>(i * 7 % 256);
        std::ofstream(second_, std::ios::binary) << binary;
        secondContent_ = binary;
    }
    void TearDown() override {
        driver_.reset();
        window_.reset();
        WindowFixture::TearDown();
    }
    TWindowDriver& Fill(const Mode& mode, int port, const std::string& password = "tanstaaftanstaaf") {
        driver_ = std::make_unique<TWindowDriver>(OpenWindow());
        TWindowDriver& d = *driver_;
        d.SelectTab(mode.tab);
        const bool encrypted = mode.tab == Encrypted;
        d.SetText(encrypted ? "edtHost_smtpcript" : "edtHost_smtp", "127.0.0.1");
        d.SetText(encrypted ? "edtPort_smtpcript" : "edtPort_smtp", QString::number(port));
        d.SetItem(encrypted ? "edtAuthType_smtpcript" : "edtAuthType_smtp", mode.authType);
        if (encrypted) {
            d.SetItem("edtUseTLS", mode.useTLS);
            d.SetItem("edtMethod", 1);
        }
        d.SetText("edtUserName", "tim");
        d.SetText("edtPassword", QString::fromStdString(password));
        d.SetText("edtSender", "tecnico@sortello.test");
        d.SetText("edtRecipients", "ufficio@sortello.test; altro@sortello.test");
        d.SetText("edtCCRecipients", "copia@sortello.test");
        d.SetText("edtSubject", QString::fromUtf8("Prova di invio è"));
        d.SetText("edtBody", "Messaggio di prova.\n.riga con punto");
        d.SetText("edtAttachFile1", QString::fromStdString(first_));
        d.SetText("edtAttachFile2", QString::fromStdString(second_));
        return d;
    }
    std::string first_, second_, secondContent_;
    std::unique_ptr<TWindowDriver> driver_;
};

TEST_F(RealServerWindowTest, EveryTlsModeWithEveryAuthTypeDeliversTheMessage) {
    SKIP_WITHOUT_AIOSMTPD();
    const Mode modes[] = {
        {Plain, 0, 0, "clear, no auth"},
        {Plain, 0, 1, "clear, AUTH LOGIN"},
        {Encrypted, 0, 1, "encrypted tab without TLS, AUTH LOGIN"},
        {Encrypted, 1, 0, "implicit TLS, no auth"},
        {Encrypted, 1, 1, "implicit TLS, AUTH LOGIN"},
        {Encrypted, 1, 2, "implicit TLS, CRAM-MD5"},
        {Encrypted, 2, 1, "STARTTLS required, AUTH LOGIN"},
        {Encrypted, 2, 2, "STARTTLS required, CRAM-MD5"},
        {Encrypted, 3, 0, "explicit STARTTLS, no auth"},
        {Encrypted, 3, 1, "explicit STARTTLS, AUTH LOGIN"},
        {Encrypted, 3, 2, "explicit STARTTLS, CRAM-MD5"},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        TAiosmtpdServer::TOptions options;
        options.implicitTls = mode.tab == Encrypted && mode.useTLS == 1;
        options.starttls = mode.tab == Encrypted && mode.useTLS >= 2;
        TAiosmtpdServer server(options);
        Fill(mode, server.Port()).InviaMail();
        const std::vector<std::string> log = driver_->Log();
        ASSERT_GE(log.size(), 3u);
        EXPECT_NE(std::find(log.begin(), log.end(), "> Inviato."), log.end());
        EXPECT_EQ(log[log.size() - 2], "LastCmdResult= Ok: queued");
        const auto stored = server.Stored();
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].envelope,
                  "tecnico@sortello.test\nufficio@sortello.test\naltro@sortello.test\ncopia@sortello.test\n");
        const std::string& content = stored[0].content;
        EXPECT_NE(content.find("=?ISO-8859-1?Q?"), std::string::npos);
        EXPECT_NE(content.find("\r\nMessaggio di prova.\r\n.riga con punto\r\n"), std::string::npos) << content;
        size_t from = 0;
        EXPECT_EQ(AttachmentContent(content, "primo.txt", from), "Primo allegato\r\nseconda riga\r\n");
        EXPECT_EQ(AttachmentContent(content, "secondo.bin", from), secondContent_);
        window_.reset();
    }
    EXPECT_TRUE(errors_.empty());
}

// Only the encrypted tab gives the client a SASL mechanism.
TEST_F(RealServerWindowTest, SaslOnThePlainTabHasNoMechanism) {
    SKIP_WITHOUT_AIOSMTPD();
    TAiosmtpdServer server({});
    Fill({Plain, 0, 2, ""}, server.Port()).InviaMail();
    const std::vector<std::string> log = driver_->Log();
    const auto send = std::find(log.begin(), log.end(), "idSMTP.Send - prima...");
    ASSERT_NE(send, log.end());
    EXPECT_EQ(*(send + 1), "Need SASL mechanisms to login with it!!");
    EXPECT_EQ(*(send + 2), "LastCmdResult= sortello.test");
    EXPECT_TRUE(server.Stored().empty());
}

TEST_F(RealServerWindowTest, WrongPasswordLogsTheRefusal) {
    SKIP_WITHOUT_AIOSMTPD();
    for (int auth : {1, 2}) {
        SCOPED_TRACE(auth);
        TAiosmtpdServer server({});
        Fill({Encrypted, 0, auth, ""}, server.Port(), "sbagliata").InviaMail();
        const std::vector<std::string> log = driver_->Log();
        const std::vector<std::string> tail = {"idSMTP.Send - prima...", "Authentication credentials invalid", "",
                                               "LastCmdResult= Authentication credentials invalid", ""};
        ASSERT_GE(log.size(), tail.size());
        EXPECT_EQ(std::vector<std::string>(log.end() - 5, log.end()), tail);
        EXPECT_TRUE(server.Stored().empty());
        window_.reset();
    }
}

TEST_F(RealServerWindowTest, RefusedRecipientLogsTheReply) {
    SKIP_WITHOUT_AIOSMTPD();
    TAiosmtpdServer::TOptions options;
    options.refuseRecipient = "altro@sortello.test";
    TAiosmtpdServer server(options);
    Fill({Plain, 0, 0, ""}, server.Port()).InviaMail();
    const std::vector<std::string> log = driver_->Log();
    const std::string reply = "<altro@sortello.test>: Recipient address rejected";
    const std::vector<std::string> tail = {"idSMTP.Send - prima...", reply, "", "LastCmdResult= " + reply, ""};
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(log.end() - 5, log.end()), tail);
    EXPECT_TRUE(server.Stored().empty());
}
