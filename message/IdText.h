// A text part of a message.
#pragma once

#include "core/StringList.h"
#include "message/IdMessageParts.h"

class TIdText : public TIdMessagePart {
public:
    explicit TIdText(TIdMessageParts* parts, const TStringList* body = nullptr);

    static constexpr int Kind = 0;
    int PartKind() const override { return Kind; }

    TStringList& Body() { return body_; }
    const TStringList& Body() const { return body_; }
    void SetBody(const TStringList& value) { body_ = value; }

private:
    TStringList body_;
};
