#include "smtp/IdReplySMTP.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

std::string FirstWord(const std::string& text) { return text.substr(0, text.find(' ')); }

// Splits at the first dot: the part before it, and the rest (empty when
// there is no dot).
std::string SplitAtDot(std::string& rest) {
    const size_t dot = rest.find('.');
    std::string head = rest.substr(0, dot);
    rest = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
    return head;
}

struct TCodeParts {
    std::string statusClass, subject, detail;
};

TCodeParts SplitCode(const std::string& word) {
    TCodeParts parts;
    std::string rest = word;
    parts.statusClass = SplitAtDot(rest);
    const size_t dot = rest.find('.');
    parts.subject = rest.substr(0, dot);
    parts.detail = dot == std::string::npos ? std::string() : rest.substr(dot + 1);
    return parts;
}

// Signed 64-bit literal: optional sign, then decimal digits, or hex digits
// after "$" or "0x".
bool ParseInteger(const std::string& text, int64_t& value) {
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    int base = 10;
    if (text.compare(at, 1, "$") == 0) {
        base = 16;
        at += 1;
    } else if (text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0) {
        base = 16;
        at += 2;
    }
    const std::string digits = text.substr(at);
    if (digits.empty()) return false;
    for (char c : digits)
        if (base == 10 ? !std::isdigit(static_cast<unsigned char>(c)) : !std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits.c_str(), nullptr, base);
    if (errno != 0 || magnitude > static_cast<unsigned long long>(INT64_MAX) + (negative ? 1 : 0)) return false;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool IsIntegerLiteral(const std::string& text) {
    int64_t value = 0;
    return ParseInteger(text, value);
}

// The part's value when it lies in the signed 32-bit range, else 0.
int64_t PartValue(const std::string& part) {
    int64_t value = 0;
    if (!ParseInteger(part, value) || value < INT32_MIN || value > INT32_MAX) return 0;
    return value;
}

uint32_t UnsignedPart(const std::string& part) {
    int64_t value = 0;
    // A negative number has no place in the unsigned fields.
    if (ParseInteger(part, value) && value < 0) throw EIdSMTPReplyInvalidReplyString("Invalid Reply String.");
    return static_cast<uint32_t>(PartValue(part));
}

}  // namespace

void TIdSMTPEnhancedCode::SetStatusClass(uint32_t value) {
    Raise<EIdSMTPReplyInvalidClass>::IfFalse(value == 2 || value == 4 || value == 5, "Invalid Reply Class.");
    statusClass_ = value;
}

void TIdSMTPEnhancedCode::SetAvailable(bool value) {
    if (value == available_) return;
    available_ = value;
    if (value) {
        statusClass_ = 2;
        subject_ = 0;
        details_ = 0;
    }
}

std::string TIdSMTPEnhancedCode::ReplyAsStr() const {
    if (!available_) return std::string();
    return std::to_string(statusClass_).substr(0, 1) + "." + std::to_string(subject_).substr(0, 3) + "." +
           std::to_string(details_).substr(0, 3);
}

bool TIdSMTPEnhancedCode::IsValidEnhancedCode(const std::string& text) {
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) return true;
    const TCodeParts parts = SplitCode(FirstWord(trimmed));
    const char first = parts.statusClass.empty() ? '\0' : parts.statusClass[0];
    return (first == '2' || first == '4' || first == '5') && IsIntegerLiteral(parts.subject) &&
           IsIntegerLiteral(parts.detail);
}

void TIdSMTPEnhancedCode::SetReplyAsStr(const std::string& text) {
    Raise<EIdSMTPReplyInvalidReplyString>::IfFalse(IsValidEnhancedCode(text), "Invalid Reply String.");
    const std::string word = FirstWord(Trim(text));
    if (word.empty()) {
        available_ = false;
        return;
    }
    const TCodeParts parts = SplitCode(word);
    const uint32_t subject = UnsignedPart(parts.subject);
    const uint32_t details = UnsignedPart(parts.detail);
    // The class is stored as read, without the setter's check.
    statusClass_ = static_cast<uint32_t>(PartValue(parts.statusClass));
    subject_ = subject;
    details_ = details;
    available_ = true;
}

// Field by field: through the setters, switching Available on would reset
// the numbers just copied, and a class stored as read could not be copied.
void TIdSMTPEnhancedCode::Assign(const TIdSMTPEnhancedCode& source) { *this = source; }

const TStringList& TIdReplySMTP::FormatLines() {
    if (!enhancedCode_.Available() || CodeNumber() < 1) return TIdReplyRFC::FormatLines();
    TStringList& lines = FormattedReply();
    const std::string code = enhancedCode_.ReplyAsStr();
    if (Text().Empty()) {
        lines.Add(std::to_string(CodeNumber()) + " " + code);
    } else {
        for (int i = 0; i < Text().Count(); ++i) lines.Add(FormatPrefix(i) + code + " " + Text()[i]);
    }
    return lines;
}

void TIdReplySMTP::SetFromLines(const TStringList& lines) {
    Clear();
    if (lines.Empty()) return;
    std::string code = Trim(lines[0].substr(0, 4));
    if (code.size() == 4 && code[3] == '-') code.resize(3);
    SetCode(code);
    for (const std::string& line : lines) {
        std::string text = LineText(line);
        const std::string word = FirstWord(text);
        if (TIdSMTPEnhancedCode::IsValidEnhancedCode(word)) {
            text.erase(0, std::min(text.size(), word.size() + 1));
            enhancedCode_.SetReplyAsStr(word);
        }
        Text().Add(text);
    }
}

void TIdReplySMTP::RaiseError() const { throw EIdSMTPReplyError(CodeNumber(), enhancedCode_, Text().Text()); }

void TIdReplySMTP::Assign(const TIdReply& source) {
    TIdReplyRFC::Assign(source);
    if (const auto* smtp = dynamic_cast<const TIdReplySMTP*>(&source)) enhancedCode_.Assign(smtp->enhancedCode_);
}
