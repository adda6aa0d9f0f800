#include "app/cli/TerminalText.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>

#include "platform/CodePage.h"
#include "platform/Locale.h"

namespace {
bool NamesUtf8(std::string locale) {
    std::transform(locale.begin(), locale.end(), locale.begin(), [](unsigned char c) { return std::tolower(c); });
    return locale.find("utf-8") != std::string::npos || locale.find("utf8") != std::string::npos;
}

std::string LocaleVariable() {
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char* value = std::getenv(name); value != nullptr && *value != '\0') return value;
    return {};
}

// The locale's own character set ("ja_JP" is EUC-JP); for a locale not
// installed here, what its name says.
std::string LocaleCharset(const std::string& name) {
    if (locale_t locale = newlocale(LC_CTYPE_MASK, name.c_str(), nullptr)) {
        const std::string charset = nl_langinfo_l(CODESET, locale);
        freelocale(locale);
        return charset;
    }
    return NamesUtf8(name) ? "UTF-8" : "";
}

// Empty when the terminal's bytes are taken as ANSI as they are: its
// charset is the code page itself (Shift_JIS for 932: converting it would
// turn "\" into a yen sign) or unknown, or plain ASCII.
std::string ComputeTerminalCharset() {
    const std::string charset = LocaleCharset(LocaleVariable());
    const std::string ansi = AnsiCodePageName();
    const bool asAnsi = charset.empty() || charset == "ANSI_X3.4-1968" || charset == ansi ||
                        (ansi == "CP932" && (charset == "SHIFT_JIS" || charset == "SJIS"));
    return asAnsi ? std::string() : charset;
}

// Both encodings agree on ASCII: most lines need no conversion.
bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
}

bool Unconverted(const std::string& text) { return TerminalCharset().empty() || IsAscii(text); }
}  // namespace

const std::string& TerminalCharset() {
    static const std::string charset = ComputeTerminalCharset();
    return charset;
}

std::string ToTerminal(const std::string& ansi) {
    return Unconverted(ansi) ? ansi : ConvertCodePage(ansi, AnsiCodePageName(), TerminalCharset());
}

std::string FromTerminal(const std::string& text) {
    return Unconverted(text) ? text : ConvertCodePage(text, TerminalCharset(), AnsiCodePageName());
}

std::optional<std::string> FromTerminalExactly(const std::string& text) {
    if (Unconverted(text)) return text;
    return ConvertCodePageExactly(text, TerminalCharset(), AnsiCodePageName());
}

std::string NotTypable(const std::string& what) {
    return what + " is not " + TerminalCharset() + " or has characters that code page " +
           std::to_string(AnsiCodePage()) + " cannot hold";
}

void WriteTerminalLine(FILE* stream, const std::string& ansi) {
    const std::string line = ToTerminal(ansi) + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

void TStreamLogSink::AppendLogLine(const std::string& line) { WriteTerminalLine(stream_, line); }
