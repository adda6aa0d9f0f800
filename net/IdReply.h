// A server reply: a code text and its text lines.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/IdException.h"
#include "core/StringList.h"

class EIdReplyError : public EIdException {
public:
    using EIdException::EIdException;
};

class TIdReply {
public:
    TIdReply() = default;
    virtual ~TIdReply() = default;
    TIdReply(const TIdReply&) = delete;
    TIdReply& operator=(const TIdReply&) = delete;

    const std::string& Code() const { return code_; }
    // Raises EIdException "Reply Code is not valid: %s" for a code that
    // IsValidCode refuses.
    void SetCode(const std::string& value);
    // Decimal value of Code, 0 when it is empty or not a number.
    int32_t CodeNumber() const;
    // Stores the decimal text without validation.
    void SetCodeNumber(int32_t value) { code_ = std::to_string(value); }
    const TStringList& Text() const { return text_; }
    TStringList& Text() { return text_; }
    void SetText(const TStringList& value) { text_.Assign(value); }

    virtual bool IsValidCode(const std::string& code) const;
    // Fills and answers a scratch list owned by the reply.
    virtual const TStringList& FormatLines();
    virtual void SetFromLines(const TStringList& lines) = 0;
    virtual void Clear();
    // Whether line ends a reply of this kind.
    virtual bool IsLastLine(const std::string& line) const;
    [[noreturn]] virtual void RaiseError() const = 0;
    virtual bool HasContent() const;
    void SetCodeAndText(int32_t code, const std::string& text);
    void SetCodeAndText(const std::string& code, const std::string& text);
    // Copies code and text (descendants add their own parts).
    virtual void Assign(const TIdReply& source);
    // Code, or Code, a space and the first text line.
    std::string DisplayName() const;

protected:
    // The scratch list behind FormatLines, emptied.
    TStringList& FormattedReply();

private:
    std::string code_;
    TStringList formatted_;
    TStringList text_;
};

// Decimal integer of the whole text (optional sign); false when it is none
// or out of the 32-bit range.
bool ParseInt32(const std::string& text, int32_t& value);
