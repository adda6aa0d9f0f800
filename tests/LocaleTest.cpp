#include "platform/Locale.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {
struct LocaleEnv {
    explicit LocaleEnv(const char* lang) {
        unsetenv("LC_ALL");
        unsetenv("LC_CTYPE");
        setenv("LANG", lang, 1);
    }
    ~LocaleEnv() { setenv("LANG", "C.UTF-8", 1); }
};
}  // namespace

TEST(Locale, PrimaryLanguageAndCodePageFollowTheLocale) {
    struct Case {
        const char* lang;
        TPrimaryLanguage language;
        int codePage;
    } cases[] = {
        {"it_IT.UTF-8", TPrimaryLanguage::Italian, 1252},
        {"zh_CN.UTF-8", TPrimaryLanguage::ChineseSimplified, 936},
        {"zh_SG", TPrimaryLanguage::ChineseSimplified, 936},
        {"zh_TW.UTF-8", TPrimaryLanguage::ChineseTraditional, 950},
        {"ja_JP.UTF-8", TPrimaryLanguage::Japanese, 932},
        {"ru_RU.UTF-8", TPrimaryLanguage::Russian, 1251},
        {"C.UTF-8", TPrimaryLanguage::Other, 1252},
    };
    for (const auto& c : cases) {
        LocaleEnv env(c.lang);
        EXPECT_EQ(UserPrimaryLanguage(), c.language) << c.lang;
        EXPECT_EQ(AnsiCodePage(), c.codePage) << c.lang;
    }
}

// What the terminal's bytes are; a locale that is not installed is only
// understood when its name says UTF-8.
TEST(Locale, CharsetOfTheLocale) {
    const std::pair<const char*, const char*> cases[] = {
        {"it_IT.UTF-8", "UTF-8"},       {"ja_JP.EUC-JP", "EUC-JP"}, {"ja_JP.SJIS", "SHIFT_JIS"},
        {"C", "ANSI_X3.4-1968"},        {"xx_XX.UTF-8", "UTF-8"},   {"xx_XX.EUC-JP", ""},
    };
    for (const auto& [lang, charset] : cases) {
        LocaleEnv env(lang);
        EXPECT_EQ(UserLocaleCharset(), charset) << lang;
    }
}

TEST(Locale, LcAllWinsOverLang) {
    LocaleEnv env("it_IT.UTF-8");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(UserPrimaryLanguage(), TPrimaryLanguage::Japanese);
    EXPECT_TRUE(IsAnsiLeadByte(0x82));
    unsetenv("LC_ALL");
    EXPECT_FALSE(IsAnsiLeadByte(0x82));
}

TEST(CodePage, ItalianLettersRoundTripThroughWindows1252) {
    LocaleEnv env("it_IT.UTF-8");
    EXPECT_EQ(Utf8ToAnsi("perch\xC3\xA8"), "perch\xE8");
    EXPECT_EQ(AnsiToUtf8("perch\xE8 \x80"), "perch\xC3\xA8 \xE2\x82\xAC");
    EXPECT_EQ(Utf8ToAnsi("\xE6\x97\xA5"), "?");  // not in the code page
}

TEST(FileExistsCheck, OnlyRegularFiles) {
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists("/tmp"));
    EXPECT_TRUE(FileExists("/etc/hostname") || FileExists("/etc/passwd"));
}
