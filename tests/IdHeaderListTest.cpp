#include "message/IdHeaderList.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class IdHeaderList : public ::testing::Test {
protected:
    void SetUp() override { setenv("LC_ALL", "it_IT.UTF-8", 1); }
};

TEST_F(IdHeaderList, ReadsUnfoldedTrimmedValues) {
    TIdHeaderList h;
    h.SetText("Subject:  first part \r\n  second\r\n\tthird\r\nX-Other: y\r\nNoColon\r\n");
    EXPECT_EQ(h.Values("subject"), "first part second third");
    EXPECT_EQ(h.Values("X-OTHER"), "y");
    EXPECT_EQ(h.Values("Missing"), "");
    EXPECT_EQ(h.IndexOfName("x-other"), 3);
    EXPECT_EQ(h.IndexOfName("NoColon"), -1);
    h.SetUnfoldLines(false);
    EXPECT_EQ(h.Values("Subject"), "first part");
}

TEST_F(IdHeaderList, WritingKeepsPlaceReplacesContinuationsAndRemoves) {
    TIdHeaderList h;
    h.SetText("A: 1\r\nB: old\r\n more\r\nC: 3\r\n");
    h.SetValues("b", "new");
    EXPECT_EQ(h.Text(), "A: 1\r\nb: new\r\nC: 3\r\n");
    h.SetValues("D", "4");
    EXPECT_EQ(h[3], "D: 4");
    h.SetValues("A", "");
    h.SetValues("Nothing", "");
    EXPECT_EQ(h.Text(), "b: new\r\nC: 3\r\nD: 4\r\n");
}

struct FoldCase {
    const char* what;
    std::string name, value;
    std::vector<std::string> lines;
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

TEST_F(IdHeaderList, FoldsAtBlanksOutsideQuotes) {
    const std::string a = "user0001@example-mail.it";  // 24 characters
    const std::string b = "=_abcdefghijklmnopqrstuvwxyz012345";
    const std::string longWords = Repeat("word ", 30);
    const FoldCase cases[] = {
        {"five 24-character addresses", "To", a + ", " + a + ", " + a + ", " + a + ", " + a,
         {"To: " + a + ", " + a + ",", " " + a + ", " + a + ", " + a}},
        {"quoted boundary crossing column 78 ends the line", "Content-Type",
         "multipart/mixed; charset=\"ISO-8859-1\"; boundary=\"" + b + "\"",
         {"Content-Type: multipart/mixed; charset=\"ISO-8859-1\"; boundary=\"" + b + "\""}},
        {"CR LF and a blank are kept", "X-Test", "first\r\n second", {"X-Test: first", " second"}},
        {"no break inside a quoted name", "To",
         "\"" + Repeat("name ", 18) + "\" <a@b.it>, c@d.it",
         {"To:", " \"" + Repeat("name ", 18) + "\"", " <a@b.it>, c@d.it"}},
        {"short line", "Subject", "hello", {"Subject: hello"}},
    };
    for (const auto& c : cases) {
        TIdHeaderList h;
        h.SetValues(c.name, c.value);
        EXPECT_EQ(h.Lines(), c.lines) << c.what;
        for (const auto& line : h.Lines()) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << c.what;
    }
    EXPECT_EQ(std::string("To: " + a + ", " + a + ",").size(), 55u);
    EXPECT_EQ(std::string(" " + a + ", " + a + ", " + a).size(), 77u);

    TIdHeaderList h;
    h.SetValues("Subject", longWords);
    ASSERT_GT(h.Count(), 1);
    for (int i = 0; i < h.Count(); ++i) {
        EXPECT_LE(h[i].size(), 78u) << h[i];
        if (i > 0) {
            EXPECT_EQ(h[i][0], ' ');
        }
    }
    EXPECT_EQ(h.Values("Subject"), Trim(longWords));
}

// Only CR LF followed by a blank or tab is a fold; every other line break
// would start a field (or end the block) of its own.
TEST_F(IdHeaderList, LineBreaksThatAreNoFoldsBecomeBlanks) {
    const FoldCase cases[] = {
        {"CR LF", "Subject", "Ciao\r\nX-Injected: 1", {"Subject: Ciao X-Injected: 1"}},
        {"lone LF", "Subject", "Ciao\nX-Injected: 1", {"Subject: Ciao X-Injected: 1"}},
        {"lone CR", "Subject", "Ciao\rX-Injected: 1", {"Subject: Ciao X-Injected: 1"}},
        {"empty line", "Subject", "Ciao\r\n\r\nCorpo", {"Subject: Ciao  Corpo"}},
        {"blank continuation", "Subject", "Ciao\r\n \r\n fine", {"Subject: Ciao", " fine"}},
        {"NUL", "Subject", std::string("Ci\0ao", 5), {"Subject: Ciao"}},
    };
    for (const auto& c : cases) {
        TIdHeaderList h;
        h.SetValues(c.name, c.value);
        EXPECT_EQ(h.Lines(), c.lines) << c.what;
    }
    const TStringList raw = {"X-A: uno\r\nX-B: due", "", "  ", " continua"};
    EXPECT_EQ(HeaderBlockLines(raw).Lines(), (std::vector<std::string>{"X-A: uno X-B: due", " continua"}));
}

// Folding only ever turns one existing blank into CR LF and that blank, so
// free text unfolds to exactly what was typed.
TEST_F(IdHeaderList, FoldedTextUnfoldsUnchanged) {
    const std::string values[] = {Repeat("\"x\",\"y\", ", 30), Repeat("a,b,c ", 30), Repeat("due  blank ", 20) + "fine"};
    for (const auto& value : values) {
        TIdHeaderList h;
        h.SetValues("Subject", value);
        ASSERT_GT(h.Count(), 1);
        std::string unfolded;
        for (const auto& line : h.Lines()) {
            EXPECT_LE(line.size(), 78u) << line;
            unfolded += line;
        }
        EXPECT_EQ(unfolded, "Subject: " + TrimRight(value));
    }
}

TEST_F(IdHeaderList, WrapsDoubleByteCharactersAsOneUnit) {
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    // Shift_JIS pairs whose trail byte is a blank or comma must not be cut.
    std::string value;
    for (int i = 0; i < 60; ++i) value += "\x81\x2C";
    value += " end";
    const std::string wrapped = WrapHeaderLine("Subject: " + value);
    EXPECT_EQ(wrapped.find("\x81\r\n"), std::string::npos);
    setenv("LC_ALL", "it_IT.UTF-8", 1);
}

TEST_F(IdHeaderList, HostileValuesEndSafely) {
    const std::string inputs[] = {"", "\"", std::string(1 << 20, '"'), std::string(1 << 20, ' '),
                                  std::string(1 << 20, ','), std::string(1 << 20, '\r'), std::string(1 << 20, 'x'),
                                  Repeat("\r\n ", 1 << 16), std::string("a\0b", 3)};
    for (const auto& v : inputs) {
        TIdHeaderList h;
        h.SetValues("X", v);
        (void)h.Values("X");
        (void)WrapHeaderLine(v, 1);
        (void)WrapHeaderLine(v, 0);
    }
    TIdHeaderList h;
    h.SetText(Repeat(" cont\r\n", 1000));
    (void)h.Values("");
}

}  // namespace
