// An attachment part: a named content that is opened as a stream when the
// message is written.
#pragma once

#include <string>

#include "core/Stream.h"
#include "message/IdMessageParts.h"

class TIdAttachment : public TIdMessagePart {
public:
    static constexpr int Kind = 1;
    int PartKind() const override { return Kind; }

    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    // The stored disposition up to its first ";".
    std::string ContentDisposition() const;
    void SetContentDisposition(const std::string& value) { Headers().SetValues("Content-Disposition", value); }

    // A readable stream of the content, valid until CloseContent.
    virtual TStream& OpenContent() = 0;
    virtual void CloseContent() = 0;

protected:
    explicit TIdAttachment(TIdMessageParts* parts) : TIdMessagePart(parts, TDescendant{}) {}

private:
    std::string fileName_;
};
