// SMTP replies: RFC replies that also carry an enhanced status code of the
// form class.subject.detail.
#pragma once

#include <cstdint>
#include <string>

#include "net/IdReplyRFC.h"

class EIdSMTPReply : public EIdException {
public:
    using EIdException::EIdException;
};
class EIdSMTPReplyInvalidReplyString : public EIdSMTPReply {
public:
    using EIdSMTPReply::EIdSMTPReply;
};
class EIdSMTPReplyInvalidClass : public EIdSMTPReply {
public:
    using EIdSMTPReply::EIdSMTPReply;
};

class TIdSMTPEnhancedCode {
public:
    uint32_t StatusClass() const { return statusClass_; }
    // Only 2, 4 and 5; anything else raises EIdSMTPReplyInvalidClass.
    void SetStatusClass(uint32_t value);
    uint32_t Subject() const { return subject_; }
    void SetSubject(uint32_t value) { subject_ = value; }
    uint32_t Details() const { return details_; }
    void SetDetails(uint32_t value) { details_ = value; }
    bool Available() const { return available_; }
    // Switching it on resets the numbers to 2.0.0.
    void SetAvailable(bool value);
    // "" when not available, else "5.7.1" (subject and detail cut to three digits).
    std::string ReplyAsStr() const;
    // Parses; raises EIdSMTPReplyInvalidReplyString "Invalid Reply String."
    // for a text that is no enhanced code, or one with a negative part.
    // An empty text switches Available off.
    void SetReplyAsStr(const std::string& text);
    // Copies every field as it is.
    void Assign(const TIdSMTPEnhancedCode& source);

    // True for an empty text or a first word "C.S.D" with C starting with
    // 2, 4 or 5 and S and D integer literals.
    static bool IsValidEnhancedCode(const std::string& text);

private:
    uint32_t statusClass_ = 2;
    uint32_t subject_ = 0;
    uint32_t details_ = 0;
    bool available_ = false;
};

class EIdSMTPReplyError : public EIdReplyRFCError {
public:
    EIdSMTPReplyError(int32_t errorCode, const TIdSMTPEnhancedCode& enhancedCode, const std::string& message)
        : EIdReplyRFCError(errorCode, message) {
        enhancedCode_.Assign(enhancedCode);
    }
    const TIdSMTPEnhancedCode& EnhancedCode() const { return enhancedCode_; }

private:
    TIdSMTPEnhancedCode enhancedCode_;
};

class TIdReplySMTP : public TIdReplyRFC {
public:
    TIdSMTPEnhancedCode& EnhancedCode() { return enhancedCode_; }
    const TIdSMTPEnhancedCode& EnhancedCode() const { return enhancedCode_; }
    void SetEnhancedCode(const TIdSMTPEnhancedCode& value) { enhancedCode_.Assign(value); }

    const TStringList& FormatLines() override;
    // Clear keeps the enhanced code: only lines that carry a valid one (or
    // no text at all) change it.
    void SetFromLines(const TStringList& lines) override;
    // EIdSMTPReplyError with the code, the text and a copy of the enhanced code.
    [[noreturn]] void RaiseError() const override;
    void Assign(const TIdReply& source) override;

private:
    TIdSMTPEnhancedCode enhancedCode_;
};
