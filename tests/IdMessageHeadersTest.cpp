#include "message/IdMessageHeaders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "message/IdAttachmentFile.h"
#include "message/IdMessage.h"
#include "message/IdText.h"
#include "tests/support/PythonRunner.h"

namespace {

class IdMessageHeaders : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LC_ALL", "it_IT.UTF-8", 1);
        setenv("TZ", "UTC-1", 1);
        tzset();
    }

    // The window's message: a bare address as From and Sender, recipients,
    // copy recipients, an accented subject and the agent line.
    void FillLikeTheWindow(TIdMessage& m, int attachments, bool body) {
        m.Clear();
        m.SetSubject("Prova di invio \xE8 cos\xEC");
        if (body) m.Body().Add("Ciao");
        m.From().SetText("mario@example.it");
        m.Sender().SetText("mario@example.it");
        m.Recipients().SetEMailAddresses("a@example.it, b@example.it");
        m.CCList().SetEMailAddresses("c@example.it");
        for (int i = 0; i < attachments; ++i) new TIdAttachmentFile(&m.MessageParts(), "/tmp/file" + std::to_string(i));
        m.ExtraHeaders().SetValues("X-Mailer", "TelVara");
    }

    static std::vector<std::string> Names(const TIdHeaderList& h) {
        std::vector<std::string> names;
        for (const auto& line : h) names.push_back(TIdHeaderList::LineName(line));
        return names;
    }
};

TEST_F(IdMessageHeaders, WindowMessageInOrder) {
    TIdMessage m;
    const std::string b = TIdMIMEBoundaryStrings::Instance().NewBoundary();
    const std::string subject = "Subject: Prova di invio =?ISO-8859-1?Q?=E8_cos=EC?=";
    struct Case {
        int attachments;
        bool body;
        std::vector<std::string> mime;
    } cases[] = {
        {2, true, {"Content-Type: multipart/mixed; boundary=\"" + b + "\"", "MIME-Version: 1.0"}},
        {2, false, {"Content-Type: multipart/mixed; boundary=\"" + b + "\"", "MIME-Version: 1.0"}},
        {1, true, {"Content-Type: multipart/mixed; boundary=\"" + b + "\"", "MIME-Version: 1.0"}},
        {1, false, {"MIME-Version: 1.0"}},
        {0, true, {}},
    };
    for (const auto& c : cases) {
        FillLikeTheWindow(m, c.attachments, c.body);
        BuildHeaders(m);
        std::vector<std::string> want = {"From: \"mario@example.it\" <mario@example.it>", subject,
                                         "To: a@example.it, b@example.it", "Cc: c@example.it"};
        want.insert(want.end(), c.mime.begin(), c.mime.end());
        want.push_back("Sender: mario@example.it");
        const TIdHeaderList& h = m.LastGeneratedHeaders();
        ASSERT_EQ(h.Count(), static_cast<int>(want.size()) + 2) << c.attachments;
        for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(h[static_cast<int>(i)], want[i]) << c.attachments;
        EXPECT_TRUE(std::regex_match(h[h.Count() - 2],
                                     std::regex("Date: (Sun|Mon|Tue|Wed|Thu|Fri|Sat), [1-9][0-9]? [A-Z][a-z]{2} "
                                                "[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} \\+0100")))
            << h[h.Count() - 2];
        EXPECT_EQ(h[h.Count() - 1], "X-Mailer: TelVara");
        if (c.attachments > 0) {
            EXPECT_EQ(h[4].size(), c.mime.size() == 2 ? 76u : 17u);
        }
        EXPECT_EQ(m.From().Name(), "mario@example.it");
    }
    // Python reads the subject back to the accented original.
    const TPythonResult r = RunPython(
        "import sys\nfrom email.header import decode_header\n"
        "print(''.join(p.decode(c or 'ascii') if isinstance(p, bytes) else p for p, c in "
        "decode_header(sys.stdin.read())).encode('utf-8').hex())",
        subject.substr(9));
    EXPECT_EQ(r.out, ToHex("Prova di invio \xC3\xA8 cos\xC3\xAC") + "\n");
}

TEST_F(IdMessageHeaders, DateFromFieldAndFixedZone) {
    TIdMessage m;
    m.SetDate(EncodeDateTime(2026, 12, 9, 2, 25, 38));
    for (const auto& [tz, line] : std::vector<std::pair<const char*, const char*>>{
             {"UTC-1", "Date: Wed, 9 Dec 2026 02:25:38 +0100"},
             {"EST5", "Date: Wed, 9 Dec 2026 02:25:38 -0500"},
             {"UTC0", "Date: Wed, 9 Dec 2026 02:25:38 +0000"}}) {
        setenv("TZ", tz, 1);
        tzset();
        BuildHeaders(m);
        const TIdHeaderList& h = m.LastGeneratedHeaders();
        EXPECT_EQ(h[h.IndexOfName("Date")], line);
    }
}

TEST_F(IdMessageHeaders, EmptyFieldsAndPriority) {
    TIdMessage m;
    m.Body().Add("x");
    BuildHeaders(m);
    EXPECT_EQ(Names(m.LastGeneratedHeaders()), std::vector<std::string>{"Date"});

    const struct {
        TIdMessagePriority priority;
        const char* value;
    } priorities[] = {{mpHighest, "1"}, {mpHigh, "2"}, {mpNormal, ""}, {mpLow, "4"}, {mpLowest, "5"}};
    for (const auto& p : priorities) {
        m.SetPriority(p.priority);
        BuildHeaders(m);
        EXPECT_EQ(m.LastGeneratedHeaders().Values("X-Priority"), p.value);
    }
    m.SetPriority(mpNormal);
    m.RawHeaders().Add("X-Priority: 1");
    BuildHeaders(m);
    EXPECT_EQ(m.LastGeneratedHeaders().IndexOfName("X-Priority"), -1);
}

TEST_F(IdMessageHeaders, AllRowsInTableOrder) {
    TIdMessage m;
    m.From().SetText("F <f@example.it>");
    m.SetSubject("S");
    m.Recipients().SetEMailAddresses("t@example.it");
    m.CCList().SetEMailAddresses("c@example.it");
    m.BccList().SetEMailAddresses("hidden@example.it");
    m.NewsGroups().Add("comp.mail");
    m.NewsGroups().Add("it news");
    m.SetCharSet("ISO-8859-1");
    m.SetContentTransferEncoding("8bit");
    new TIdText(&m.MessageParts());
    new TIdText(&m.MessageParts());
    m.Sender().SetText("s@example.it");
    m.ReplyTo().SetEMailAddresses("r@example.it");
    m.SetOrganization("Org");
    m.ReceiptRecipient().SetText("n@example.it");
    m.SetReferences("<ref@x>");
    m.SetPriority(mpLow);
    m.ExtraHeaders().Add("X-Extra: e");
    m.SetInReplyTo("orig@x");
    BuildHeaders(m);
    const TIdHeaderList& h = m.LastGeneratedHeaders();
    EXPECT_EQ(Names(h), (std::vector<std::string>{"From", "Subject", "To", "Cc", "Newsgroups", "Content-Type",
                                                 "MIME-Version", "Content-Transfer-Encoding", "Sender", "Reply-To",
                                                 "Organization", "Disposition-Notification-To", "References", "Date",
                                                 "X-Priority", "X-Extra", "In-Reply-To"}));
    EXPECT_EQ(h.Values("Newsgroups"), "comp.mail,\"it news\"");
    // The quoted boundary ends the line past column 78: nothing is left to move.
    EXPECT_EQ(h[5], "Content-Type: multipart/alternative; charset=\"ISO-8859-1\"; boundary=\"" +
                        TIdMIMEBoundaryStrings::Instance().NewBoundary() + "\"");
    EXPECT_EQ(h.Values("In-Reply-To"), "<orig@x>");
    EXPECT_EQ(h.IndexOfName("Bcc"), -1);
}

TEST_F(IdMessageHeaders, RawHeadersSeedTheBlock) {
    TIdMessage m;
    m.Body().Add("x");
    m.RawHeaders().Add("Message-ID: <self@x>");
    m.RawHeaders().Add("Subject: old");
    m.SetSubject("new");
    BuildHeaders(m);
    const TIdHeaderList& h = m.LastGeneratedHeaders();
    EXPECT_EQ(h[0], "Message-ID: <self@x>");
    EXPECT_EQ(h[1], "Subject: new");
    EXPECT_EQ(h.Values("In-Reply-To"), "<self@x>");
}

TEST_F(IdMessageHeaders, CharsetByLocaleAndHook) {
    const struct {
        const char* locale;
        TTransfer transfer;
        char letter;
        const char* charset;
    } cases[] = {
        {"it_IT.UTF-8", ttEightBit, 'Q', "ISO-8859-1"}, {"en_US.UTF-8", ttEightBit, 'Q', "ISO-8859-1"},
        {"zh_CN.UTF-8", ttEightBit, 'B', "GB2312"},     {"zh_TW.UTF-8", ttEightBit, 'B', "Big5"},
        {"ja_JP.UTF-8", ttIso2022Jp, 'B', "ISO-2022-JP"}, {"ko_KR.UTF-8", ttEightBit, 'B', "EUC-KR"},
        {"ru_RU.UTF-8", ttEightBit, 'B', "KOI8-R"},     {"uk_UA.UTF-8", ttEightBit, 'B', "windows-1251"},
    };
    TIdMessage m;
    for (const auto& c : cases) {
        setenv("LC_ALL", c.locale, 1);
        const TIdHeaderCharset cs = ChooseHeaderCharset(m);
        EXPECT_EQ(cs.Transfer, c.transfer) << c.locale;
        EXPECT_EQ(cs.Encoding, c.letter) << c.locale;
        EXPECT_EQ(cs.CharSet, c.charset) << c.locale;
    }
    setenv("LC_ALL", "it_IT.UTF-8", 1);
    m.SetOnInitializeISO([](TTransfer& t, char& letter, std::string& charset) {
        EXPECT_EQ(charset, "ISO-8859-1");
        t = ttSevenBit;
        letter = 'B';
        charset = "windows-1252";
    });
    m.SetSubject("\xE8");
    m.Body().Add("x");
    BuildHeaders(m);
    EXPECT_EQ(m.LastGeneratedHeaders().Values("Subject"), "=?windows-1252?B?6A==?=");
}

}  // namespace
