#include "message/IdMessageWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "core/Stream.h"
#include "message/IdAttachment.h"
#include "message/IdLabelledText.h"
#include "message/IdMessage.h"
#include "message/IdMessageClient.h"
#include "platform/CodePage.h"
#include "tests/support/EmailCheck.h"
#include "tests/support/MemoryIOHandler.h"

// Every message here goes through the real writer and is read back by
// Python's email package (tests/support/email_check.py); texts are given in
// UTF-8 and turned into the locale's ANSI code page, as the window does.

namespace {

// An attachment whose content is held in memory.
class TMemoryAttachment : public TIdAttachment {
public:
    TMemoryAttachment(TIdMessageParts* parts, const std::string& name, const std::string& content)
        : TIdAttachment(parts), content_(content) {
        SetFileName(name);
    }
    TStream& OpenContent() override {
        stream_ = TMemoryStream(content_);
        return stream_;
    }
    void CloseContent() override {}

private:
    std::string content_;
    TMemoryStream stream_;
};

class IdMessageWriter : public ::testing::Test {
protected:
    void SetUp() override {
        Locale("it_IT.UTF-8");
        setenv("TZ", "UTC-1", 1);
        tzset();
    }
    void TearDown() override { Locale("it_IT.UTF-8"); }

    static void Locale(const char* name) { setenv("LC_ALL", name, 1); }

    // The window's kind of message, texts in UTF-8.
    static void Fill(TIdMessage& m, const std::string& subject, const std::vector<std::string>& body) {
        m.Clear();
        m.SetSubject(Utf8ToAnsi(subject));
        for (const auto& line : body) m.Body().Add(Utf8ToAnsi(line));
        m.From().SetText("mario@example.it");
        m.Sender().SetText("mario@example.it");
        m.Recipients().SetEMailAddresses("a@example.it");
        m.SetDate(EncodeDateTime(2026, 12, 9, 2, 25, 38));
        m.ExtraHeaders().SetValues("X-Mailer", "TelVara");
    }

    static std::string Write(TIdMessage& m) {
        TMemoryIOHandler io;
        TIdMessageWriter(io).WriteMessage(m, false);
        return io.Sent();
    }

    // Written, read back, and checked for what every message must satisfy.
    static TEmailCheck WriteAndRead(TIdMessage& m, std::string* sent = nullptr) {
        const std::string text = Write(m);
        if (sent != nullptr) *sent = text;
        TEmailCheck check = CheckEmail(text);
        EXPECT_EQ(check.exitCode, 0) << text.substr(0, 400);
        EXPECT_EQ(check.defectCount, 0) << check.defects << "\n" << text.substr(0, 1500);
        EXPECT_LE(check.maxLine, 78u) << text.substr(0, 1500);
        return check;
    }
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// Runs of blanks count as one: a reader may fold or collapse them.
std::string OneBlank(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    return out;
}

std::string Unix(std::string text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

TEST_F(IdMessageWriter, LineBreaksInHeaderValuesStayInsideTheirField) {
    const struct {
        const char* typed;
        const char* arrives;
    } values[] = {
        {"Ciao\r\nX-Injected: 1", "Ciao X-Injected: 1"},
        {"Ciao\rX-Injected: 1", "Ciao X-Injected: 1"},
        {"Ciao\nX-Injected: 1", "Ciao X-Injected: 1"},
        {"Ciao\r\n\r\nX-Injected: 1", "Ciao  X-Injected: 1"},
        {"Ciao\r\n X-Injected: 1", "Ciao  X-Injected: 1"},
        {"Perch\xC3\xA9\r\nX-Injected: \xE2\x82\xAC", "Perch\xC3\xA9 X-Injected: \xE2\x82\xAC"},
    };
    using TSetter = void (*)(TIdMessage&, const std::string&);
    const struct {
        const char* field;
        TSetter set;
    } fields[] = {
        {"Subject", [](TIdMessage& m, const std::string& v) { m.SetSubject(v); }},
        {"Organization", [](TIdMessage& m, const std::string& v) { m.SetOrganization(v); }},
        {"From", [](TIdMessage& m, const std::string& v) { m.From().SetName(v); }},
        {"To", [](TIdMessage& m, const std::string& v) { m.Recipients().Items(0)->SetName(v); }},
        {"Cc",
         [](TIdMessage& m, const std::string& v) {
             TIdEMailAddressItem* item = m.CCList().Add();
             item->SetAddress("c@example.it");
             item->SetName(v);
         }},
    };
    for (const auto& field : fields) {
        for (const auto& value : values) {
            SCOPED_TRACE(std::string(field.field) + ": " + value.typed);
            TIdMessage m;
            Fill(m, "Prova", {"Corpo"});
            field.set(m, Utf8ToAnsi(value.typed));
            const TEmailCheck check = WriteAndRead(m);
            EXPECT_EQ(check.HeaderCount("X-Injected"), 0);
            EXPECT_EQ(check.HeaderCount(field.field), 1);
            EXPECT_NE(OneBlank(check.Header(field.field)).find(OneBlank(value.arrives)), std::string::npos)
                << check.Header(field.field);
            ASSERT_EQ(check.parts.size(), 1u);
            EXPECT_EQ(Unix(check.parts[0].content), "Corpo\n\n");  // a plain body ends with an empty line
        }
    }
}

// Extra header lines go out as given, so only their line breaks are at stake.
TEST_F(IdMessageWriter, LineBreaksInExtraHeadersStayInsideTheirLine) {
    for (const char* value : {"Ciao\r\nX-Injected: 1", "Ciao\nX-Injected: 1", "Ciao\r\n\r\nX-Injected: 1"}) {
        SCOPED_TRACE(value);
        TIdMessage m;
        Fill(m, "Prova", {"Corpo"});
        m.ExtraHeaders().SetValues("X-Mailer", value);
        m.ExtraHeaders().Add(std::string("X-Raw: ") + value);
        m.ExtraHeaders().Add("");
        const TEmailCheck check = WriteAndRead(m);
        EXPECT_EQ(check.HeaderCount("X-Injected"), 0);
        EXPECT_EQ(OneBlank(check.Header("X-Mailer")), "Ciao X-Injected: 1");
        EXPECT_EQ(OneBlank(check.Header("X-Raw")), "Ciao X-Injected: 1");
        ASSERT_EQ(check.parts.size(), 1u);
        EXPECT_EQ(Unix(check.parts[0].content), "Corpo\n\n");
    }
}

// Values of part header lines set through the API stay on their line too.
TEST_F(IdMessageWriter, LineBreaksInPartHeaderValuesStayInsideTheirLine) {
    TIdMessage m;
    Fill(m, "Prova", {"Corpo"});
    auto* part = new TMemoryAttachment(&m.MessageParts(), "a\r\nX-Injected: 1.txt", "x");
    part->SetContentType("application/octet-stream\r\nX-Injected: 1");
    part->SetContentID("<id@x>\r\nX-Injected: 1");
    part->SetContentDisposition("attachment\nX-Injected: 1");
    const std::string sent = Write(m);
    EXPECT_EQ(sent.find("\nX-Injected"), std::string::npos) << sent;
}

// The sender goes out as given; a name with 8-bit bytes in encoded form.
TEST_F(IdMessageWriter, SenderWithAnAccentedName) {
    TIdMessage m;
    Fill(m, "Prova", {"Corpo"});
    m.Sender().SetName(Utf8ToAnsi("Nicol\xC3\xB2 Rossi"));
    std::string sent;
    const TEmailCheck check = WriteAndRead(m, &sent);
    EXPECT_EQ(check.Header("Sender"), "Nicol\xC3\xB2 Rossi <mario@example.it>");
    EXPECT_EQ(HasEightBitBytes(sent), false);
}

TEST_F(IdMessageWriter, NulInAHeaderValueIsDropped) {
    TIdMessage m;
    Fill(m, "Prova", {"Corpo"});
    m.SetSubject(std::string("Ci\0ao", 5));
    const TEmailCheck check = WriteAndRead(m);
    EXPECT_EQ(check.Header("Subject"), "Ciao");
}

// Under each code page, a subject and a body are labelled with the charset
// their bytes are in, and decode to what was typed.
TEST_F(IdMessageWriter, CharsetLabelsNameTheBytes) {
    const struct {
        const char* locale;
        const char* text;
        const char* label;
    } cases[] = {
        {"it_IT.UTF-8", "Perch\xC3\xA9 no", "ISO-8859-1"},
        {"it_IT.UTF-8", "Costa 5 \xE2\x82\xAC", "windows-1252"},
        {"C", "\xE2\x80\x9C" "citato\xE2\x80\x9D \xC3\xA8", "windows-1252"},
        {"en_US.UTF-8", "na\xC3\xAFve", "ISO-8859-1"},
        {"ru_RU.UTF-8", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "KOI8-R"},
        {"ru_RU.UTF-8", "\xD0\xA6\xD0\xB5\xD0\xBD\xD0\xB0 5 \xE2\x82\xAC", "windows-1251"},
        {"uk_UA.UTF-8", "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD1\x96\xD1\x82", "windows-1251"},
        {"ko_KR.UTF-8", "\xEC\x95\x88\xEB\x85\x95\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94", "EUC-KR"},
        {"ko_KR.UTF-8", "\xEB\x98\xA0", "UTF-8"},  // not in KS X 1001, only in code page 949
        {"zh_CN.UTF-8", "\xE4\xB8\xAD\xE6\x96\x87", "GB2312"},
        {"zh_CN.UTF-8", "\xE9\x95\x95", "GBK"},  // not in GB 2312
        {"zh_TW.UTF-8", "\xE4\xB8\xAD\xE6\x96\x87", "Big5"},
        {"ja_JP.UTF-8", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "ISO-2022-JP"},
        {"ja_JP.SJIS", "\xE2\x91\xA0", "UTF-8"},        // circled one: code page 932 only
        {"ja_JP.EUC-JP", "\xEF\xBD\xB6\xEF\xBE\x85", "UTF-8"},  // half-width katakana
    };
    for (const auto& c : cases) {
        for (const bool eightBit : {false, true}) {
            SCOPED_TRACE(std::string(c.locale) + " " + c.text + (eightBit ? " 8BITMIME" : ""));
            Locale(c.locale);
            TIdMessage m;
            Fill(m, c.text, {c.text, "riga due"});
            m.SetEightBitMime(eightBit);
            std::string sent;
            const TEmailCheck check = WriteAndRead(m, &sent);
            EXPECT_EQ(check.Header("Subject"), c.text);
            EXPECT_NE(sent.find("=?" + std::string(c.label) + "?"), std::string::npos) << sent;
            EXPECT_EQ(check.Header("MIME-Version"), "1.0");
            ASSERT_EQ(check.parts.size(), 1u);
            EXPECT_EQ(check.parts[0].contentType, "text/plain");
            EXPECT_EQ(check.parts[0].charset, LowerCase(c.label));
            EXPECT_EQ(Unix(check.parts[0].content), std::string(c.text) + "\nriga due\n\n");
            const std::string transfer = check.Header("Content-Transfer-Encoding");
            if (std::string(c.label) == "ISO-2022-JP")
                EXPECT_EQ(transfer, "7bit");
            else
                EXPECT_EQ(transfer, eightBit ? "8bit" : "quoted-printable");
        }
    }
}

// A MIME message without parts labels its body the same way.
TEST_F(IdMessageWriter, MimeMessageWithoutPartsIsLabelled) {
    TIdMessage m;
    Fill(m, "Prova", {"Perch\xC3\xA9 5 \xE2\x82\xAC"});
    m.SetEncoding(meMIME);
    const TEmailCheck check = WriteAndRead(m);
    EXPECT_EQ(check.Header("Content-Transfer-Encoding"), "quoted-printable");
    ASSERT_EQ(check.parts.size(), 1u);
    EXPECT_EQ(check.parts[0].charset, "windows-1252");
    EXPECT_EQ(Unix(check.parts[0].content), "Perch\xC3\xA9 5 \xE2\x82\xAC\n\n");
}

TEST_F(IdMessageWriter, AsciiMessageStaysAsItWas) {
    TIdMessage m;
    Fill(m, "Prova di invio", {"Riga uno", ".punto"});
    m.SetEightBitMime(true);
    EXPECT_EQ(Write(m),
              "From: \"mario@example.it\" <mario@example.it>\r\n"
              "Subject: Prova di invio\r\n"
              "To: a@example.it\r\n"
              "Sender: mario@example.it\r\n"
              "Date: Wed, 9 Dec 2026 02:25:38 +0100\r\n"
              "X-Mailer: TelVara\r\n"
              "\r\n"
              "Riga uno\r\n"
              ".punto\r\n"  // stuffed on its way out, by the data phase filter
              "\r\n");
}

// The body beside attachments becomes a text part; it gets the same label
// and transfer encoding as a body alone.
TEST_F(IdMessageWriter, TextPartBesideAttachmentsIsLabelled) {
    const struct {
        const char* locale;
        const char* text;
        bool eightBit;
        const char* charset;
        const char* transfer;
    } cases[] = {
        {"it_IT.UTF-8", "Perch\xC3\xA9 5 \xE2\x82\xAC", true, "windows-1252", "8bit"},
        {"it_IT.UTF-8", "Perch\xC3\xA9 5 \xE2\x82\xAC", false, "windows-1252", "quoted-printable"},
        {"it_IT.UTF-8", "perch\xC3\xA9", false, "ISO-8859-1", "quoted-printable"},
        {"ja_JP.UTF-8", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", false, "ISO-2022-JP", "7bit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.text);
        Locale(c.locale);
        TIdMessage m;
        Fill(m, "Prova", {c.text});
        m.SetEightBitMime(c.eightBit);
        new TMemoryAttachment(&m.MessageParts(), "dati.bin", "\x01\x02\x03");
        std::string sent;
        const TEmailCheck check = WriteAndRead(m, &sent);
        ASSERT_EQ(check.parts.size(), 2u);
        EXPECT_EQ(check.parts[0].charset, LowerCase(c.charset));
        EXPECT_EQ(Unix(check.parts[0].content), std::string(c.text) + "\n");
        EXPECT_NE(sent.find("Content-Transfer-Encoding: " + std::string(c.transfer) + "\r\n"), std::string::npos)
            << sent;
        EXPECT_EQ(check.parts[1].content, "\x01\x02\x03");
    }
}

// Long subjects become several encoded words, each one decodable alone,
// in every code page the program supports; no line passes 78 octets.
TEST_F(IdMessageWriter, LongSubjectsDecodeInEveryCodePage) {
    const std::string japanese = "\xE9\x95\xB7\xE3\x81\x84\xE4\xBB\xB6\xE5\x90\x8D\xE3\x81\xAE\xE3\x83\x86\xE3\x82\xB9"
                                 "\xE3\x83\x88\xE3\x81\xA7\xE3\x81\x99\xE3\x80\x81\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"
                                 "\xE3\x81\xAE\xE6\x96\x87\xE5\xAD\x97\xE3\x80\x82";
    const struct {
        const char* locale;
        std::string text;
    } cases[] = {
        {"ja_JP.UTF-8", Repeat(japanese, 8)},
        {"ja_JP.SJIS", Repeat(japanese, 8)},
        {"ja_JP.EUC-JP", Repeat(japanese, 8)},
        {"ja_JP.UTF-8", Repeat("\xE2\x91\xA0\xE6\x97\xA5", 40)},     // goes as UTF-8
        {"ja_JP.UTF-8", Repeat("ab \xE6\x97\xA5\xE6\x9C\xAC ", 30)},  // ASCII between Japanese words
        {"zh_CN.UTF-8", Repeat("\xE4\xB8\xAD\xE6\x96\x87\xE9\x95\x95", 40)},
        {"zh_TW.UTF-8", Repeat("\xE4\xB8\xAD\xE6\x96\x87", 60)},
        {"ko_KR.UTF-8", Repeat("\xEC\x95\x88\xEB\x85\x95", 60)},
        {"it_IT.UTF-8", Repeat("perch\xC3\xA9\xE2\x82\xAC ", 40)},
        {"C", Repeat("\xC3\xA8\xE2\x82\xAC", 60)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        Locale(c.locale);
        TIdMessage m;
        Fill(m, c.text, {"Corpo"});
        const TEmailCheck check = WriteAndRead(m);
        EXPECT_EQ(check.Header("Subject"), TrimRight(c.text));  // a blank at the end carries no meaning
    }
}

TEST_F(IdMessageWriter, ThreeThousandCharacterFields) {
    const std::string cases[] = {
        std::string(3000, 'a'),
        Repeat("parola ", 428),
        Repeat("\xC3\xA8", 3000),
        Repeat("\xE2\x82\xAC", 3000),
        Repeat("\"x\", ", 500),
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text.substr(0, 20));
        TIdMessage m;
        Fill(m, text, {"Corpo"});
        m.SetOrganization(Utf8ToAnsi(text));
        m.From().SetName(Utf8ToAnsi(text));
        const TEmailCheck check = WriteAndRead(m);
        EXPECT_EQ(check.Header("Subject"), TrimRight(text));
        EXPECT_EQ(check.Header("Organization"), TrimRight(text));
        EXPECT_NE(check.Header("From").find("<mario@example.it>"), std::string::npos);
    }
}

TEST_F(IdMessageWriter, LongAddressListsFold) {
    TIdMessage m;
    Fill(m, "Prova", {"Corpo"});
    std::string list;
    for (int i = 0; i < 60; ++i) list += "Ufficio " + std::to_string(i) + " <ufficio" + std::to_string(i) + "@example.it>, ";
    m.Recipients().SetEMailAddresses(list);
    m.CCList().SetEMailAddresses(list);
    const TEmailCheck check = WriteAndRead(m);
    EXPECT_NE(check.Header("To").find("Ufficio 59 <ufficio59@example.it>"), std::string::npos);
    EXPECT_NE(check.Header("Cc").find("Ufficio 0 <ufficio0@example.it>"), std::string::npos);
}

TEST_F(IdMessageWriter, LongBodyLinesGoQuotedPrintable) {
    const struct {
        std::string line;
        bool eightBit;
        const char* charset;
    } cases[] = {
        {std::string(3000, 'a'), true, "us-ascii"},
        {Repeat("parola ", 200), false, "us-ascii"},
        {Repeat("\xC3\xA8", 1500), true, "iso-8859-1"},
    };
    for (const auto& c : cases) {
        TIdMessage m;
        Fill(m, "Prova", {c.line, "fine"});
        m.SetEightBitMime(c.eightBit);
        const TEmailCheck check = WriteAndRead(m);
        EXPECT_EQ(check.Header("Content-Transfer-Encoding"), "quoted-printable");
        ASSERT_EQ(check.parts.size(), 1u);
        EXPECT_EQ(check.parts[0].charset, c.charset);
        EXPECT_EQ(Unix(check.parts[0].content), c.line + "\nfine\n\n");
    }
}

// A soft break may leave a dot at the start of a wire line; the data phase
// filter stuffs it like any other, and the server's unstuffing gives the
// text back.
TEST_F(IdMessageWriter, DotAfterASoftBreakIsStuffed) {
    TIdMessage m;
    const std::string line = std::string(70, 'a') + "." + std::string(20, 'b') + "\xC3\xA8";
    Fill(m, "Prova", {line});
    TMemoryIOHandler io;
    TIdMessageClient client;
    client.SetIOHandler(&io);
    client.WriteMessage(m);
    client.SetIOHandler(nullptr);
    const std::string sent = io.Sent();
    EXPECT_NE(sent.find("=\r\n..b"), std::string::npos) << sent;
    std::string unstuffed;
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == '.' && i > 0 && sent[i - 1] == '\n') continue;
        unstuffed += sent[i];
    }
    const TEmailCheck check = CheckEmail(unstuffed);
    ASSERT_EQ(check.parts.size(), 1u);
    EXPECT_EQ(Unix(check.parts[0].content), line + "\n\n");
}

TEST_F(IdMessageWriter, AttachmentNamesDecode) {
    const struct {
        const char* locale;
        std::string name;
    } cases[] = {
        {"it_IT.UTF-8", "perch\xC3\xA9.txt"},
        {"it_IT.UTF-8", "prezzo \xE2\x82\xAC 5.txt"},
        {"it_IT.UTF-8", Repeat("Universit\xC3\xA0 \xE2\x80\x93 relazione ", 6) + "gi\xC3\xA0.txt"},
        {"ja_JP.SJIS", "\xE5\xA0\xB1\xE5\x91\x8A\xE6\x9B\xB8.txt"},
        // In code page 932 the katakana "so" and the kanji "hyou" end in
        // 0x5C, the byte of a backslash.
        {"ja_JP.SJIS", "\xE3\x82\xBD\xE3\x83\x95\xE3\x83\x88\xE8\xA1\xA8.txt"},
        {"ja_JP.UTF-8", "\xE8\xA1\xA8\xE7\xA4\xBA.txt"},
        {"it_IT.UTF-8", "Verbale 10:30.txt"},
        {"it_IT.UTF-8", "copia\\originale.txt"},
        {"it_IT.UTF-8", "semplice.txt"},
        {"it_IT.UTF-8", "con \"virgolette\".txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Locale(c.locale);
        TIdMessage m;
        Fill(m, "Prova", {"Corpo"});
        new TMemoryAttachment(&m.MessageParts(), "/tmp/cartella/" + Utf8ToAnsi(c.name), "contenuto");
        const TEmailCheck check = WriteAndRead(m);
        ASSERT_EQ(check.parts.size(), 2u);
        EXPECT_EQ(check.parts[1].fileName, c.name);
        EXPECT_EQ(check.parts[1].content, "contenuto");
    }
}

TEST_F(IdMessageWriter, AsciiAttachmentNameKeepsItsQuotedForm) {
    TIdMessage m;
    Fill(m, "Prova", {});
    new TMemoryAttachment(&m.MessageParts(), "semplice.txt", "x");
    const std::string sent = Write(m);
    EXPECT_NE(sent.find("Content-Type: application/octet-stream;\r\n        name=\"semplice.txt\"\r\n"),
              std::string::npos);
    EXPECT_NE(sent.find("Content-Disposition: attachment;\r\n        filename=\"semplice.txt\"\r\n"),
              std::string::npos);
}

}  // namespace
