// Replies of line-oriented protocols with three-digit codes: "250-..."
// continues a reply, "250 ..." (or a line shorter than four) ends it.
#pragma once

#include <cstdint>

#include "net/IdReply.h"

class EIdReplyRFCError : public EIdReplyError {
public:
    EIdReplyRFCError(int32_t errorCode, const std::string& message) : EIdReplyError(message), errorCode_(errorCode) {}
    int32_t ErrorCode() const { return errorCode_; }

private:
    int32_t errorCode_ = 0;
};

class TIdReplyRFC : public TIdReply {
public:
    // 100..999, or an empty code.
    bool IsValidCode(const std::string& code) const override;
    const TStringList& FormatLines() override;
    void SetFromLines(const TStringList& lines) override;
    bool IsLastLine(const std::string& line) const override;
    // EIdReplyRFCError with CodeNumber and the text form of Text.
    [[noreturn]] void RaiseError() const override;
    bool HasContent() const override;

protected:
    // The text of a reply line: from its 5th character on.
    static std::string LineText(const std::string& line);
    // "250" and the separator for one formatted line.
    std::string FormatPrefix(int index) const;
};
