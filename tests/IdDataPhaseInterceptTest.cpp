// The data phase filter: CR LF line ends and dot-stuffing by wire line,
// whatever the text holds and however it is split between sends.
#include "message/IdDataPhaseIntercept.h"

#include "tests/support/MemoryIOHandler.h"

#include <gtest/gtest.h>

namespace {

std::string Filtered(const std::vector<std::string>& pieces) {
    TMemoryIOHandler io;
    TIdDataPhaseIntercept filter(io);
    TIdBytes out;
    for (const std::string& piece : pieces)
        filter.Filter(reinterpret_cast<const uint8_t*>(piece.data()), piece.size(), out);
    return std::string(out.begin(), out.end());
}

}  // namespace

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
