#include "message/IdMessageParts.h"

#include <algorithm>

#include "core/StringList.h"

namespace {

const TIdMessageEncoderInfo kEncoders[] = {{"MIME"}, {"QP"}, {"UUE"}, {"XXE"}};

}  // namespace

const TIdMessageEncoderInfo* FindMessageEncoder(const std::string& name) {
    for (const auto& info : kEncoders)
        if (SameText(info.Name, name)) return &info;
    return nullptr;
}

TIdMessagePart::TIdMessagePart(TIdMessageParts*) {
    throw EIdCanNotCreateMessagePart("TIdMessagePart can not be created.  Use descendant classes. ");
}

TIdMessagePart::TIdMessagePart(TIdMessageParts* parts, TDescendant) {
    if (parts != nullptr) parts->Join(this);
}

TIdMessagePart::~TIdMessagePart() {
    if (collection_ != nullptr) collection_->Detach(this);
}

TIdMessageParts::TIdMessageParts() { SetAttachmentEncoding("MIME"); }

TIdMessageParts::~TIdMessageParts() { Clear(); }

void TIdMessageParts::Join(TIdMessagePart* part) {
    part->collection_ = this;
    items_.push_back(part);
}

void TIdMessageParts::Detach(TIdMessagePart* part) {
    items_.erase(std::remove(items_.begin(), items_.end(), part), items_.end());
    part->collection_ = nullptr;
}

void TIdMessageParts::Delete(int index) { delete Items(index); }

void TIdMessageParts::Clear() {
    std::vector<TIdMessagePart*> items;
    items.swap(items_);
    for (auto* part : items) {
        part->collection_ = nullptr;
        delete part;
    }
}

void TIdMessageParts::SetAttachmentEncoding(const std::string& value) {
    const TIdMessageEncoderInfo* info = FindMessageEncoder(value);
    if (info == nullptr) Raise<EIdException>::Toss("Message encoder not found: " + value);
    attachmentEncoding_ = value;
    encoderInfo_ = info;
}

void TIdMessageParts::RecountParts() {
    textPartCount_ = 0;
    attachmentCount_ = 0;
    relatedPartCount_ = 0;
    for (const auto* part : items_) {
        if (!part->ContentID().empty()) ++relatedPartCount_;
        if (part->PartKind() == 0) ++textPartCount_;
        if (part->PartKind() == 1) ++attachmentCount_;
    }
}
