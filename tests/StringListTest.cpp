#include "core/StringList.h"

#include <gtest/gtest.h>

TEST(StringList, TextFormEndsEveryLineWithCrLf) {
    TStringList list{"a", "", "b"};
    EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
    EXPECT_EQ(TStringList().Text(), "");
}

TEST(StringList, SetTextSplitsAtEveryKindOfBreak) {
    struct Case {
        const char* text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\nb\n", {"a", "b"}},
        {"a\rb", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}},
        {"\n\n", {"", ""}},
        {"x ,\r\ny", {"x ,", "y"}},
    };
    for (const auto& c : cases) {
        TStringList list;
        list.SetText(c.text);
        EXPECT_EQ(list.Lines(), c.lines) << c.text;
    }
}

TEST(StringList, LookupsIgnoreCaseAndNameValuePairsWork) {
    TStringList list{"AUTH LOGIN", "PIPELINING", "Key=Value"};
    EXPECT_EQ(list.IndexOf("pipelining"), 1);
    EXPECT_EQ(list.IndexOfExact("pipelining"), -1);
    EXPECT_EQ(list.Values("key"), "Value");
    list.SetValues("Key", "");
    EXPECT_EQ(list.IndexOfName("Key"), -1);
    EXPECT_THROW(list.Delete(5), std::out_of_range);
}

TEST(StringHelpers, TrimAndCase) {
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_TRUE(SameText("Ehlo", "EHLO"));
    EXPECT_FALSE(SameText("Ehlo", "EHL"));
    EXPECT_TRUE(StartsText("smtp:", "SMTP:a@b"));
}
