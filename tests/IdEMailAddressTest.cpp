#include "message/IdEMailAddress.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct ParseCase {
    const char* text;
    const char* name;
    const char* address;
    const char* readBack;
};

const ParseCase kParseCases[] = {
    {"john@example.com", "", "john@example.com", "john@example.com"},
    {"John Smith <john@example.com>", "John Smith", "john@example.com", "John Smith <john@example.com>"},
    {"\"Smith, John\" <john@example.com>", "Smith, John", "john@example.com",
     "\"Smith, John\" <john@example.com>"},
    {"john@example.com (the boss)", "", "john@example.com", "john@example.com"},
    {"John (the boss) <john@example.com>", "John", "john@example.com", "John <john@example.com>"},
    {"  <john@example.com>  ", "", "john@example.com", "john@example.com"},
    // Blanks around the dots of a bracketed domain are dropped.
    {"John <john@ mail . example . com >", "John", "john@mail.example.com", "John <john@mail.example.com>"},
    {"\"a\\\"b\" <x@y.z>", "a\"b", "x@y.z", "\"a\\\"b\" <x@y.z>"},
    {"", "", "", ""},
    {"   \t ", "", "", ""},
    {"plain", "", "plain", "plain"},
    // Left open: text glued to an opening quote joins the quoted text.
    {"ab\"cd\" <x@y.z>", "abcd", "x@y.z", "abcd <x@y.z>"},
    // Left open: a backslash ending an open quote is dropped.
    {"\"abc\\", "abc", "", "abc <>"},
};

TEST(IdEMailAddressItem, ParsesAndReadsBack) {
    for (const auto& c : kParseCases) {
        TIdEMailAddressItem item;
        item.SetText(c.text);
        EXPECT_EQ(item.Name(), c.name) << c.text;
        EXPECT_EQ(item.Address(), c.address) << c.text;
        EXPECT_EQ(item.Text(), c.readBack) << c.text;
    }
}

struct FormCase {
    const char* name;
    const char* address;
    const char* text;
};

const FormCase kFormCases[] = {
    {"", "john smith@example.com", "<\"john smith\"@example.com>"},
    {"", "john.smith@example.com", "john.smith@example.com"},
    {"", "a.b c@example.com", "a.b c@example.com"},  // a first "." lets the rest through
    {"", "x\"y@example.com", "<\"x\\\"y\"@example.com>"},
    {"John", "", "John <>"},
    {"JOHN@EXAMPLE.COM", "john@example.com", "<john@example.com>"},
    {"Jo \"J\" Smith", "j@example.com", "\"Jo \\\"J\\\" Smith\" <j@example.com>"},
    {"Caf\xE8", "c@example.com", "\"Caf\xE8\" <c@example.com>"},
    {"", "", ""},
};

TEST(IdEMailAddressItem, TextFromFields) {
    for (const auto& c : kFormCases) {
        TIdEMailAddressItem item;
        item.SetName(c.name);
        item.SetAddress(c.address);
        EXPECT_EQ(item.Text(), c.text) << c.name << " / " << c.address;
    }
}

TEST(IdEMailAddressItem, AtAfterBracketedAddressRaises) {
    TIdEMailAddressItem item;
    try {
        item.SetText("<a@example.com> b@example.com");
        FAIL() << "no error";
    } catch (const EIdEmailParseError& e) {
        EXPECT_EQ(e.Message(), "@ Outside address");
    }
    EXPECT_EQ(item.Address(), "a@example.com");
}

TEST(IdEMailAddressItem, UserAndDomain) {
    TIdEMailAddressItem item;
    item.SetAddress("a@b@example.com");
    EXPECT_EQ(item.User(), "a@b");
    EXPECT_EQ(item.Domain(), "example.com");
    item.SetUser("x");
    EXPECT_EQ(item.Address(), "x@b@example.com");
    item.SetDomain("d.org");
    EXPECT_EQ(item.Address(), "x@d.org");
    item.SetAddress("nobody");
    EXPECT_EQ(item.User(), "");
    EXPECT_EQ(item.Domain(), "");
    item.SetDomain("d.org");
    EXPECT_EQ(item.Address(), "nobody@d.org");
    item.SetAddress("nobody");
    item.SetUser("u");
    EXPECT_EQ(item.Address(), "u@nobody");

    TIdEMailAddressItem copy;
    item.SetName("N");
    copy.Assign(item);
    EXPECT_EQ(copy.Address(), "u@nobody");
    EXPECT_EQ(copy.Name(), "N");
}

struct ListCase {
    const char* text;
    std::vector<std::string> addresses;
    const char* readBack;
};

TEST(IdEMailAddressList, ParsesEntries) {
    const ListCase cases[] = {
        {"a@example.com, b@example.com", {"a@example.com", "b@example.com"}, "a@example.com, b@example.com"},
        {"team: a@example.com, b@example.com;", {"a@example.com", "b@example.com"},
         "a@example.com, b@example.com"},
        {"a@example.com,,b@example.com", {"a@example.com", "b@example.com"}, "a@example.com, b@example.com"},
        {"a@example.com, <>, b@example.com", {"a@example.com", "b@example.com"},
         "a@example.com, b@example.com"},
        {"   ", {}, ""},
        {"", {}, ""},
        {"a@example.com", {"a@example.com"}, "a@example.com"},
        {"a@example.com (me, myself)", {"a@example.com"}, "a@example.com"},
        {"\"Smith, John\" <j@example.com>, k@example.com", {"j@example.com", "k@example.com"},
         "\"Smith, John\" <j@example.com>, k@example.com"},
        {"<>", {}, ""},
        {"a@example.com;b@example.com", {"a@example.com", "b@example.com"}, "a@example.com, b@example.com"},
        // Line breaks separate as commas do, wherever they stand.
        {"uno@example.test\r\ndue@example.test\r\n", {"uno@example.test", "due@example.test"},
         "uno@example.test, due@example.test"},
        {"Uno <uno@example.test>\ndue@example.test\rTre <tre@example.test>",
         {"uno@example.test", "due@example.test", "tre@example.test"},
         "Uno <uno@example.test>, due@example.test, Tre <tre@example.test>"},
        {"a@example.test,\r\n\r\n,b@example.test", {"a@example.test", "b@example.test"},
         "a@example.test, b@example.test"},
    };
    for (const auto& c : cases) {
        TIdEMailAddressList list;
        list.SetEMailAddresses(c.text);
        ASSERT_EQ(list.Count(), static_cast<int>(c.addresses.size())) << c.text;
        for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Items(i)->Address(), c.addresses[i]) << c.text;
        EXPECT_EQ(list.EMailAddresses(), c.readBack) << c.text;
        EXPECT_EQ(list.EMailAddresses().find_first_of("\r\n"), std::string::npos) << c.text;
    }
}

TEST(IdEMailAddressList, ErrorKeepsItemsParsedBefore) {
    TIdEMailAddressList list;
    EXPECT_THROW(list.SetEMailAddresses("a@example.com, <b@example.com> c@example.com"), EIdEmailParseError);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Items(0)->Address(), "a@example.com");
    EXPECT_EQ(list.Items(1)->Address(), "b@example.com");
}

TEST(IdEMailAddressList, OwnsItemsAndFreesRemoveThem) {
    TIdEMailAddressList list;
    list.Add()->SetAddress("a@example.com");
    TIdEMailAddressItem* second = list.Add();
    second->SetAddress("b@example.com");
    list.Add()->SetAddress("c@example.com");
    delete second;
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.EMailAddresses(), "a@example.com, c@example.com");
    list.Delete(0);
    EXPECT_EQ(list.EMailAddresses(), "c@example.com");
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

// Hostile input: the parsers end on every byte string, in linear time.
TEST(IdEMailAddressParsers, SurviveHostileInput) {
    std::vector<std::string> inputs = {std::string("\0", 1), std::string("a\0@b", 4), "\"", "\"\"\"", "(", "((((a",
                                       ")", "<", "<<<", ">", "@", "@@", "\\", "\"\\", "(\\", "a@b(", "<a@b",
                                       "a@b\"c", "x <y", ";", ":", ",,,", "a:b:c;;"};
    for (char c : std::string(" \t\"()<>@.,:;\\a\x80"))
        inputs.push_back(std::string(1 << 20, c));
    inputs.push_back(std::string(1 << 19, 'a') + std::string(1 << 19, ' '));
    std::string pairs;
    for (int i = 0; i < (1 << 18); ++i) pairs += "a ";
    inputs.push_back(pairs);
    std::mt19937 rng(7);
    const std::string alphabet = " \t\"()<>@.,:;\\ab\r\n";
    for (int n = 0; n < 2000; ++n) {
        std::string s;
        const int len = static_cast<int>(rng() % 40);
        for (int i = 0; i < len; ++i) s += alphabet[rng() % alphabet.size()];
        inputs.push_back(s);
    }
    for (const auto& input : inputs) {
        TIdEMailAddressItem item;
        try {
            item.SetText(input);
        } catch (const EIdEmailParseError&) {
        }
        (void)item.Text();
        TIdEMailAddressList list;
        try {
            list.SetEMailAddresses(input);
        } catch (const EIdEmailParseError&) {
        }
        (void)list.EMailAddresses();
    }
}

}  // namespace
