#include "message/IdLabelledText.h"

#include <algorithm>

#include "core/StringList.h"
#include "message/IdIso2022Jp.h"
#include "platform/CodePage.h"
#include "platform/Locale.h"

namespace {

// The label of the code page's own bytes; empty when readers know none.
std::string OwnLabel(int codePage) {
    switch (codePage) {
        case 1252: return "windows-1252";
        case 1251: return "windows-1251";
        case 936: return "GBK";
        default: return {};
    }
}

// ToIso2022Jp drops what it cannot carry and widens half-width katakana;
// the result counts only when it reads back as the same characters.
bool TryIso2022Jp(const std::string& ansi, std::string& out) {
    out = ToIso2022Jp(ansi);
    const auto typed = ConvertCodePageExactly(ansi, AnsiCodePageName(), "UTF-8");
    return typed && typed == ConvertCodePageExactly(out, "ISO-2022-JP", "UTF-8");
}

bool TryLabel(const std::string& ansi, const std::string& label, std::string& out) {
    if (SameText(label, "ISO-2022-JP")) return TryIso2022Jp(ansi, out);
    const auto converted = ConvertCodePageExactly(ansi, AnsiCodePageName(), label);
    if (converted) out = *converted;
    return converted.has_value();
}

}  // namespace

bool HasEightBitBytes(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 128; });
}

bool IsPlainAscii(const std::string& text) {
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 128 || c == '\x1B'; });
}

TIdLabelledText LabelText(const std::string& ansi, const std::string& preferred) {
    if (IsPlainAscii(ansi)) return {ansi, preferred};
    TIdLabelledText result;
    if (TryLabel(ansi, preferred, result.Bytes)) {
        result.CharSet = preferred;
        return result;
    }
    result.CharSet = OwnLabel(AnsiCodePage());
    if (!result.CharSet.empty()) {
        result.Bytes = ansi;
        return result;
    }
    result.CharSet = "UTF-8";
    result.Bytes = AnsiToUtf8(ansi);
    return result;
}
