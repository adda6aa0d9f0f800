// "Connetti" and "Invia mail" on the SMTP tabs, driven through the window
// against a scripted server.
#include <QAction>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "app/MailSortelloActions.h"
#include "message/IdMessage.h"
#include "net/IdSSLOpenSSL.h"
#include "smtp/IdSASLCRAMMD5.h"
#include "smtp/IdUserPassProvider.h"
#include "smtp/IdSMTP.h"
#include "tests/app/WindowDriver.h"
#include "tests/app/WindowFixture.h"
#include "tests/support/ScriptedSmtpServer.h"

namespace {

using TScript = TScriptedSmtpServer::TScript;
using Lines = std::vector<std::string>;

TScript Concat(std::initializer_list<TScript> parts) {
    TScript all;
    for (const TScript& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

const TScript Greeting{"S: 220 mx.test ESMTP", "C: EHLO Telvara", "S: 250-mx.test", "S: 250 8BITMIME"};
const TScript Quit{"C: QUIT", "S: 221 2.0.0 bye"};

// A port on which nothing listens.
int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

const Lines ConnectedLog{"idSMTP - prima di Connect...", "idSMTP - ...dopo Connect", "LastCmdResult: mx.test",
                         "8BITMIME", "", "Connesso."};

}  // namespace

class SmtpActionsTest : public WindowFixture {
protected:
    TWindowDriver& Drive() {
        if (!driver_) driver_ = std::make_unique<TWindowDriver>(OpenWindow());
        return *driver_;
    }
    void Server(int tab, int port, const std::string& portSuffix = "") {
        const bool encrypted = tab == 2;
        Drive().SelectTab(tab);
        Drive().SetText(encrypted ? "edtHost_smtpcript" : "edtHost_smtp", "127.0.0.1");
        Drive().SetText(encrypted ? "edtPort_smtpcript" : "edtPort_smtp",
                        QString::number(port) + QString::fromStdString(portSuffix));
    }
    TMailSortelloActions& Actions() { return window_->Actions(); }
    // The server lives until the window has gone, so that a session the
    // window keeps open ends before the server waits for it.
    template <class T>
    TScriptedSmtpServer& Serve(T script) {
        servers_.push_back(std::make_unique<TScriptedSmtpServer>(std::move(script)));
        return *servers_.back();
    }
    void TearDown() override {
        driver_.reset();
        window_.reset();
        servers_.clear();
        WindowFixture::TearDown();
    }
    std::unique_ptr<TWindowDriver> driver_;
    std::vector<std::unique_ptr<TScriptedSmtpServer>> servers_;
};

TEST_F(SmtpActionsTest, SuccessfulTestLogsTheEhloReplyAndTraces) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting, {"SILENT"}}));
    Server(1, server.Port());
    TStderrCapture trace;
    Drive().Connetti();
    trace.Restore();
    EXPECT_EQ(Drive().Log(), ConnectedLog);
    EXPECT_EQ(trace.Lines(), (Lines{"actConnettiExecute - inizio.", "actConnettiExecute - fine."}));
    EXPECT_TRUE(Actions().idSMTP()->Connected());
    EXPECT_EQ(Actions().idSMTP()->MailAgent(), "TelVara");
    EXPECT_EQ(Actions().idSMTP()->ConnectTimeout(), 3000);
    EXPECT_EQ(Actions().idSMTP()->ReadTimeout(), 3000);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SmtpActionsTest, UnreachableHostLogsTheErrorAndAnEmptyReply) {
    Server(1, ClosedPort());
    Drive().Connetti();
    const Lines log = Drive().Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "idSMTP - prima di Connect...");
    EXPECT_EQ(log[1], "Socket Error # 10061");
    EXPECT_EQ(log[2], "Connection refused.");
    EXPECT_EQ(log[3], "LastCmdResult: ");
    EXPECT_EQ(log[4], "NON connesso.");
}

TEST_F(SmtpActionsTest, SecondTestQuitsFirstAndAFailedRetryShowsTheQuitReply) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting, Quit}));
    Server(1, server.Port());
    Drive().Connetti();
    Server(1, ClosedPort());
    Drive().Connetti();
    server.Join();
    EXPECT_EQ(server.Received(), "EHLO Telvara\r\nQUIT\r\n");
    EXPECT_TRUE(server.Failures().empty());
    const Lines log = Drive().Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ((Lines(log.end() - 3, log.end())), (Lines{"LastCmdResult: bye", "", "NON connesso."}));
}

TEST_F(SmtpActionsTest, EncryptedTestsAddSaslEntriesAndAPlainTestClearsThem) {
    TScriptedSmtpServer& server = Serve(TScriptedSmtpServer::TSessions{
        {Concat({Greeting, Quit}), Concat({Greeting, Quit}), Concat({Greeting, Quit}), Concat({Greeting, {"SILENT"}})}});
    Server(2, server.Port());
    TStderrCapture trace;
    for (int i = 0; i < 3; ++i) Drive().Connetti();
    trace.Restore();
    TIdSASLEntries& entries = Actions().idSMTP()->SASLMechanisms();
    ASSERT_EQ(entries.Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(entries.Items(i)->SASL(), Actions().idSASLCRAMMD5());
    EXPECT_EQ(Actions().idSASLCRAMMD5()->UserPassProvider(), Actions().idUserPassProvider());
    const Lines expectedTrace{"actConnettiExecute - inizio.", "> prima di creare  TIdSSLIOHandlerSocketOpenSSL",
                              "> prima di assegnare TIdSSLIOHandlerSocketOpenSSL", "actConnettiExecute - fine."};
    const Lines traced = trace.Lines();
    ASSERT_GE(traced.size(), 4u);
    EXPECT_EQ(Lines(traced.begin(), traced.begin() + 4), expectedTrace);
    Server(1, server.Port());
    Drive().Connetti();
    EXPECT_EQ(entries.Count(), 0);
    EXPECT_NE(Actions().idSASLCRAMMD5(), nullptr);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(SmtpActionsTest, PlainTestBetweenEncryptedOnesMakesAFreshTlsHandler) {
    TScriptedSmtpServer& server = Serve(TScriptedSmtpServer::TSessions{
        {Concat({Greeting, Quit}), Concat({Greeting, Quit}), Concat({Greeting, {"SILENT"}})}});
    Server(2, server.Port());
    Drive().Connetti();
    ASSERT_NE(Actions().idSSLIOHandler(), nullptr);
    EXPECT_EQ(Actions().idSMTP()->IOHandler(), Actions().idSSLIOHandler());
    EXPECT_FALSE(Actions().idSMTP()->OwnsIOHandler());
    Server(1, server.Port());
    Drive().Connetti();
    EXPECT_EQ(Actions().idSSLIOHandler(), nullptr);
    EXPECT_NE(Actions().idSMTP()->IOHandler(), nullptr);
    Server(2, server.Port());
    Drive().Connetti();
    ASSERT_NE(Actions().idSSLIOHandler(), nullptr);
    EXPECT_EQ(Actions().idSMTP()->IOHandler(), Actions().idSSLIOHandler());
    EXPECT_TRUE(Actions().idSMTP()->Connected());
    EXPECT_EQ(Drive().Log().back(), "Connesso.");
}

TEST_F(SmtpActionsTest, PortWithATrailingBlankConnects) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting, {"SILENT"}}));
    Server(2, server.Port(), " ");
    Drive().SetText("edtUserName", "tecnico");
    Drive().SetText("edtPassword", "segreto");
    Drive().Connetti();
    EXPECT_EQ(Actions().idSMTP()->Port(), server.Port());
    // Connect puts the client's host and port into the handler; the
    // credentials are kept but the test does not log in.
    EXPECT_EQ(Actions().idSSLIOHandler()->Destination(), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(Actions().idSSLIOHandler()->SSLOptions().Method(), sslvSSLv3);
    EXPECT_EQ(Actions().idSMTP()->Username(), "tecnico");
    EXPECT_EQ(Actions().idSMTP()->Password(), "segreto");
    EXPECT_EQ(Actions().idUserPassProvider()->Username(), "tecnico");
    EXPECT_EQ(Actions().idUserPassProvider()->Password(), "segreto");
    EXPECT_EQ(server.Received(), "EHLO Telvara\r\n");
    EXPECT_EQ(Drive().Log(), ConnectedLog);
}

TEST_F(SmtpActionsTest, ImplicitTlsHandshakesBeforeTheGreeting) {
    TScriptedSmtpServer& server = Serve(Concat({{"TLS"}, Greeting, {"SILENT"}}));
    Server(2, server.Port());
    Drive().SetItem("edtUseTLS", 1);
    Drive().Connetti();
    EXPECT_EQ(Drive().Log(), ConnectedLog);
    EXPECT_TRUE(server.Failures().empty());
}

TEST_F(SmtpActionsTest, ExplicitAndRequiredTlsStayInClearDuringTheTest) {
    for (int mode : {2, 3}) {
        TScriptedSmtpServer& server = Serve(TScript{"S: 220 mx.test ESMTP", "C: EHLO Telvara", "S: 250-mx.test", "S: 250 STARTTLS",
                                    "C: QUIT", "S: 221 bye"});
        Server(2, server.Port());
        Drive().SetItem("edtUseTLS", mode);
        Drive().Connetti();
        EXPECT_EQ(Drive().Log().back(), "Connesso.") << mode;
        EXPECT_EQ(Actions().idSMTP()->UseTLS(), static_cast<TIdUseTLS>(mode));
        Actions().idSMTP()->Disconnect(true);
        server.Join();
        EXPECT_EQ(server.Received(), "EHLO Telvara\r\nQUIT\r\n") << mode;
    }
}

namespace {
const TScript Transaction2{"C: RSET", "S: 250 ok", "C: MAIL FROM:<tecnico@example.com>", "S: 250 ok",
                           "C: RCPT TO:<a@x.test>", "S: 250 ok", "C: RCPT TO:<b@y.test>", "S: 250 ok",
                           "C: DATA", "S: 354 go", "DATA", "S: 250 2.0.0 queued as 12"};
}  // namespace

class SmtpSendTest : public SmtpActionsTest {
protected:
    void SetUp() override {
        SmtpActionsTest::SetUp();
        std::filesystem::create_directories(root_ + "/folder");
        file_ = root_ + "/allegato.txt";
        std::ofstream(file_) << "contenuto\n";
    }
    void Fill() {
        Drive().SetText("edtSender", "tecnico@example.com");
        Drive().SetText("edtSubject", QString::fromUtf8("Prova è"));
        Drive().SetText("edtBody", "riga uno\nriga due");
    }
    std::string file_;
};

TEST_F(SmtpSendTest, SendLogsRecipientsAttachmentsAndTheLastReply) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting, Transaction2, {"SILENT"}}));
    Server(1, server.Port());
    Fill();
    Drive().SetText("edtRecipients", "a@x.test; b@y.test");
    Drive().SetText("edtAttachFile1", QString::fromStdString(file_));
    Drive().SetText("edtAttachFile2", QString::fromStdString(file_));
    TStderrCapture trace;
    Drive().InviaMail();
    trace.Restore();
    const std::string quoted = "\"" + file_ + "\"";
    Lines expected = ConnectedLog;
    for (const std::string& line :
         {std::string("Destinatari: a@x.test, b@y.test"), std::string("Copia conoscenza: "), "Allegato " + quoted,
          "Allegato " + quoted, std::string("idSMTP.Send - prima..."), std::string("idSMTP.Send - ...dopo"),
          std::string("> Inviato."), std::string("LastCmdResult= queued as 12"), std::string("")})
        expected.push_back(line);
    EXPECT_EQ(Drive().Log(), expected);
    const Lines expectedTrace{"actConnettiExecute - inizio.", "actConnettiExecute - fine.",
                              "> actInviaMailExecute - impostazioni...",
                              "> actInviaMailExecute - Recipients.EMailAddresses=\"a@x.test, b@y.test\"",
                              "> actInviaMailExecute - CCList.EMailAddresses=\"\""};
    EXPECT_EQ(trace.Lines(), expectedTrace);
    ASSERT_EQ(server.Messages().size(), 1u);
    const std::string text = server.Messages()[0];
    const size_t subject = text.find("Subject: ");
    ASSERT_NE(subject, std::string::npos);
    EXPECT_EQ(text.substr(subject, text.find("\r\n", subject) - subject).find("=?ISO-8859-1?Q?"), 15u) << text;
    EXPECT_NE(text.find("X-Mailer: TelVara"), std::string::npos);
    size_t attachments = 0;
    for (size_t at = text.find("filename=\"allegato.txt\""); at != std::string::npos;
         at = text.find("filename=\"allegato.txt\"", at + 1))
        ++attachments;
    EXPECT_EQ(attachments, 2u);
    EXPECT_TRUE(server.Failures().empty());
}

TEST_F(SmtpSendTest, DisplayNameAndEmptyCopies) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting,
                                       {"C: RSET", "S: 250 ok", "C: MAIL FROM:<tecnico@example.com>", "S: 250 ok",
                                        "C: RCPT TO:<mario@x.test>", "S: 250 ok", "C: DATA", "S: 354 go", "DATA",
                                        "S: 250 ok"},
                                       {"SILENT"}}));
    Server(1, server.Port());
    Fill();
    Drive().SetText("edtRecipients", "Mario Rossi (ufficio) <mario@x.test>");
    Drive().InviaMail();
    const Lines log = Drive().Log();
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(log[6], "Destinatari: " + Actions().idMessage()->Recipients().EMailAddresses());
    EXPECT_NE(log[6].find("<mario@x.test>"), std::string::npos);
    EXPECT_EQ(log[7], "Copia conoscenza: ");
    EXPECT_EQ(log[8], "idSMTP.Send - prima...");
    EXPECT_EQ(Actions().idMessage()->MessageParts().Count(), 0);
    EXPECT_TRUE(server.Failures().empty());
}

// A file named in a field is sent or the send stops where everyone sees it.
TEST_F(SmtpSendTest, AFileNamedButNotThereStopsTheSendBeforeTheTransaction) {
    for (const std::string& path : {root_ + "/folder", root_ + "/missing.txt"}) {
        SCOPED_TRACE(path);
        errors_.clear();
        TScriptedSmtpServer& server = Serve(Concat({Greeting, Quit}));
        Server(1, server.Port());
        Fill();
        Drive().SetText("edtAttachFile1", QString::fromStdString(file_));
        Drive().SetText("edtAttachFile2", QString::fromStdString(path));
        Drive().InviaMail();
        EXPECT_EQ(errors_, std::vector<std::string>{"Cannot open file " + path});
        const Lines log = Drive().Log();
        EXPECT_EQ(std::find(log.begin(), log.end(), "idSMTP.Send - prima..."), log.end());
        EXPECT_EQ(std::find(log.begin(), log.end(), "> Inviato."), log.end());
        Actions().idSMTP()->Disconnect(true);
        server.Join();
        EXPECT_EQ(server.Received(), "EHLO Telvara\r\nQUIT\r\n");
        EXPECT_TRUE(server.Failures().empty());
    }
}

TEST_F(SmtpSendTest, EmptyRecipientsGiveAnEmptyList) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting, {"C: RSET", "S: 250 ok", "SILENT"}}));
    Server(1, server.Port());
    Fill();
    Drive().InviaMail();
    const Lines log = Drive().Log();
    ASSERT_GE(log.size(), 7u);
    EXPECT_EQ(log[6], "Destinatari: ");
    EXPECT_EQ(Actions().idMessage()->Recipients().Count(), 0);
}

TEST_F(SmtpSendTest, SendingTwiceQuitsBetweenAndKeepsOnlyTheSecondFields) {
    auto oneRecipient = [](const std::string& to) {
        return TScript{"C: RSET", "S: 250 ok", "C: MAIL FROM:<tecnico@example.com>", "S: 250 ok",
                       "C: RCPT TO:<" + to + ">", "S: 250 ok", "C: DATA", "S: 354 go", "DATA", "S: 250 ok"};
    };
    TScriptedSmtpServer& server = Serve(TScriptedSmtpServer::TSessions{
        {Concat({Greeting, oneRecipient("primo@x.test"), Quit}),
         Concat({Greeting, oneRecipient("secondo@x.test"), {"SILENT"}})}});
    Server(1, server.Port());
    Fill();
    Drive().SetText("edtRecipients", "primo@x.test");
    Drive().SetText("edtAttachFile1", QString::fromStdString(file_));
    Drive().InviaMail();
    Drive().SetText("edtRecipients", "secondo@x.test");
    Drive().SetText("edtSubject", "Seconda");
    Drive().SetText("edtAttachFile1", "");
    Drive().InviaMail();
    ASSERT_EQ(server.Messages().size(), 2u);
    EXPECT_NE(server.Received().find("QUIT\r\n"), std::string::npos);
    TIdMessage& message = *Actions().idMessage();
    EXPECT_EQ(message.Subject(), "Seconda");
    EXPECT_EQ(message.Recipients().EMailAddresses(), "secondo@x.test");
    EXPECT_EQ(message.MessageParts().Count(), 0);
    EXPECT_EQ(server.Messages()[1].find("primo@x.test"), std::string::npos);
    EXPECT_TRUE(server.Failures().empty());
}

TEST_F(SmtpSendTest, FailedTestEndsTheSendSilently) {
    Server(1, ClosedPort());
    Fill();
    Drive().InviaMail();
    EXPECT_EQ(Drive().Log().back(), "NON connesso.");
    EXPECT_EQ(Actions().idMessage(), nullptr);
}

TEST_F(SmtpSendTest, RefusedSendLogsTheErrorAndTheLastReply) {
    TScriptedSmtpServer& server = Serve(Concat({Greeting,
                                       {"C: RSET", "S: 250 ok", "C: MAIL FROM:<tecnico@example.com>",
                                        "S: 550 5.7.1 relay denied", "SILENT"}}));
    Server(1, server.Port());
    Fill();
    Drive().SetText("edtRecipients", "a@x.test");
    Drive().InviaMail();
    const Lines log = Drive().Log();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ((Lines(log.end() - 4, log.end())),
              (Lines{"relay denied", "", "LastCmdResult= relay denied", ""}));
}

// What the session would have to refuse or break is refused before the
// connection test: one log line naming the field, nothing sent.
TEST_F(SmtpSendTest, FieldsThatCannotBeSentAreRefusedBeforeConnecting) {
    const struct {
        const char* field;
        QString value;
        Lines log;
    } cases[] = {
        {"edtRecipients", "<a@x.test> b@y.test",
         {"Campo \"Destinatari\" non valido: @ Outside address", "> Non inviato."}},
        {"edtCCRecipients", "ok@x.test\n<a@x.test> b@y.test",
         {"Campo \"Destinatari in copia conoscenza\" non valido: @ Outside address", "> Non inviato."}},
        {"edtSender", "tecnico@example.com\r\nRCPT TO:<evil@x.test>",
         {"Campo \"Mittente\" non valido: contiene un a capo o un NUL", "> Non inviato."}},
        {"edtSender", "Tecnico <tecnico@example.com",
         {"Campo \"Mittente\" non valido: indirizzo incompleto: \"Tecnico <tecnico@example.>\"", "> Non inviato."}},
        {"edtRecipients", "\"Mario\nRossi\" <m@x.test>",
         {"Campo \"Destinatari\" non valido: indirizzo incompleto: \"Rossi <>\"", "> Non inviato."}},
        {"edtRecipients", "\"mario rossi\"@x.test",
         {"Campo \"Destinatari\" non valido: un testo tra virgolette richiede l'indirizzo tra < e >",
          "> Non inviato."}},
        {"edtCCRecipients", "ok@x.test\nMario <m@x.test",
         {"Campo \"Destinatari in copia conoscenza\" non valido: indirizzo incompleto: \"Mario <m@x.>\"",
          "> Non inviato."}},
    };
    for (const auto& c : cases) {
        Server(1, ClosedPort());
        Fill();
        Drive().SetText("edtRecipients", "a@x.test");
        Drive().SetText("edtCCRecipients", "");
        Drive().SetText(c.field, c.value);
        Drive().InviaMail();
        EXPECT_TRUE(errors_.empty()) << c.field;
        const Lines log = Drive().Log();
        ASSERT_GE(log.size(), 2u);
        EXPECT_EQ(Lines(log.end() - 2, log.end()), c.log) << c.field;
        EXPECT_EQ(std::find(log.begin(), log.end(), "idSMTP - prima di Connect..."), log.end()) << c.field;
        EXPECT_TRUE(Actions().InputRefused());
    }
    EXPECT_TRUE(window_->isVisible());
}

// A character the code page lacks stops the send with the field named,
// before anything is tried, instead of going out as "?".
TEST_F(SmtpSendTest, TextTheCodePageCannotHoldStopsTheSend) {
    const struct {
        const char* field;
        QString value;
    } cases[] = {
        {"edtSubject", QString::fromUtf8("Prova \u65E5\u672C")},
        {"edtBody", QString::fromUtf8("riga uno\n\u65E5\u672C")},
        {"edtCCRecipients", QString::fromUtf8("\u65E5\u672C <a@x.test>")},
    };
    for (const auto& c : cases) {
        errors_.clear();
        Server(1, ClosedPort());
        Fill();
        Drive().SetText("edtRecipients", "a@x.test");
        Drive().SetText("edtCCRecipients", "");
        Drive().SetText(c.field, c.value);
        const size_t logged = Drive().Log().size();
        Drive().InviaMail();
        EXPECT_EQ(errors_, (Lines{"Il campo \"" + std::string(c.field) +
                                  "\" contiene caratteri che la code page 1252 non ha."}));
        EXPECT_EQ(Drive().Log().size(), logged) << c.field;
    }
}

// One address per memo line: each line is a recipient of its own.
TEST_F(SmtpSendTest, RecipientsOnePerLineInBothMemos) {
    TScriptedSmtpServer& server = Serve(Concat(
        {Greeting,
         {"C: RSET", "S: 250 ok", "C: MAIL FROM:<tecnico@example.com>", "S: 250 ok", "C: RCPT TO:<a@x.test>",
          "S: 250 ok", "C: RCPT TO:<b@y.test>", "S: 250 ok", "C: RCPT TO:<c@z.test>", "S: 250 ok",
          "C: RCPT TO:<d@w.test>", "S: 250 ok", "C: DATA", "S: 354 go", "DATA", "S: 250 ok"},
         {"SILENT"}}));
    Server(1, server.Port());
    Fill();
    Drive().SetText("edtRecipients", "a@x.test\nBi <b@y.test>");
    Drive().SetText("edtCCRecipients", "c@z.test\nd@w.test\n");
    Drive().InviaMail();
    const Lines log = Drive().Log();
    EXPECT_NE(std::find(log.begin(), log.end(), "> Inviato."), log.end());
    EXPECT_EQ(Actions().idMessage()->Recipients().Count(), 2);
    EXPECT_EQ(Actions().idMessage()->CCList().EMailAddresses(), "c@z.test, d@w.test");
    ASSERT_EQ(server.Messages().size(), 1u);
    EXPECT_NE(server.Messages()[0].find("\r\nCc: c@z.test, d@w.test\r\n"), std::string::npos);
    EXPECT_TRUE(server.Failures().empty()) << server.Failures()[0];
}
