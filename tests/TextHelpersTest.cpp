#include "app/TextHelpers.h"

#include <gtest/gtest.h>

TEST(TextHelpers, TextToIntTable) {
    struct Case {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"", 0},           {"0", 0},           {"587", 587},          {"587 ", 587},
        {"es:  25", 25},   {"465  587", 465587}, {"abc", 0},          {"0x1D", 29},
        {"0X1d", 29},      {"$1F", 1},         {"x1F", 1},            {"  42", 42},
        {"-17", -17},      {"+17", 17},        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},            {"4294967296", 0},     {"9999999999", 0},
        {"es:  465  587 ", 465587},            {"E5", 5},             {"-", 0},
        {"1.5", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(TextToInt(c.text), c.expected) << '"' << c.text << '"';
}

TEST(TextHelpers, StrictConversion) {
    int32_t value = 0;
    EXPECT_TRUE(TryStrictToInt("  0x7FFFFFFF", value));
    EXPECT_EQ(value, INT32_MAX);
    EXPECT_FALSE(TryStrictToInt("0x80000000", value));
    EXPECT_FALSE(TryStrictToInt("-$1", value));
    EXPECT_FALSE(TryStrictToInt("12 ", value));
    EXPECT_FALSE(TryStrictToInt("$", value));
    EXPECT_FALSE(TryStrictToInt("+", value));
}

TEST(TextHelpers, TextToBoolTable) {
    struct Case {
        const char* text;
        bool defaultValue;
        bool expected;
    } cases[] = {
        {"-1", false, false}, {"si", false, true}, {"", true, true},  {"", false, false},
        {"1", false, true},   {"0", true, false},  {"Yes", false, true}, {"no", true, false},
        {"T", false, true},   {"f", true, false},  {"?", true, true},    {"2", false, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TextToBool(c.text, c.defaultValue), c.expected) << '"' << c.text << '"' << c.defaultValue;
}

TEST(TextHelpers, NextTokenWalksEmptyTokensBetweenDelimiters) {
    const TCharSet comma = MakeCharSet(",");
    int position = 1;
    EXPECT_EQ(NextToken("a,,b", position, comma), "a");
    EXPECT_EQ(position, 3);
    EXPECT_EQ(NextToken("a,,b", position, comma), "");
    EXPECT_EQ(position, 4);
    EXPECT_EQ(NextToken("a,,b", position, comma), "b");
    EXPECT_EQ(position, 5);
    EXPECT_EQ(NextToken("a,,b", position, comma), "");
    EXPECT_EQ(position, 5);
}

TEST(TextHelpers, NextTokenOutsideTheText) {
    const TCharSet comma = MakeCharSet(",");
    int position = 9;
    EXPECT_EQ(NextToken("ab", position, comma), "");
    EXPECT_EQ(position, 3);
    position = 0;
    EXPECT_EQ(NextToken("ab,c", position, comma), "ab");
    EXPECT_EQ(position, 4);
}

TEST(TextHelpers, NormalizeRecipientsTable) {
    struct Case {
        const char* text;
        const char* expected;
    } cases[] = {
        {"a@x.it; b@y.it", "<a@x.it> ,\r\n<b@y.it>"},
        {"a@x.it, b@y.it\r\n", "<a@x.it> ,\r\n<b@y.it>"},
        {"Mario Rossi <mario@x.it>\r\n", "Mario Rossi <mario@x.it>\r\n"},
        {"", ""},
        {"a@x.it\r\n", "a@x.it\r\n"},
        {"a@x.it\r\nb@y.it\r\n", "a@x.it\r\nb@y.it\r\n"},
        {" ;, \r\n", ""},
        {"a@x.it\tb@y.it c", "<a@x.it> ,\r\n<b@y.it> ,\r\n<c>"},
        {"a\x1f" "b c", "<a\x1f" "b> ,\r\n<c>"},
    };
    for (const Case& c : cases) EXPECT_EQ(NormalizeRecipients(c.text, RecipientSeparator), c.expected) << c.text;
}
