#include "app/cli/TerminalText.h"

#include <algorithm>
#include <cstdlib>

#include "platform/CodePage.h"

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
}  // namespace

bool TerminalIsUtf8() {
    static const bool utf8 = NamesUtf8(LocaleVariable());
    return utf8;
}

namespace {
// Both encodings agree on ASCII: most lines need no conversion.
bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
}
}  // namespace

std::string ToTerminal(const std::string& ansi) {
    return TerminalIsUtf8() && !IsAscii(ansi) ? AnsiToUtf8(ansi) : ansi;
}

std::string FromTerminal(const std::string& text) {
    return TerminalIsUtf8() && !IsAscii(text) ? Utf8ToAnsi(text) : text;
}

void WriteTerminalLine(FILE* stream, const std::string& ansi) {
    const std::string line = ToTerminal(ansi) + "\n";
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
}

void TStreamLogSink::AppendLogLine(const std::string& line) { WriteTerminalLine(stream_, line); }
