// The parts of a message (text parts and attachments) and the collection
// that owns them together with the attachment encoder choice.
#pragma once

#include <string>
#include <vector>

#include "core/IdException.h"
#include "message/IdHeaderList.h"

class EIdMessageException : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdCanNotCreateMessagePart : public EIdMessageException {
public:
    using EIdMessageException::EIdMessageException;
};
class EIdMessageCannotLoad : public EIdMessageException {
public:
    using EIdMessageException::EIdMessageException;
};

class TIdMessageParts;

// An entry of the process-wide registry of attachment encoder families.
struct TIdMessageEncoderInfo {
    std::string Name;
};
// The registered entry for a name (ignoring case), or null.
const TIdMessageEncoderInfo* FindMessageEncoder(const std::string& name);

class TIdMessagePart {
public:
    // The base class cannot be created on its own: raises
    // EIdCanNotCreateMessagePart.
    explicit TIdMessagePart(TIdMessageParts* parts);
    virtual ~TIdMessagePart();
    TIdMessagePart(const TIdMessagePart&) = delete;
    TIdMessagePart& operator=(const TIdMessagePart&) = delete;

    // 0 for text parts, 1 for attachments.
    virtual int PartKind() const { return -1; }

    const std::string& ContentTransfer() const { return contentTransfer_; }
    void SetContentTransfer(const std::string& value) { contentTransfer_ = value; }
    const std::string& ContentType() const { return contentType_; }
    void SetContentType(const std::string& value) { contentType_ = value; }
    const std::string& CharSet() const { return charSet_; }
    void SetCharSet(const std::string& value) { charSet_ = value; }
    TIdHeaderList& ExtraHeaders() { return extraHeaders_; }
    const TIdHeaderList& ExtraHeaders() const { return extraHeaders_; }
    TIdHeaderList& Headers() { return headers_; }
    const TIdHeaderList& Headers() const { return headers_; }

    std::string ContentID() const { return headers_.Values("Content-ID"); }
    void SetContentID(const std::string& value) { headers_.SetValues("Content-ID", value); }
    std::string ContentLocation() const { return headers_.Values("Content-Location"); }
    void SetContentLocation(const std::string& value) { headers_.SetValues("Content-Location", value); }

    int32_t ParentPart() const { return parentPart_; }
    void SetParentPart(int32_t value) { parentPart_ = value; }

    TIdMessageParts* Collection() const { return collection_; }

protected:
    struct TDescendant {};
    TIdMessagePart(TIdMessageParts* parts, TDescendant);

private:
    friend class TIdMessageParts;

    std::string contentTransfer_;
    std::string contentType_;
    std::string charSet_;
    TIdHeaderList extraHeaders_;
    TIdHeaderList headers_;
    int32_t parentPart_ = -1;
    TIdMessageParts* collection_ = nullptr;
};

class TIdMessageParts {
public:
    TIdMessageParts();
    ~TIdMessageParts();
    TIdMessageParts(const TIdMessageParts&) = delete;
    TIdMessageParts& operator=(const TIdMessageParts&) = delete;

    TIdMessagePart* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }
    void Delete(int index);
    void Clear();

    const std::string& AttachmentEncoding() const { return attachmentEncoding_; }
    const TIdMessageEncoderInfo* MessageEncoderInfo() const { return encoderInfo_; }
    // Raises EIdException "Message encoder not found: <name>" for an
    // unregistered name.
    void SetAttachmentEncoding(const std::string& value);

    void RecountParts();
    int TextPartCount() const { return textPartCount_; }
    int AttachmentCount() const { return attachmentCount_; }
    int RelatedPartCount() const { return relatedPartCount_; }

private:
    friend class TIdMessagePart;
    void Join(TIdMessagePart* part);
    void Detach(TIdMessagePart* part);

    std::vector<TIdMessagePart*> items_;
    std::string attachmentEncoding_;
    const TIdMessageEncoderInfo* encoderInfo_ = nullptr;
    int textPartCount_ = 0;
    int attachmentCount_ = 0;
    int relatedPartCount_ = 0;
};
