#include "app/cli/TerminalText.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/Locale.h"

namespace {
// The sets whose bytes the code page reads as the same text: it extends them.
bool AnsiReadsAsItIs(const std::string& charset) {
    if (charset.empty() || charset == "ANSI_X3.4-1968") return true;
    switch (AnsiCodePage()) {
        case 932: return charset == "SHIFT_JIS";
        case 936: return charset == "GB2312" || charset == "GBK";
        case 949: return charset == "EUC-KR";
        case 950: return charset == "BIG5";
        case 1251: return charset == "CP1251";
        default: return charset == "ISO-8859-1";
    }
}

// Every set involved agrees on ASCII: most lines need no conversion.
bool IsAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c < 0x80; });
}

bool PassesAsItIs(const std::string& text) { return TerminalCharset().empty() || IsAscii(text); }
}  // namespace

const std::string& TerminalCharset() {
    static const std::string charset = [] {
        const std::string name = UserLocaleCharset();
        return AnsiReadsAsItIs(name) ? std::string() : name;
    }();
    return charset;
}

std::string ToTerminal(const std::string& ansi) {
    return PassesAsItIs(ansi) ? ansi : ConvertCodePage(ansi, AnsiCodePageName(), TerminalCharset());
}

std::string FromTerminal(const std::string& text) {
    return PassesAsItIs(text) ? text : ConvertCodePage(text, TerminalCharset(), AnsiCodePageName());
}

std::optional<std::string> FromTerminalExactly(const std::string& text) {
    if (PassesAsItIs(text)) return text;
    return ConvertCodePageExactly(text, TerminalCharset(), AnsiCodePageName());
}

std::string NotTypable(const std::string& what) {
    const std::string& charset = TerminalCharset();
    return what + (charset.empty() ? std::string() : " is not " + charset + " or") + " has characters that code page " +
           std::to_string(AnsiCodePage()) + " cannot hold";
}


void TStreamLogSink::AppendLogLine(const std::string& line) { WriteTerminalLine(stream_, line); }
