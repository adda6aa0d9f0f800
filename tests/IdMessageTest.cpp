#include "message/IdMessage.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "message/IdAttachmentFile.h"
#include "message/IdText.h"

namespace {

void ExpectCleared(TIdMessage& m) {
    EXPECT_EQ(m.Subject(), "");
    EXPECT_EQ(m.Body().Count(), 0);
    EXPECT_EQ(m.FromList().Count(), 0);
    EXPECT_EQ(m.Sender().Text(), "");
    EXPECT_EQ(m.Recipients().Count(), 0);
    EXPECT_EQ(m.CCList().Count(), 0);
    EXPECT_EQ(m.BccList().Count(), 0);
    EXPECT_EQ(m.ReplyTo().Count(), 0);
    EXPECT_EQ(m.ReceiptRecipient().Text(), "");
    EXPECT_EQ(m.Organization(), "");
    EXPECT_EQ(m.References(), "");
    EXPECT_EQ(m.NewsGroups().Count(), 0);
    EXPECT_EQ(m.Date(), 0);
    EXPECT_TRUE(m.UseNowForDate());
    EXPECT_EQ(m.Priority(), mpNormal);
    EXPECT_EQ(m.ContentType(), "");
    EXPECT_EQ(m.CharSet(), "");
    EXPECT_EQ(m.ContentTransferEncoding(), "");
    EXPECT_EQ(m.ContentDisposition(), "");
    EXPECT_EQ(m.Encoding(), meDefault);
    EXPECT_EQ(m.ExtraHeaders().Count(), 0);
    EXPECT_EQ(m.LastGeneratedHeaders().Count(), 0);
    EXPECT_EQ(m.RawHeaders().Count(), 0);
    EXPECT_FALSE(m.NoEncode());
    EXPECT_FALSE(m.NoDecode());
    EXPECT_TRUE(m.ConvertPreamble());
    EXPECT_FALSE(m.ExceptionOnBlockedAttachments());
    EXPECT_FALSE(m.OnInitializeISO());
    EXPECT_EQ(m.MessageParts().Count(), 0);
    EXPECT_EQ(m.MIMEBoundary().Count(), 0);
}

class TempFile {
public:
    explicit TempFile(const std::string& content) {
        char name[] = "/tmp/msgtestXXXXXX";
        const int fd = mkstemp(name);
        ::close(fd);
        path_ = name;
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

TEST(IdMessage, DefaultsAndClear) {
    TComponent owner;
    auto* m = new TIdMessage(&owner);
    ExpectCleared(*m);
    EXPECT_EQ(m->AttachmentEncoding(), "MIME");

    m->SetSubject("s");
    m->Body().Add("b");
    m->From().SetText("a@example.it");
    m->Sender().SetText("s@example.it");
    m->Recipients().SetEMailAddresses("r@example.it");
    m->CCList().SetEMailAddresses("c@example.it");
    m->BccList().SetEMailAddresses("b@example.it");
    m->ReplyTo().SetEMailAddresses("p@example.it");
    m->ReceiptRecipient().SetText("n@example.it");
    m->SetOrganization("o");
    m->SetReferences("<r@x>");
    m->NewsGroups().Add("g");
    m->SetUseNowForDate(false);
    m->SetPriority(mpHigh);
    m->SetContentType("text/html");
    m->SetCharSet("x");
    m->SetContentTransferEncoding("base64");
    m->SetContentDisposition("inline");
    m->SetEncoding(mePlainText);
    m->ExtraHeaders().Add("X-A: 1");
    m->RawHeaders().Add("X-B: 2");
    m->LastGeneratedHeaders().Add("X-C: 3");
    m->SetConvertPreamble(false);
    m->SetInReplyTo("id@x");
    new TIdText(&m->MessageParts());
    m->MIMEBoundary().PushBoundary("b", -1);
    m->Clear();
    ExpectCleared(*m);
    EXPECT_EQ(m->AttachmentEncoding(), "UUE");  // Clear assigns Encoding without its side effect
    EXPECT_EQ(m->InReplyTo(), "<id@x>");       // not touched by Clear
    // The owner frees the message and its parts.
}

TEST(IdMessage, EightBitTextInBodyOrTextParts) {
    TIdMessage m;
    EXPECT_FALSE(m.EightBitMime());
    m.Body().Add("ascii");
    new TIdText(&m.MessageParts(), nullptr);
    EXPECT_FALSE(m.HasEightBitText());
    m.Body().Add("perch\xE9");
    EXPECT_TRUE(m.HasEightBitText());
    m.Body().Clear();
    static_cast<TIdText*>(m.MessageParts().Items(0))->Body().Add("\x80");
    EXPECT_TRUE(m.HasEightBitText());
}

TEST(IdMessage, FromReadAppendsOneItem) {
    TIdMessage m;
    TIdEMailAddressItem& first = m.From();
    EXPECT_EQ(m.FromList().Count(), 1);
    EXPECT_EQ(&m.From(), &first);
    TIdEMailAddressItem other;
    other.SetText("X <x@example.it>");
    m.SetFrom(other);
    EXPECT_EQ(m.FromList().Count(), 1);
    EXPECT_EQ(m.From().Text(), "X <x@example.it>");
}

TEST(IdMessage, UseNowForDateAndInReplyTo) {
    TIdMessage m;
    m.SetUseNowForDate(false);
    const TDateTime stored = m.Date();
    EXPECT_GT(stored, 40000);
    EXPECT_FALSE(m.UseNowForDate());
    usleep(2000);
    m.SetUseNowForDate(false);
    EXPECT_EQ(m.Date(), stored);
    m.SetUseNowForDate(true);
    EXPECT_EQ(m.Date(), 0);

    const struct {
        const char *in, *out;
    } ids[] = {{"abc@x", "<abc@x>"}, {"<abc@x>", "<abc@x>"}, {"<abc@x", "<abc@x>"}, {"abc@x>", "<abc@x>"}, {"", ""}};
    for (const auto& c : ids) {
        m.SetInReplyTo(c.in);
        EXPECT_EQ(m.InReplyTo(), c.out) << c.in;
    }
}

TEST(IdMessage, EncodingDrivesAttachmentEncoding) {
    TIdMessage m;
    m.SetEncoding(meMIME);
    EXPECT_EQ(m.AttachmentEncoding(), "MIME");
    m.SetEncoding(mePlainText);
    EXPECT_EQ(m.AttachmentEncoding(), "UUE");
    m.SetEncoding(meDefault);
    EXPECT_EQ(m.AttachmentEncoding(), "UUE");
    for (const char* name : {"MIME", "qp", "UUE", "xxe"}) {
        m.SetAttachmentEncoding(name);
        EXPECT_EQ(m.AttachmentEncoding(), name);
        ASSERT_NE(m.MessageParts().MessageEncoderInfo(), nullptr);
    }
    try {
        m.SetAttachmentEncoding("yEnc");
        FAIL();
    } catch (const EIdException& e) {
        EXPECT_EQ(e.Message(), "Message encoder not found: yEnc");
    }
    EXPECT_EQ(m.AttachmentEncoding(), "xxe");
}

TEST(IdMessage, PartsAndCounters) {
    TIdMessage m;
    TIdMessageParts& parts = m.MessageParts();
    try {
        TIdMessagePart part(&parts);
        FAIL();
    } catch (const EIdCanNotCreateMessagePart& e) {
        EXPECT_EQ(e.Message(), "TIdMessagePart can not be created.  Use descendant classes. ");
    }
    EXPECT_EQ(parts.Count(), 0);
    TStringList lines{"one", "two"};
    auto* text = new TIdText(&parts, &lines);
    auto* file = new TIdAttachmentFile(&parts, "/some/dir/report.pdf");
    auto* related = new TIdText(&parts);
    related->SetContentID("<img1>");
    EXPECT_EQ(text->Body(), lines);
    EXPECT_EQ(text->ParentPart(), -1);
    EXPECT_EQ(file->FileName(), "report.pdf");
    EXPECT_EQ(file->SourcePath(), "/some/dir/report.pdf");
    // On Linux "\\" and ":" are letters of a name, not separators.
    EXPECT_EQ(TIdAttachmentFile(nullptr, "/dir/C:\\dir\\a.txt").FileName(), "C:\\dir\\a.txt");
    EXPECT_EQ(TIdAttachmentFile(nullptr, "C:b.txt").FileName(), "C:b.txt");
    parts.RecountParts();
    EXPECT_EQ(parts.TextPartCount(), 2);
    EXPECT_EQ(parts.AttachmentCount(), 1);
    EXPECT_EQ(parts.RelatedPartCount(), 1);
    EXPECT_EQ(related->ContentID(), "<img1>");
    file->SetContentDisposition("attachment; filename=\"x\"");
    EXPECT_EQ(file->ContentDisposition(), "attachment");
    delete related;
    EXPECT_EQ(parts.Count(), 2);
    EXPECT_EQ(parts.Items(1), file);
}

TEST(IdMessage, AttachmentFileContent) {
    TempFile temp("content\r\n");
    TIdMessage m;
    auto* file = new TIdAttachmentFile(&m.MessageParts(), temp.Path());
    EXPECT_EQ(file->OpenContent().ReadRemaining(), "content\r\n");
    file->CloseContent();
    auto* missing = new TIdAttachmentFile(&m.MessageParts(), "/nonexistent/dir/x.bin");
    try {
        missing->OpenContent();
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file /nonexistent/dir/x.bin");
    }
    missing->CloseContent();
    {
        TempFile own("x");
        {
            TIdMessage m2;
            (new TIdAttachmentFile(&m2.MessageParts(), own.Path()))->SetFileIsTempFile(true);
        }
        EXPECT_FALSE(std::filesystem::exists(own.Path()));
    }
    EXPECT_TRUE(std::filesystem::exists(temp.Path()));
}

struct ResolutionCase {
    const char* what;
    int texts, attachments;
    std::vector<std::string> body;
    TIdMessageEncoding encoding;
    const char* attachmentEncoding;
    const char* contentType;
    bool singlePart;
};

TEST(IdMessage, ResolutionRules) {
    const ResolutionCase cases[] = {
        {"no parts", 0, 0, {"hi"}, mePlainText, "UUE", "", false},
        {"one attachment, body", 0, 1, {"hi"}, meMIME, "MIME", "multipart/mixed", false},
        {"one attachment, blank body", 0, 1, {" \t", ""}, meMIME, "MIME", "multipart/mixed", true},
        {"two attachments, no body", 0, 2, {}, meMIME, "MIME", "multipart/mixed", false},
        {"one text part", 1, 0, {}, meMIME, "MIME", "text/plain", true},
        {"two text parts", 2, 0, {"x"}, meMIME, "MIME", "multipart/alternative", false},
        {"two texts and an attachment", 2, 1, {"x"}, meMIME, "MIME", "multipart/mixed", false},
    };
    for (const auto& c : cases) {
        TIdMessage m;
        for (const auto& line : c.body) m.Body().Add(line);
        for (int i = 0; i < c.texts; ++i) new TIdText(&m.MessageParts());
        for (int i = 0; i < c.attachments; ++i) new TIdAttachmentFile(&m.MessageParts(), "/tmp/x");
        m.ApplyResolutionRules();
        EXPECT_EQ(m.Encoding(), c.encoding) << c.what;
        EXPECT_EQ(m.AttachmentEncoding(), c.attachmentEncoding) << c.what;
        EXPECT_EQ(m.ContentType(), c.contentType) << c.what;
        EXPECT_EQ(m.IsMsgSinglePartMime(), c.singlePart) << c.what;
    }
    TIdMessage mime;
    mime.SetEncoding(meMIME);
    mime.ApplyResolutionRules();
    EXPECT_EQ(mime.ContentType(), "text/plain");
}

TEST(IdMessage, TransferEncodingsNormalised) {
    const struct {
        TIdMessageEncoding encoding;
        const char *in, *out;
    } parts[] = {
        {meMIME, "x-unknown", "base64"}, {meMIME, "BASE64", "BASE64"},   {meMIME, "Quoted-Printable", "Quoted-Printable"},
        {meMIME, "binhex40", "binhex40"}, {meMIME, "UUE", "base64"},     {meMIME, "", ""},
        {mePlainText, "base64", "UUE"},  {mePlainText, "xxe", "xxe"},   {mePlainText, "", ""},
    };
    for (const auto& c : parts) {
        TIdMessage m;
        m.SetEncoding(c.encoding);
        auto* part = new TIdAttachmentFile(&m.MessageParts(), "/tmp/x");
        part->SetContentTransfer(c.in);
        m.ApplyResolutionRules();
        EXPECT_EQ(part->ContentTransfer(), c.out) << c.in;
    }
    const struct {
        bool withPart;
        const char *in, *out;
    } whole[] = {{true, "base64", ""}, {true, "8BIT", "8BIT"}, {true, "7bit", "7bit"}, {false, "base64", "base64"}};
    for (const auto& c : whole) {
        TIdMessage m;
        if (c.withPart) new TIdText(&m.MessageParts());
        m.SetContentTransferEncoding(c.in);
        m.ApplyResolutionRules();
        EXPECT_EQ(m.ContentTransferEncoding(), c.out) << c.in;
    }
}

}  // namespace
