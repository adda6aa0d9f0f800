// The data phase filter: CR LF line ends and dot-stuffing by wire line,
// whatever the text holds and however it is split between sends.
#include "message/IdDataPhaseIntercept.h"

#include "tests/support/MemoryIOHandler.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::string Filtered(const std::vector<std::string>& pieces) {
    TMemoryIOHandler io;
    TIdDataPhaseIntercept filter(io);
    TIdBytes out;
    for (const std::string& piece : pieces)
        filter.Filter(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), out);
    return std::string(out.begin(), out.end());
}

// The rule one byte at a time, as a reader of the wire would state it.
std::string ByteByByte(const std::string& text) {
    std::string wire;
    bool lineStart = true, afterCR = false;
    for (char c : text) {
        if (afterCR && c == '\n') {
            afterCR = false;
            continue;
        }
        afterCR = c == '\r';
        if (c == '\r' || c == '\n') {
            wire += "\r\n";
            lineStart = true;
            continue;
        }
        if (lineStart && c == '.') wire += '.';
        wire += c;
        lineStart = false;
    }
    return wire;
}

}  // namespace

// Long texts of mixed line ends, dots and long lines, cut into pieces of
// every size from one byte to several lines: the filter works on whole
// runs, so runs that cross a cut or end exactly at one are where it breaks.
TEST(IdDataPhaseIntercept, LongMixedTextsMatchTheRuleByteByByte) {
    const std::string alphabet = std::string("ab.\r\n\0\xE8", 7);
    std::mt19937 random(20);
    for (int round = 0; round < 40; ++round) {
        std::string text;
        while (text.size() < 6000) {
            const char c = alphabet[random() % alphabet.size()];
            // Now and then a long line without any break.
            text.append(random() % 50 == 0 ? std::string(random() % 3000, 'x') : std::string(1, c));
        }
        std::vector<std::string> pieces;
        for (size_t at = 0; at < text.size();) {
            const size_t size = std::min(text.size() - at, size_t{1} + random() % (round % 2 == 0 ? 7 : 900));
            pieces.push_back(text.substr(at, size));
            at += size;
        }
        ASSERT_EQ(Filtered(pieces), ByteByByte(text)) << "round " << round;
    }
}

TEST(IdDataPhaseIntercept, LineEndsAndDotsWhateverTheSplit) {
    const struct {
        std::string in, wire;
    } cases[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {".\r\n", "..\r\n"},
        {"x\r\n.\r\ny\r\n", "x\r\n..\r\ny\r\n"},
        {"lf\n.lf\n", "lf\r\n..lf\r\n"},
        {"cr\r.cr\r", "cr\r\n..cr\r\n"},
        {"two\r\r\n.", "two\r\n\r\n.."},
        {"\n\n.", "\r\n\r\n.."},
        {"mid.dot ..\r\n", "mid.dot ..\r\n"},
        {"..\r\n", "...\r\n"},
        {std::string("nul\0.\r\n", 7), std::string("nul\0.\r\n", 7)},
        {"\xE8.\r\n\x80", "\xE8.\r\n\x80"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Filtered({c.in}), c.wire) << c.in;
        for (size_t cut = 0; cut <= c.in.size(); ++cut)
            EXPECT_EQ(Filtered({c.in.substr(0, cut), c.in.substr(cut)}), c.wire) << c.in << " cut at " << cut;
        std::vector<std::string> bytes;
        for (char ch : c.in) bytes.emplace_back(1, ch);
        EXPECT_EQ(Filtered(bytes), c.wire) << c.in << " byte by byte";
    }
}

TEST(IdDataPhaseIntercept, SitsInFrontOfTheHandlersInterceptForItsLifetime) {
    TMemoryIOHandler io;
    TIdConnectionIntercept transcript;
    std::string seen;
    transcript.SetOnSend([&](TIdBytes& bytes) { seen.append(bytes.begin(), bytes.end()); });
    io.SetIntercept(&transcript);
    {
        TIdDataPhaseIntercept filter(io);
        EXPECT_EQ(io.Intercept(), &filter);
        io.Write(".a\n.");
        EXPECT_FALSE(filter.AtLineStart());
        io.Write("b\r");
        EXPECT_TRUE(filter.AtLineStart());
    }
    EXPECT_EQ(io.Intercept(), &transcript);
    io.Write(".c\n");
    EXPECT_EQ(io.Sent(), "..a\r\n..b\r\n.c\n");
    EXPECT_EQ(seen, io.Sent());  // the chained intercept sees the wire form
}
