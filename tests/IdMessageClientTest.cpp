#include "message/IdMessageClient.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "message/IdAttachmentFile.h"
#include "message/IdCoderMIME.h"
#include "message/IdMessage.h"
#include "message/IdMessageWriter.h"
#include "message/IdText.h"
#include "tests/support/MemoryIOHandler.h"
#include "tests/support/PythonRunner.h"

namespace {

class TTempDir {
public:
    TTempDir() {
        char name[] = "/tmp/msgwriterXXXXXX";
        path_ = mkdtemp(name);
    }
    ~TTempDir() { std::filesystem::remove_all(path_); }
    std::string File(const std::string& name, const std::string& content) const {
        const std::string path = path_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

private:
    std::string path_;
};

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// Base64 lines of 76 characters, each 57 bytes, for the expectations.
std::string Base64Lines(const std::string& data) {
    std::string out;
    for (size_t i = 0; i < data.size(); i += 57) out += TIdEncoderMIME::EncodeString(data.substr(i, 57)) + "\r\n";
    return out;
}

class IdMessageClient : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LC_ALL", "it_IT.UTF-8", 1);
        setenv("TZ", "UTC-1", 1);
        tzset();
        client_.SetIOHandler(&io_);
    }
    void TearDown() override { client_.SetIOHandler(nullptr); }

    // The window's kind of message.
    void Fill(TIdMessage& m, const std::vector<std::string>& body, const std::vector<std::string>& files) {
        m.Clear();
        m.SetSubject("Prova");
        for (const auto& line : body) m.Body().Add(line);
        m.From().SetText("mario@example.it");
        m.Sender().SetText("mario@example.it");
        m.Recipients().SetEMailAddresses("a@example.it");
        m.SetDate(EncodeDateTime(2026, 12, 9, 2, 25, 38));
        for (const auto& path : files) new TIdAttachmentFile(&m.MessageParts(), path);
        m.ExtraHeaders().SetValues("X-Mailer", "TelVara");
    }

    std::string Write(TIdMessage& m) {
        io_.ClearSent();
        client_.WriteMessage(m);
        return io_.Sent();
    }

    static std::string HeaderText(TIdMessage& m) { return m.LastGeneratedHeaders().Text(); }

    TMemoryIOHandler io_;
    TIdMessageClient client_;
    TTempDir dir_;
    const std::string boundary_ = TIdMIMEBoundaryStrings::Instance().NewBoundary();
};

std::string AttachmentBlock(const std::string& name, const std::string& data) {
    return "Content-Type: application/octet-stream;\r\n"
           "        name=\"" + name + "\"\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment;\r\n"
           "        filename=\"" + name + "\"\r\n"
           "\r\n" + Base64Lines(data) + "\r\n";
}

TEST_F(IdMessageClient, WindowMessageWithBodyAndTwoAttachments) {
    const std::string d1 = RandomBytes(200, 1), d2 = RandomBytes(114, 2);
    TIdMessage m;
    Fill(m, {"Ciao \xE8", ".", ".x"}, {dir_.File("uno.bin", d1), dir_.File("due.pdf", d2)});
    m.SetEightBitMime(true);  // a server that takes 8-bit text
    const std::string sent = Write(m);
    const std::string b = boundary_;
    const std::string expected = HeaderText(m) +
                                 "\r\n"
                                 "This is a multi-part message in MIME format\r\n"
                                 "\r\n"
                                 "--" + b + "\r\n"
                                 "Content-Type: text/plain ; charset=\"ISO-8859-1\"\r\n"
                                 "Content-Transfer-Encoding: 8bit\r\n"
                                 "\r\n"
                                 "Ciao \xE8\r\n..\r\n..x\r\n"
                                 "\r\n"
                                 "--" + b + "\r\n" + AttachmentBlock("uno.bin", d1) +
                                 "--" + b + "\r\n" + AttachmentBlock("due.pdf", d2) +
                                 "--" + b + "--\r\n"
                                 "\r\n";
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(m.LastGeneratedHeaders().Values("Content-Type"), "multipart/mixed; boundary=\"" + b + "\"");
    EXPECT_EQ(m.MIMEBoundary().Count(), 0);
    EXPECT_EQ(m.MessageParts().Count(), 3);  // the body became a text part
    // A second write of a cleared and refilled message gives the same bytes.
    Fill(m, {"Ciao \xE8", ".", ".x"}, {dir_.File("uno.bin", d1), dir_.File("due.pdf", d2)});
    EXPECT_EQ(Write(m), expected);
}

TEST_F(IdMessageClient, EmptyBodyShapes) {
    const std::string d1 = RandomBytes(60, 3), d2 = std::string();
    TIdMessage m;
    Fill(m, {}, {dir_.File("uno.bin", d1), dir_.File("vuoto.bin", d2)});
    std::string sent = Write(m);
    EXPECT_EQ(sent, HeaderText(m) + "\r\nThis is a multi-part message in MIME format\r\n\r\n--" + boundary_ + "\r\n" +
                        AttachmentBlock("uno.bin", d1) + "--" + boundary_ + "\r\n" +
                        AttachmentBlock("vuoto.bin", d2) + "--" + boundary_ + "--\r\n\r\n");

    Fill(m, {"", " \t"}, {dir_.File("uno.bin", d1)});
    sent = Write(m);
    EXPECT_EQ(m.LastGeneratedHeaders().IndexOfName("Content-Type"), -1);
    EXPECT_EQ(m.LastGeneratedHeaders().Values("MIME-Version"), "1.0");
    EXPECT_EQ(sent, HeaderText(m) + AttachmentBlock("uno.bin", d1));

    Fill(m, {"riga", ".", ".x", "..y"}, {});
    sent = Write(m);
    EXPECT_EQ(m.LastGeneratedHeaders().IndexOfName("MIME-Version"), -1);
    EXPECT_EQ(sent, HeaderText(m) + "\r\nriga\r\n..\r\n..x\r\n...y\r\n\r\n");
}

TEST_F(IdMessageClient, DotStuffingInPartsAndCopiedLines) {
    TIdMessage m;
    Fill(m, {}, {});
    auto* text = new TIdText(&m.MessageParts());
    text->Body().Add(".");
    text->Body().Add(".x");
    text->SetContentTransfer("7bit");
    auto* qp = new TIdText(&m.MessageParts());
    qp->Body().Add(std::string(70, 'a') + ".dot");
    qp->Body().Add(".");
    auto* copied = new TIdAttachmentFile(&m.MessageParts(), dir_.File("t.txt", ".\r\n.x\r\nlf\n.y\rcr.\r\nlast"));
    copied->SetContentTransfer("7bit");
    const std::string sent = Write(m);
    EXPECT_NE(sent.find("\r\n\r\n..\r\n..x\r\n\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("\r\n" + std::string(70, 'a') + "=\r\n..dot\r\n=2E\r\n"), std::string::npos) << sent;
    EXPECT_NE(sent.find("Content-Type: text/plain;\r\n        name=\"t.txt\"\r\nContent-Transfer-Encoding: 7bit\r\n"),
              std::string::npos);
    EXPECT_NE(sent.find("\r\n\r\n..\r\n..x\r\nlf\r\n..y\r\ncr.\r\nlast\r\n--"), std::string::npos) << sent;
    // Nothing but CR LF line ends leave the writer.
    for (size_t i = 0; i < sent.size(); ++i) {
        if (sent[i] == '\n') {
            ASSERT_TRUE(i > 0 && sent[i - 1] == '\r') << i;
        }
        if (sent[i] == '\r') {
            ASSERT_TRUE(i + 1 < sent.size() && sent[i + 1] == '\n') << i;
        }
    }
}

TEST_F(IdMessageClient, BodyLinesHoldingLineBreaksLeaveAsStuffedWireLines) {
    const struct {
        std::vector<std::string> body;
        std::string wire;
    } cases[] = {
        {{"x\r\n.\r\ny"}, "x\r\n..\r\ny\r\n"},
        {{"a\nb", ".\rc"}, "a\r\nb\r\n..\r\nc\r\n"},
        {{"end\r\n."}, "end\r\n..\r\n"},
        {{"cr\r", ".lf\n", "."}, "cr\r\n\r\n..lf\r\n\r\n..\r\n"},
    };
    for (const auto& c : cases) {
        TIdMessage m;
        Fill(m, c.body, {});
        const std::string sent = Write(m);
        EXPECT_EQ(sent, HeaderText(m) + "\r\n" + c.wire + "\r\n") << c.body[0];
        EXPECT_EQ(sent.find("\r\n.\r\n"), std::string::npos) << sent;
    }
}

TEST_F(IdMessageClient, PlainTextWithUuencodedAttachments) {
    TIdMessage m;
    Fill(m, {"testo", ".punto"}, {dir_.File("a.bin", std::string(14, 'z')), dir_.File("b.bin", "xy")});
    m.SetEncoding(mePlainText);
    m.SetAttachmentEncoding("XXE");
    static_cast<TIdAttachment*>(m.MessageParts().Items(0))->SetContentTransfer("UUE");
    const std::string sent = Write(m);
    EXPECT_EQ(m.LastGeneratedHeaders().IndexOfName("MIME-Version"), -1);
    // Expected lines from Python's binascii.b2a_uu (mapped to the xx table
    // for b.bin); the 14-byte line starts with "." and is stuffed.
    const std::string uue = "begin 660 a.bin\r\n..>GIZ>GIZ>GIZ>GIZ>GH`\r\n`\r\nend\r\n";
    const std::string xxe = "begin 660 b.bin\r\n0S5Y+\r\n+\r\nend\r\n";
    EXPECT_EQ(sent, HeaderText(m) + "\r\ntesto\r\n..punto\r\n\r\n" + uue + "\r\n" + xxe + "\r\n");
    EXPECT_EQ(static_cast<TIdAttachment*>(m.MessageParts().Items(1))->ContentTransfer(), "XXE");
}

TEST_F(IdMessageClient, WholeBodyEncodingAndItsGuard) {
    TIdMessage m;
    Fill(m, {"caff\xE8", "."}, {});
    m.SetContentTransferEncoding("quoted-printable");
    std::string sent = Write(m);
    EXPECT_EQ(sent, HeaderText(m) + "\r\ncaff=E8\r\n=2E\r\n");
    m.SetContentTransferEncoding("base64");
    sent = Write(m);
    EXPECT_EQ(sent, HeaderText(m) + "\r\n" + Base64Lines("caff\xE8\r\n.\r\n"));
    new TIdText(&m.MessageParts());
    io_.ClearSent();
    try {
        client_.WriteBody(m);
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Message parts cannot be used in a message which has a ContentTransferEncoding value.");
    }
    EXPECT_EQ(io_.Sent(), "");
}

TEST_F(IdMessageClient, NestedMultipartsAndTextSectionHeaders) {
    TIdMessage m;
    Fill(m, {}, {});
    auto* alt = new TIdText(&m.MessageParts());
    alt->SetContentType("multipart/alternative");
    auto* plain = new TIdText(&m.MessageParts());
    plain->SetParentPart(0);
    plain->Body().Add("plain");
    plain->SetContentTransfer("7bit");
    auto* html = new TIdText(&m.MessageParts());
    html->SetParentPart(0);
    html->SetContentType("text/html; charset=us-ascii; format=x");
    html->SetCharSet("ISO-8859-1");
    html->SetContentID("<h@x>");
    html->ExtraHeaders().Add("X-Part: 1");
    html->Body().Add("<p>");
    html->SetContentTransfer("base64");
    auto* orphan = new TIdAttachmentFile(&m.MessageParts(), dir_.File("o.bin", "o"));
    orphan->SetParentPart(7);  // names a parent that does not exist
    const std::string sent = Write(m);
    const std::string b = boundary_;
    const std::string inner = sent.substr(sent.find("        boundary=\"") + 18, 35);
    EXPECT_EQ(inner.substr(0, 34), b);
    const std::string body = sent.substr(HeaderText(m).size());
    EXPECT_EQ(body,
              "\r\nThis is a multi-part message in MIME format\r\n\r\n"
              "--" + b + "\r\nContent-Type: multipart/alternative;\r\n        boundary=\"" + inner + "\"\r\n\r\n"
              "--" + inner + "\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 7bit\r\n\r\nplain\r\n\r\n"
              "--" + inner + "\r\nContent-Type: text/html; format=x ; charset=\"ISO-8859-1\"\r\n"
              "Content-Transfer-Encoding: base64\r\nContent-ID: <h@x>\r\nX-Part: 1\r\n\r\n" +
                  Base64Lines("<p>\r\n") + "\r\n"
              "--" + inner + "--\r\n\r\n"
              "--" + b + "\r\n" + AttachmentBlock("o.bin", "o") +
              "--" + b + "--\r\n\r\n");
}

TEST_F(IdMessageClient, UnreadableFileFailsAfterThePartHeaders) {
    TIdMessage m;
    const std::string path = dir_.File("gone.bin", "x");
    Fill(m, {"body"}, {path});
    std::filesystem::remove(path);
    int begins = 0, ends = 0;
    client_.SetOnWorkBegin([&](TComponent*, TWorkMode mode, int32_t) { begins += mode == WorkWrite; });
    client_.SetOnWorkEnd([&](TComponent*, TWorkMode mode) { ends += mode == WorkWrite; });
    io_.ClearSent();
    try {
        client_.WriteMessage(m);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file " + path);
    }
    EXPECT_EQ(begins, ends);
    EXPECT_GE(begins, 1);
    EXPECT_FALSE(io_.WriteBufferOpen());
    const std::string sent = io_.Sent();
    EXPECT_EQ(sent.substr(sent.size() - 31), "        filename=\"gone.bin\"\r\n\r\n");
}

TEST_F(IdMessageClient, StatusTextsInOrder) {
    TIdMessage m;
    Fill(m, {"b"}, {dir_.File("a.bin", "a")});
    std::vector<std::string> texts;
    io_.SetOnStatus([&](TComponent*, TIdStatus status, const std::string& text) {
        if (status == StatusText) texts.push_back(text);
    });
    Write(m);
    EXPECT_EQ(texts, (std::vector<std::string>{"Encoding text", "Encoding attachment"}));
}

TEST_F(IdMessageClient, RawModeAndJapaneseBodyLines) {
    TIdMessage m;
    m.SetNoEncode(true);
    m.RawHeaders().Add("Subject: raw");
    m.RawHeaders().Add(".odd: x");
    m.Body().Add(".");
    m.Body().Add("b");
    EXPECT_EQ(Write(m), "Subject: raw\r\n..odd: x\r\n\r\n..\r\nb\r\n");
    io_.ClearSent();
    client_.WriteMessage(m, true);
    EXPECT_EQ(io_.Sent(), "Subject: raw\r\n..odd: x\r\n\r\n");

    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    TIdMessage jp;
    Fill(jp, {"\x93\xfa\x96\x7b", ".x"}, {});
    const std::string sent = Write(jp);
    EXPECT_EQ(sent.substr(HeaderText(jp).size()), "\r\n\x1B$BF|K\\\x1B(B\r\n..x\r\n\r\n");
}

TEST(DropParameter, Cases) {
    const struct {
        const char *value, *name, *result;
    } cases[] = {
        {"text/plain; charset=us-ascii", "charset", "text/plain"},
        {"text/plain; charset=us-ascii; format=flowed", "charset", "text/plain; format=flowed"},
        {"text/plain", "charset", "text/plain"},
        {"text/plain; CHARSET=x", "charset", "text/plain"},
        {"charset=x", "charset", ""},
        {"text/plain; charset=x;", "charset", "text/plain; "},
    };
    for (const auto& c : cases) EXPECT_EQ(DropParameter(c.value, c.name), c.result) << c.value;
}

TEST_F(IdMessageClient, LargeAttachmentLeavesInLargeWrites) {
    TIdMessage m;
    const std::string data = RandomBytes(3 << 20, 4);
    Fill(m, {"body"}, {dir_.File("big.bin", data)});
    io_.SetKeepBytes(false);
    io_.ClearSent();
    client_.WriteMessage(m);
    const auto& sends = io_.Sends();
    ASSERT_GT(sends.size(), 1u);
    for (size_t i = 0; i + 1 < sends.size(); ++i) EXPECT_GE(sends[i], 32u * 1024) << i;
    EXPECT_GT(io_.TotalSent(), data.size() * 4 / 3);
    EXPECT_LT(sends.size(), io_.TotalSent() / (32 * 1024) + 2);
}

// Python's email package reads what the writer produced: no defects, the
// headers decode to the originals and every attachment to its bytes.
const char* kParseScript = R"PY(
import sys, email, email.policy
from email.header import decode_header, make_header
raw = sys.stdin.buffer.read()
msg = email.message_from_bytes(raw, policy=email.policy.compat32)
defects = list(msg.defects)
for part in msg.walk():
    defects += part.defects
print('defects', len(defects), ' '.join(type(d).__name__ for d in defects))
print('subject', str(make_header(decode_header(msg['Subject']))).encode('utf-8').hex())
for part in msg.walk():
    if part.is_multipart():
        continue
    payload = part.get_payload(decode=True) or b''
    name = part.get_filename() or '-'
    print('part', part.get_content_type(), name, payload.hex())
)PY";

struct TParsed {
    std::string defects, subject;
    std::vector<std::vector<std::string>> parts;
};

TParsed ParseWithPython(const std::string& message) {
    const TPythonResult r = RunPython(kParseScript, message);
    EXPECT_EQ(r.exitCode, 0) << message.substr(0, 300);
    TParsed parsed;
    std::istringstream lines(r.out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string kind;
        words >> kind;
        if (kind == "defects") std::getline(words, parsed.defects);
        if (kind == "subject") words >> parsed.subject;
        if (kind == "part") {
            std::vector<std::string> fields(3);
            words >> fields[0] >> fields[1] >> fields[2];
            parsed.parts.push_back(fields);
        }
    }
    return parsed;
}

TEST_F(IdMessageClient, PythonReadsWhatTheWriterWrote) {
    const std::string d1 = RandomBytes(5000, 7), d2 = RandomBytes(57 * 3, 8);
    const std::string f1 = dir_.File("primo.bin", d1), f2 = dir_.File("secondo.pdf", d2);
    struct Case {
        const char* what;
        std::vector<std::string> body;
        std::vector<std::string> files;
        bool qpText;
    } cases[] = {
        {"plain", {"riga uno", ".", "riga tre"}, {}, false},
        {"one attachment", {"corpo"}, {f1}, false},
        {"two attachments", {"corpo"}, {f1, f2}, false},
        {"attachment only", {}, {f2}, false},
        {"accented", {"perch\xE9 cos\xEC \xE8 citt\xE0"}, {f1}, false},
        {"quoted-printable text part", {}, {f1}, true},
    };
    for (const auto& c : cases) {
        TIdMessage m;
        Fill(m, c.body, c.files);
        m.SetSubject("Prova \xE8 cos\xEC");
        if (c.qpText) {
            auto* text = new TIdText(&m.MessageParts());
            text->Body().Add(std::string(150, 'q') + " caff\xE8 =");
            text->Body().Add(".");
        }
        std::string sent = Write(m);
        // The server undoes the dot-stuffing before storing the message.
        std::string unstuffed;
        std::istringstream in(sent);
        std::string line;
        while (std::getline(in, line)) unstuffed += (line.rfind("..", 0) == 0 ? line.substr(1) : line) + "\n";
        const TParsed parsed = ParseWithPython(unstuffed);
        EXPECT_EQ(parsed.defects, " 0 ") << c.what;
        EXPECT_EQ(parsed.subject, ToHex("Prova \xC3\xA8 cos\xC3\xAC")) << c.what;
        std::vector<std::string> attachments;
        for (const auto& p : parsed.parts)
            if (p[1] != "-") attachments.push_back(p[1] + " " + p[2]);
        std::vector<std::string> want;
        for (const auto& f : c.files)
            want.push_back(ExtractFileName(f) + " " + ToHex(f == f1 ? d1 : d2));
        EXPECT_EQ(attachments, want) << c.what;
        if (c.qpText) {
            ASSERT_EQ(parsed.parts.size(), 2u);
            EXPECT_EQ(parsed.parts[1][2], ToHex(std::string(150, 'q') + " caff\xE8 =\r\n.\r\n"));
        }
        if (c.what == std::string("plain")) {
            ASSERT_EQ(parsed.parts.size(), 1u);
            EXPECT_EQ(parsed.parts[0][2], ToHex("riga uno\r\n.\r\nriga tre\r\n\r\n"));
        }
    }
}

}  // namespace
