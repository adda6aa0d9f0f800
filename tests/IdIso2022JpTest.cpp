#include "message/IdIso2022Jp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/PythonRunner.h"

namespace {

// Expected bytes come from Python's cp932 and iso2022_jp codecs
// (tests/data/make_iso2022jp_fixture.py).
TEST(IdIso2022Jp, MatchesPythonCodecs) {
    const auto path = std::filesystem::path(MAILSORTELLO_SOURCE_DIR) / "tests" / "data" / "iso2022jp_fixture.txt";
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::string line;
    int cases = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string sjis, expected;
        fields >> sjis >> expected;
        EXPECT_EQ(ToHex(ToIso2022Jp(FromHex(sjis))), expected) << sjis;
        ++cases;
    }
    EXPECT_GE(cases, 8);
}

TEST(IdIso2022Jp, DropsBytesWithoutAPlace) {
    struct Case {
        std::string in, out;
    } cases[] = {
        {"", ""},
        {"abc", "abc"},
        {"a\x80" "b\xA0" "c\xFD\xFE\xFF", "abc"},
        {"a\xF0\x40" "b", "ab"},        // user-defined lead and its trail
        {"a\x93", "a"},                  // lead byte at the end
        {"a\x93\nb", "a\nb"},            // lead without trail: the follower stays
        {"\x93\xFA", "\x1B$BF|\x1B(B"},  // one kanji opens and closes a run
    };
    for (const auto& c : cases) EXPECT_EQ(ToHex(ToIso2022Jp(c.in)), ToHex(c.out)) << ToHex(c.in);
}

TEST(IdIso2022Jp, SurvivesEveryByte) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        for (int j = 0; j < 256; ++j) {
            all += static_cast<char>(i);
            all += static_cast<char>(j);
        }
    const std::string out = ToIso2022Jp(all);
    EXPECT_EQ(out.substr(out.size() - 3), "\x1B(B");
    EXPECT_EQ(ToIso2022Jp(std::string(1 << 20, '\x81')).size(), 6u + (1u << 20));
}

}  // namespace
