#include "net/IdReply.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

bool ParseInt32(const std::string& text, int32_t& value) {
    if (text.empty() || text.find_first_not_of("+-0123456789") != std::string::npos) return false;
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number < INT32_MIN || number > INT32_MAX) return false;
    value = static_cast<int32_t>(number);
    return true;
}

void TIdReply::SetCode(const std::string& value) {
    // Concatenated rather than formatted so that a code holding a NUL byte
    // still shows whole.
    if (!IsValidCode(value)) throw EIdException("Reply Code is not valid: " + value);
    code_ = value;
}

int32_t TIdReply::CodeNumber() const {
    int32_t value = 0;
    return ParseInt32(code_, value) ? value : 0;
}

bool TIdReply::IsValidCode(const std::string&) const { return true; }

TStringList& TIdReply::FormattedReply() {
    formatted_.Clear();
    return formatted_;
}

const TStringList& TIdReply::FormatLines() { return FormattedReply(); }

void TIdReply::Clear() {
    text_.Clear();
    code_.clear();
}

bool TIdReply::IsLastLine(const std::string&) const { return false; }

bool TIdReply::HasContent() const { return !code_.empty(); }

void TIdReply::SetCodeAndText(int32_t code, const std::string& text) { SetCodeAndText(std::to_string(code), text); }

void TIdReply::SetCodeAndText(const std::string& code, const std::string& text) {
    SetCode(code);
    text_.SetText(text);
}

void TIdReply::Assign(const TIdReply& source) {
    if (&source == this) return;
    code_ = source.code_;
    text_.Assign(source.text_);
}

std::string TIdReply::DisplayName() const {
    if (text_.Empty()) return code_;
    return code_ + " " + text_[0];
}
