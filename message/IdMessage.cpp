#include "message/IdMessage.h"

#include <algorithm>

#include "message/IdLabelledText.h"
#include "message/IdText.h"

namespace {

bool IsOneOf(const std::string& value, std::initializer_list<const char*> names) {
    return std::any_of(names.begin(), names.end(), [&](const char* name) { return SameText(value, name); });
}

}  // namespace

TIdMessage::TIdMessage(TComponent* owner) : TIdBaseComponent(owner) {
    Clear();
    encoding_ = meDefault;
}

TIdMessage::~TIdMessage() {
    NotifyDestruction();
    parts_.Clear();
}

void TIdMessage::ClearHeader() {
    ccList_.Clear();
    bccList_.Clear();
    fromList_.Clear();
    replyTo_.Clear();
    recipients_.Clear();
    newsGroups_.Clear();
    organization_.clear();
    references_.clear();
    subject_.clear();
    contentType_.clear();
    charSet_.clear();
    contentTransferEncoding_.clear();
    contentDisposition_.clear();
    rawHeaders_.Clear();
    extraHeaders_.Clear();
    lastGeneratedHeaders_.Clear();
    mimeBoundary_.Clear();
    date_ = 0;
    priority_ = mpNormal;
    receiptRecipient_.SetText("");
    sender_.SetText("");
    encoding_ = meDefault;
    convertPreamble_ = true;
}

void TIdMessage::ClearBody() {
    parts_.Clear();
    body_.Clear();
}

void TIdMessage::Clear() {
    ClearHeader();
    ClearBody();
}

TIdEMailAddressItem& TIdMessage::From() {
    if (fromList_.Count() == 0) fromList_.Add();
    return *fromList_.Items(0);
}

void TIdMessage::SetInReplyTo(const std::string& value) {
    if (value.empty()) {
        inReplyTo_.clear();
        return;
    }
    inReplyTo_ = value;
    if (inReplyTo_.front() != '<') inReplyTo_.insert(0, "<");
    if (inReplyTo_.back() != '>') inReplyTo_ += '>';
}

void TIdMessage::SetUseNowForDate(bool value) {
    if (value)
        date_ = 0;
    else if (date_ == 0)
        date_ = NowLocal();
}

void TIdMessage::SetEncoding(TIdMessageEncoding value) {
    encoding_ = value;
    parts_.SetAttachmentEncoding(value == meMIME ? "MIME" : "UUE");
}

bool TIdMessage::IsBodyEmpty() const {
    for (const auto& line : body_)
        for (char c : line)
            if (c != '\r' && c != '\n' && c != '\t' && c != ' ') return false;
    return true;
}

bool TIdMessage::HasEightBitText() const {
    auto eightBit = [](const TStringList& lines) {
        return std::any_of(lines.begin(), lines.end(), [](const std::string& line) { return HasEightBitBytes(line); });
    };
    if (eightBit(body_)) return true;
    for (int i = 0; i < parts_.Count(); ++i) {
        const auto* text = dynamic_cast<const TIdText*>(parts_.Items(i));
        if (text != nullptr && eightBit(text->Body())) return true;
    }
    return false;
}

void TIdMessage::ApplyResolutionRules() {
    parts_.RecountParts();
    if (encoding_ == meDefault) SetEncoding(parts_.Empty() ? mePlainText : meMIME);
    for (int i = 0; i < parts_.Count(); ++i) {
        TIdMessagePart& part = *parts_.Items(i);
        const std::string& transfer = part.ContentTransfer();
        if (transfer.empty()) continue;
        if (encoding_ == meMIME) {
            if (!IsOneOf(transfer, {"7bit", "8bit", "binary", "base64", "quoted-printable", "binhex40"}))
                part.SetContentTransfer("base64");
        } else if (!IsOneOf(transfer, {"UUE", "XXE"})) {
            part.SetContentTransfer("UUE");
        }
    }
    if (!parts_.Empty() && !contentTransferEncoding_.empty() &&
        !IsOneOf(contentTransferEncoding_, {"7bit", "binary", "8bit"}))
        contentTransferEncoding_.clear();
    if (encoding_ == meMIME) {
        TIdMIMEBoundaryStrings::Instance().NewBoundary();
        if (contentType_.empty()) {
            if (parts_.AttachmentCount() > 0)
                contentType_ = "multipart/mixed";
            else
                contentType_ = parts_.TextPartCount() < 2 ? "text/plain" : "multipart/alternative";
        }
    }
    singlePart_ = encoding_ == meMIME && parts_.Count() == 1 && IsBodyEmpty();
}
