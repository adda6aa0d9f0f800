// Conversions on the Win32 code page functions: the labels the message
// code uses, exact conversions that refuse what a set cannot hold.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/CodePage.h"
#include "platform/Locale.h"

namespace {

struct TCase {
    const char* what;
    std::string text, from, to;
    std::optional<std::string> exact;
};

TEST(CodePageWin32Test, ExactConversionsGiveTheBytesOrNothing) {
    const TCase cases[] = {
        {"euro and accents to UTF-8", "\x80 \xE8\xE0", "CP1252", "UTF-8", "\xE2\x82\xAC \xC3\xA8\xC3\xA0"},
        {"and back", "\xE2\x82\xAC \xC3\xA8\xC3\xA0", "UTF-8", "windows-1252", "\x80 \xE8\xE0"},
        {"Japanese has no place in 1252", "\xE6\x97\xA5\xE6\x9C\xAC", "UTF-8", "CP1252", std::nullopt},
        {"no best-fit look-alike", "\xC4\x80", "UTF-8", "CP1252", std::nullopt},  // A with macron
        {"Latin-1 label", "\xE8", "ISO-8859-1", "UTF-8", "\xC3\xA8"},
        {"euro is not Latin-1", "\xE2\x82\xAC", "UTF-8", "iso-8859-1", std::nullopt},
        {"broken UTF-8", "\xC3", "UTF-8", "CP1252", std::nullopt},
        {"Shift_JIS", "\x93\xfa\x96\x7b", "SHIFT_JIS", "UTF-8", "\xE6\x97\xA5\xE6\x9C\xAC"},
        {"UTF-16LE for the registry", "A\xC3\xA8", "UTF-8", "UTF-16LE", std::string("A\0\xE8\0", 4)},
        {"unknown set", "abc", "X-NOTHING", "UTF-8", std::nullopt},
        {"empty", "", "CP1252", "UTF-8", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ConvertCodePageExactly(c.text, c.from, c.to), c.exact) << c.what;
}

TEST(CodePageWin32Test, LossyConversionsMarkWhatIsMissing) {
    EXPECT_EQ(ConvertCodePage("\xE6\x97\xA5", "UTF-8", "CP1252"), "?");
    EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8("Caff\xE8")), "Caff\xE8");
}

TEST(CodePageWin32Test, TheAnsiCodePageIsTheSystems) {
    EXPECT_EQ(AnsiCodePageName(), "CP" + std::to_string(AnsiCodePage()));
    EXPECT_GT(AnsiCodePage(), 0);
    EXPECT_FALSE(ComputerName().empty());
    EXPECT_LE(ComputerName().size(), 15u);
}

}  // namespace
