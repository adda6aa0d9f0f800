#include "message/IdLabelledText.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/CodePage.h"

namespace {

class IdLabelledText : public ::testing::Test {
protected:
    void TearDown() override { setenv("LC_ALL", "it_IT.UTF-8", 1); }
};

// The label always names the bytes, and the bytes always read back as the
// typed text (given here in UTF-8).
TEST_F(IdLabelledText, LabelNamesTheBytes) {
    const struct {
        const char* locale;
        const char* preferred;
        const char* text;
        const char* label;
    } cases[] = {
        {"it_IT.UTF-8", "ISO-8859-1", "plain", "ISO-8859-1"},
        {"it_IT.UTF-8", "ISO-8859-1", "perch\xC3\xA9", "ISO-8859-1"},
        {"it_IT.UTF-8", "ISO-8859-1", "5 \xE2\x82\xAC", "windows-1252"},
        {"C", "ISO-8859-1", "\xE2\x80\x99", "windows-1252"},
        {"ru_RU.UTF-8", "KOI8-R", "\xD0\x9C\xD0\xB8\xD1\x80", "KOI8-R"},
        {"ru_RU.UTF-8", "KOI8-R", "\xE2\x84\x96 1", "windows-1251"},  // numero sign: not in KOI8-R
        {"ja_JP.UTF-8", "ISO-2022-JP", "\xE6\x97\xA5\xE6\x9C\xAC", "ISO-2022-JP"},
        {"ja_JP.UTF-8", "ISO-2022-JP", "\xEF\xBD\xB6", "UTF-8"},  // half-width katakana would be widened
        {"ko_KR.UTF-8", "EUC-KR", "\xEB\x98\xA0", "UTF-8"},
        {"zh_CN.UTF-8", "GB2312", "\xE9\x95\x95", "GBK"},
        {"it_IT.UTF-8", "x-unknown", "perch\xC3\xA9", "windows-1252"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + c.text);
        setenv("LC_ALL", c.locale, 1);
        const TIdLabelledText labelled = LabelText(Utf8ToAnsi(c.text), c.preferred);
        EXPECT_EQ(labelled.CharSet, c.label);
        EXPECT_EQ(ConvertCodePageExactly(labelled.Bytes, labelled.CharSet, "UTF-8"), c.text);
    }
}

TEST_F(IdLabelledText, StrictConversionRefusesWhatItCannotCarry) {
    EXPECT_EQ(ConvertCodePageExactly("perch\xE9", "CP1252", "ISO-8859-1"), "perch\xE9");
    EXPECT_EQ(ConvertCodePageExactly("\x80", "CP1252", "ISO-8859-1"), std::nullopt);
    EXPECT_EQ(ConvertCodePageExactly("\xE6\x97", "UTF-8", "CP1252"), std::nullopt);  // cut character
    EXPECT_EQ(ConvertCodePageExactly("x", "CP1252", "no-such-charset"), std::nullopt);
    // A stateful target ends back in its initial state.
    EXPECT_EQ(ConvertCodePageExactly("\xE6\x97\xA5", "UTF-8", "ISO-2022-JP"), "\x1B$BF|\x1B(B");
    EXPECT_EQ(ConvertCodePageExactly("", "CP1252", "UTF-8"), "");
}

}  // namespace
