#include "message/IdMessageHeaders.h"

#include <algorithm>

#include "message/IdMessage.h"
#include "platform/Locale.h"

TIdHeaderCharset LocaleHeaderCharset() {
    TIdHeaderCharset choice{ttEightBit, 'B', ""};
    switch (UserPrimaryLanguage()) {
        case TPrimaryLanguage::ChineseSimplified: choice.CharSet = "GB2312"; break;
        case TPrimaryLanguage::ChineseTraditional: choice.CharSet = "Big5"; break;
        case TPrimaryLanguage::Japanese:
            choice.CharSet = "ISO-2022-JP";
            choice.Transfer = ttIso2022Jp;
            break;
        case TPrimaryLanguage::Korean: choice.CharSet = "EUC-KR"; break;
        case TPrimaryLanguage::Russian: choice.CharSet = "KOI8-R"; break;
        case TPrimaryLanguage::Ukrainian: choice.CharSet = "windows-1251"; break;
        default:
            choice.CharSet = "ISO-8859-1";
            choice.Encoding = 'Q';
            break;
    }
    return choice;
}

TIdHeaderCharset ChooseHeaderCharset(const TIdMessage& message) {
    TIdHeaderCharset choice = LocaleHeaderCharset();
    if (message.OnInitializeISO()) message.OnInitializeISO()(choice.Transfer, choice.Encoding, choice.CharSet);
    return choice;
}

std::optional<TIdBodyText> MessageBodyText(const TIdMessage& m) {
    // With parts (uuencoded ones in plain text included) the body is not the
    // message's only text, so no message-level label can speak for it.
    if (!m.MessageParts().Empty() || !m.CharSet().empty() || !m.ContentTransferEncoding().empty()) return std::nullopt;
    if (!m.ContentType().empty() && !SameText(m.ContentType(), "text/plain")) return std::nullopt;
    TIdBodyText text = PrepareBodyText(m.Body(), ChooseHeaderCharset(m).CharSet, m.EightBitMime());
    if (!text.NeedsLabel()) return std::nullopt;
    return text;
}

namespace {

// Items joined by ","; an item with a blank, comma, quote or control
// character goes in double quotes with inner quotes doubled.
std::string CommaText(const TStringList& list) {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) {
        const std::string& item = list[i];
        if (i > 0) out += ',';
        bool quote = false;
        for (char c : item) quote |= static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"';
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

// The sender as given, unless its name holds bytes a header cannot carry
// raw: then in the encoded form of the other address fields.
std::string SenderValue(TIdMessage& m, const TIdHeaderCharset& cs, size_t column) {
    const std::string text = m.Sender().Text();
    const bool raw = std::none_of(text.begin(), text.end(), [](char c) {
        return static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127;
    });
    return raw ? text : EncodeHeaderAddress(m.Sender(), cs.Encoding, cs.Transfer, cs.CharSet, false, column);
}

void WriteContentFields(TIdMessage& m, TIdHeaderList& h) {
    if (const std::optional<TIdBodyText> text = MessageBodyText(m)) {
        h.SetValues("MIME-Version", "1.0");
        h.SetValues("Content-Type", "text/plain; charset=\"" + text->CharSet + "\"");
        h.SetValues("Content-Transfer-Encoding", text->Transfer);
        return;
    }
    if (m.Encoding() != meMIME) {
        h.SetValues("Content-Transfer-Encoding", m.ContentTransferEncoding());
        h.SetValues("Content-Type", m.ContentType());
        return;
    }
    if (m.IsMsgSinglePartMime()) {
        h.SetValues("MIME-Version", "1.0");
        return;
    }
    h.SetValues("Content-Type", m.ContentType());
    if (!m.CharSet().empty())
        h.SetValues("Content-Type", h.Values("Content-Type") + ";\r\n\tcharset=\"" + m.CharSet() + "\"");
    if (!m.MessageParts().Empty())
        h.SetValues("Content-Type", h.Values("Content-Type") + "; boundary=\"" +
                                        TIdMIMEBoundaryStrings::Instance().NewBoundary() + "\"");
    h.SetValues("MIME-Version", "1.0");
    h.SetValues("Content-Transfer-Encoding", m.ContentTransferEncoding());
}

}  // namespace

void BuildHeaders(TIdMessage& m) {
    m.ApplyResolutionRules();
    const TIdHeaderCharset cs = ChooseHeaderCharset(m);
    const char q = cs.Encoding;
    TIdHeaderList& h = m.LastGeneratedHeaders();
    h.Clear();
    if (!m.RawHeaders().Empty()) h.AddStrings(HeaderBlockLines(m.RawHeaders()));

    // Where each value starts on its line: after the field name and separator.
    auto at = [&](const std::string& name) { return name.size() + h.Separator().size(); };
    h.SetValues("From", EncodeHeaderAddresses(m.FromList(), q, cs.Transfer, cs.CharSet, true, at("From")));
    h.SetValues("Subject", EncodeHeaderText(m.Subject(), "", q, cs.Transfer, cs.CharSet, at("Subject")));
    h.SetValues("To", EncodeHeaderAddresses(m.Recipients(), q, cs.Transfer, cs.CharSet, false, at("To")));
    h.SetValues("Cc", EncodeHeaderAddresses(m.CCList(), q, cs.Transfer, cs.CharSet, false, at("Cc")));
    h.SetValues("Bcc", "");
    h.SetValues("Newsgroups", CommaText(m.NewsGroups()));
    WriteContentFields(m, h);
    h.SetValues("Sender", SenderValue(m, cs, at("Sender")));
    h.SetValues("Reply-To", EncodeHeaderAddresses(m.ReplyTo(), q, cs.Transfer, cs.CharSet, false, at("Reply-To")));
    h.SetValues("Organization", EncodeHeaderText(m.Organization(), "", q, cs.Transfer, cs.CharSet, at("Organization")));
    h.SetValues("Disposition-Notification-To",
                EncodeHeaderAddress(m.ReceiptRecipient(), q, cs.Transfer, cs.CharSet, false, at("Disposition-Notification-To")));
    h.SetValues("References", m.References());
    h.SetValues("Date", FormatInternetDate(m.UseNowForDate() ? NowLocal() : m.Date()));
    if (m.Priority() != mpNormal) {
        h.SetValues("X-Priority", std::to_string(static_cast<int>(m.Priority()) + 1));
    } else {
        const int index = h.IndexOfName("X-Priority");
        if (index >= 0) h.Delete(index);
    }
    h.AddStrings(HeaderBlockLines(m.ExtraHeaders()));
    if (!m.InReplyTo().empty())
        h.SetValues("In-Reply-To", m.InReplyTo());
    else if (h.IndexOfName("Message-ID") >= 0)
        h.SetValues("In-Reply-To", h.Values("Message-ID"));
}
