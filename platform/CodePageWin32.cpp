// Conversions between character sets with the Win32 code page functions,
// by way of UTF-16. The sets are named as the MIME labels and iconv name
// them; each is mapped onto its Windows code page number.
#include "platform/CodePage.h"

#include <windows.h>

#include <cctype>
#include <utility>

#include "core/StringList.h"

namespace {

constexpr UINT kUtf16 = 1200;
constexpr UINT kUnknown = 0;

UINT CodePageOf(const std::string& label) {
    const std::string name = UpperCase(label);
    static const std::pair<const char*, UINT> known[] = {
        {"UTF-8", CP_UTF8},        {"UTF8", CP_UTF8},           {"UTF-16LE", kUtf16},
        {"US-ASCII", 20127},       {"ASCII", 20127},            {"ANSI_X3.4-1968", 20127},
        {"ISO-2022-JP", 50220},    {"SHIFT_JIS", 932},          {"SHIFT-JIS", 932},
        {"SJIS", 932},             {"EUC-JP", 20932},           {"GB2312", 936},
        {"GBK", 936},              {"BIG5", 950},               {"EUC-KR", 949},
        {"KS_C_5601-1987", 949},   {"KOI8-R", 20866},           {"KOI8-U", 21866},
    };
    for (const auto& [known_name, page] : known)
        if (name == known_name) return page;
    auto numberAfter = [&name](const std::string& prefix) -> UINT {
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return kUnknown;
        const std::string digits = name.substr(prefix.size());
        for (char c : digits)
            if (!std::isdigit(static_cast<unsigned char>(c))) return kUnknown;
        return digits.size() <= 5 ? static_cast<UINT>(std::stoul(digits)) : kUnknown;
    };
    if (UINT page = numberAfter("CP")) return page;
    if (UINT page = numberAfter("WINDOWS-")) return page;
    if (UINT page = numberAfter("ISO-8859-")) return page <= 16 ? 28590 + page : kUnknown;
    return kUnknown;
}

// Single-byte and DBCS pages say when a byte has no character; the others
// do not take the flag.
DWORD DecodeFlags(UINT page, bool exact) {
    if (!exact) return 0;
    return page == 50220 || page == 20932 ? 0 : MB_ERR_INVALID_CHARS;
}

std::optional<std::wstring> Decode(const std::string& text, UINT page, bool exact) {
    if (page == kUtf16) {
        if (text.size() % 2 != 0 && exact) return std::nullopt;
        std::wstring wide(text.size() / 2, L'\0');
        for (size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[2 * i]) |
                                           (static_cast<unsigned char>(text[2 * i + 1]) << 8));
        return wide;
    }
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(page, DecodeFlags(page, exact), text.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(page, DecodeFlags(page, exact), text.data(), size, wide.data(), length);
    return wide;
}

std::optional<std::string> Encode(const std::wstring& wide, UINT page) {
    if (page == kUtf16) {
        std::string out;
        out.reserve(wide.size() * 2);
        for (wchar_t c : wide) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>((c >> 8) & 0xFF);
        }
        return out;
    }
    const int size = static_cast<int>(wide.size());
    const int length = ::WideCharToMultiByte(page, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::nullopt;
    std::string out(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(page, 0, wide.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

// Exact: the text must come back from the target unchanged, which also
// rules out the "best fit" look-alikes Windows picks for missing characters.
std::optional<std::string> Convert(const std::string& text, const std::string& from, const std::string& to,
                                   bool exact) {
    if (text.empty()) return std::string();
    const UINT source = CodePageOf(from);
    const UINT target = CodePageOf(to);
    if (source == kUnknown || target == kUnknown) return exact ? std::nullopt : std::optional<std::string>(text);
    const auto wide = Decode(text, source, exact);
    if (!wide) return exact ? std::nullopt : std::optional<std::string>(std::string(text.size(), '?'));
    auto out = Encode(*wide, target);
    if (!out) return exact ? std::nullopt : std::optional<std::string>(std::string());
    if (exact && Decode(*out, target, false) != wide) return std::nullopt;
    return out;
}

}  // namespace

std::string ConvertCodePage(const std::string& text, const std::string& from, const std::string& to) {
    return *Convert(text, from, to, false);
}

std::optional<std::string> ConvertCodePageExactly(const std::string& text, const std::string& from,
                                                  const std::string& to) {
    return Convert(text, from, to, true);
}
