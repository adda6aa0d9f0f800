#include "app/TextHelpers.h"

#include <clocale>
#include <limits>

TCharSet MakeCharSet(const std::string& chars) {
    TCharSet set;
    for (unsigned char c : chars) set.set(c);
    return set;
}

std::string NextToken(const std::string& text, int& position, const TCharSet& delimiters) {
    const int length = static_cast<int>(text.size());
    const int start = position;
    int i = position < 1 ? 1 : position;
    while (i <= length && !delimiters.test(static_cast<unsigned char>(text[i - 1]))) ++i;
    std::string token;
    const int from = start < 1 ? 1 : start;
    if (i > start) token = text.substr(static_cast<size_t>(from - 1), static_cast<size_t>(i - from));
    position = i + 1 > length + 1 ? length + 1 : i + 1;
    return token;
}

bool TextToBool(const std::string& text, bool defaultValue) {
    if (text.empty()) return defaultValue;
    const std::string truthy = "1STYsty";
    const std::string falsy = "0FNfn";
    if (truthy.find(text[0]) != std::string::npos) return true;
    if (falsy.find(text[0]) != std::string::npos) return false;
    return defaultValue;
}

namespace {

char DecimalSeparator() {
    const std::lconv* conv = std::localeconv();
    return conv && conv->decimal_point && conv->decimal_point[0] ? conv->decimal_point[0] : '.';
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseDigits(const std::string& text, size_t i, int base, bool negative, int32_t& value) {
    if (i >= text.size()) return false;
    const int64_t limit = negative ? -int64_t(std::numeric_limits<int32_t>::min())
                                   : int64_t(std::numeric_limits<int32_t>::max());
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        const int digit = base == 16 ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0) return false;
        result = result * base + digit;
        if (result > limit) return false;
    }
    value = static_cast<int32_t>(negative ? -result : result);
    return true;
}

}  // namespace

bool TryStrictToInt(const std::string& text, int32_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i >= text.size()) return false;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') return ParseDigits(text, i + 1, 16, false, value);
    if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))
        return ParseDigits(text, i + 2, 16, false, value);
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
    return ParseDigits(text, i, 10, negative, value);
}

int32_t TextToInt(const std::string& text) {
    if (text.empty() || text == "0") return 0;
    const char separator = DecimalSeparator();
    auto keeps = [separator](char c) { return c == '+' || c == '-' || IsDigit(c) || c == separator; };
    int32_t value = 0;
    const char first = text[0];
    if ((keeps(first) || first == 'E' || first == 'e') && TryStrictToInt(text, value)) return value;
    std::string cleaned = text;
    for (size_t i = cleaned.size(); i-- > 0;)
        if (!keeps(cleaned[i])) cleaned.erase(i, 1);
    if (!cleaned.empty() && TryStrictToInt(cleaned, value)) return value;
    return 0;
}

const TCharSet& RecipientDelimiters() {
    static const TCharSet set = [] {
        TCharSet s;
        for (int c = 0; c <= 30; ++c) s.set(static_cast<size_t>(c));
        s.set(' ');
        s.set(',');
        s.set(';');
        return s;
    }();
    return set;
}

std::string NormalizeRecipients(const std::string& text, const std::string& separator) {
    if (text.find_first_of("<>") != std::string::npos) return text;
    if (text.find_first_of(";, ") == std::string::npos) return text;
    std::string result;
    int position = 1;
    while (position <= static_cast<int>(text.size())) {
        const std::string token = NextToken(text, position, RecipientDelimiters());
        if (token.empty()) continue;
        if (!result.empty()) result += separator;
        result += "<" + token + ">";
    }
    return result;
}
