// The message the window fills and the SMTP client sends: header fields,
// body lines and parts, and the choice between MIME and plain text.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "core/StringList.h"
#include "message/IdDateTime.h"
#include "message/IdEMailAddress.h"
#include "message/IdHeaderCoder.h"
#include "message/IdHeaderList.h"
#include "message/IdMIMEBoundary.h"
#include "message/IdMessageParts.h"
#include "net/IdComponent.h"

enum TIdMessagePriority { mpHighest, mpHigh, mpNormal, mpLow, mpLowest };
enum TIdMessageEncoding { meDefault, meMIME, mePlainText };

class TIdMessage;
class TIdAttachment;

using TIdInitializeIsoEvent = std::function<void(TTransfer& transferHeader, char& headerEncoding, std::string& charSet)>;
using TIdCreateAttachmentEvent = std::function<void(const TIdMessage* message, const TIdHeaderList& headers,
                                                    TIdAttachment*& attachment)>;

class TIdMessage : public TIdBaseComponent {
public:
    explicit TIdMessage(TComponent* owner = nullptr);
    ~TIdMessage() override;

    void Clear();
    void ClearHeader();
    void ClearBody();

    const std::string& Subject() const { return subject_; }
    void SetSubject(const std::string& value) { subject_ = value; }
    TStringList& Body() { return body_; }
    const TStringList& Body() const { return body_; }
    void SetBody(const TStringList& value) { body_ = value; }

    TIdEMailAddressList& FromList() { return fromList_; }
    // The first originator; appends an empty one when there is none.
    TIdEMailAddressItem& From();
    void SetFrom(const TIdEMailAddressItem& value) { From().Assign(value); }
    TIdEMailAddressItem& Sender() { return sender_; }
    void SetSender(const TIdEMailAddressItem& value) { sender_.Assign(value); }
    TIdEMailAddressList& Recipients() { return recipients_; }
    TIdEMailAddressList& CCList() { return ccList_; }
    TIdEMailAddressList& BccList() { return bccList_; }
    TIdEMailAddressList& ReplyTo() { return replyTo_; }
    TIdEMailAddressItem& ReceiptRecipient() { return receiptRecipient_; }

    const std::string& Organization() const { return organization_; }
    void SetOrganization(const std::string& value) { organization_ = value; }
    const std::string& References() const { return references_; }
    void SetReferences(const std::string& value) { references_ = value; }
    const std::string& InReplyTo() const { return inReplyTo_; }
    // Stored in angle brackets.
    void SetInReplyTo(const std::string& value);
    TStringList& NewsGroups() { return newsGroups_; }

    TDateTime Date() const { return date_; }
    void SetDate(TDateTime value) { date_ = value; }
    bool UseNowForDate() const { return date_ == 0; }
    void SetUseNowForDate(bool value);
    TIdMessagePriority Priority() const { return priority_; }
    void SetPriority(TIdMessagePriority value) { priority_ = value; }

    const std::string& ContentType() const { return contentType_; }
    void SetContentType(const std::string& value) { contentType_ = value; }
    const std::string& CharSet() const { return charSet_; }
    void SetCharSet(const std::string& value) { charSet_ = value; }
    const std::string& ContentTransferEncoding() const { return contentTransferEncoding_; }
    void SetContentTransferEncoding(const std::string& value) { contentTransferEncoding_ = value; }
    const std::string& ContentDisposition() const { return contentDisposition_; }
    void SetContentDisposition(const std::string& value) { contentDisposition_ = value; }

    TIdMessageEncoding Encoding() const { return encoding_; }
    // Also sets AttachmentEncoding: "MIME" for meMIME, "UUE" otherwise.
    void SetEncoding(TIdMessageEncoding value);
    const std::string& AttachmentEncoding() const { return parts_.AttachmentEncoding(); }
    void SetAttachmentEncoding(const std::string& value) { parts_.SetAttachmentEncoding(value); }

    TIdHeaderList& ExtraHeaders() { return extraHeaders_; }
    TIdHeaderList& LastGeneratedHeaders() { return lastGeneratedHeaders_; }
    const TIdHeaderList& LastGeneratedHeaders() const { return lastGeneratedHeaders_; }
    TIdHeaderList& RawHeaders() { return rawHeaders_; }

    bool NoEncode() const { return noEncode_; }
    void SetNoEncode(bool value) { noEncode_ = value; }
    bool NoDecode() const { return noDecode_; }
    void SetNoDecode(bool value) { noDecode_ = value; }
    bool ConvertPreamble() const { return convertPreamble_; }
    void SetConvertPreamble(bool value) { convertPreamble_ = value; }
    bool ExceptionOnBlockedAttachments() const { return exceptionOnBlockedAttachments_; }
    void SetExceptionOnBlockedAttachments(bool value) { exceptionOnBlockedAttachments_ = value; }

    const TIdInitializeIsoEvent& OnInitializeISO() const { return onInitializeISO_; }
    void SetOnInitializeISO(TIdInitializeIsoEvent handler) { onInitializeISO_ = std::move(handler); }
    const TIdCreateAttachmentEvent& OnCreateAttachment() const { return onCreateAttachment_; }
    void SetOnCreateAttachment(TIdCreateAttachmentEvent handler) { onCreateAttachment_ = std::move(handler); }

    // Whether the receiving server takes 8-bit text (8BITMIME); the SMTP
    // session sets it from the server's extensions. Without it 8-bit text
    // goes out quoted-printable.
    bool EightBitMime() const { return eightBitMime_; }
    void SetEightBitMime(bool value) { eightBitMime_ = value; }
    // True when the body or a text part holds a byte of 128 or above.
    bool HasEightBitText() const;

    TIdMessageParts& MessageParts() { return parts_; }
    const TIdMessageParts& MessageParts() const { return parts_; }

    TIdMIMEBoundary& MIMEBoundary() { return mimeBoundary_; }
    bool IsMsgSinglePartMime() const { return singlePart_; }
    void SetIsMsgSinglePartMime(bool value) { singlePart_ = value; }

    // True when the body text holds only CR, LF, tabs and blanks.
    bool IsBodyEmpty() const;
    // Fixes the encoding, part transfer encodings, content type, boundary
    // and the single-part flag before the header block is built.
    void ApplyResolutionRules();

private:
    std::string subject_;
    TStringList body_;
    TIdEMailAddressList fromList_{this};
    TIdEMailAddressItem sender_;
    TIdEMailAddressList recipients_{this};
    TIdEMailAddressList ccList_{this};
    TIdEMailAddressList bccList_{this};
    TIdEMailAddressList replyTo_{this};
    TIdEMailAddressItem receiptRecipient_;
    std::string organization_;
    std::string references_;
    std::string inReplyTo_;
    TStringList newsGroups_;
    TDateTime date_ = 0;
    TIdMessagePriority priority_ = mpNormal;
    std::string contentType_;
    std::string charSet_;
    std::string contentTransferEncoding_;
    std::string contentDisposition_;
    TIdMessageEncoding encoding_ = meDefault;
    TIdHeaderList extraHeaders_;
    TIdHeaderList lastGeneratedHeaders_;
    TIdHeaderList rawHeaders_;
    bool noEncode_ = false;
    bool noDecode_ = false;
    bool convertPreamble_ = true;
    bool exceptionOnBlockedAttachments_ = false;
    TIdInitializeIsoEvent onInitializeISO_;
    TIdCreateAttachmentEvent onCreateAttachment_;
    TIdMessageParts parts_;
    TIdMIMEBoundary mimeBoundary_;
    bool singlePart_ = false;
    bool eightBitMime_ = false;
};
