#include "message/IdEncoderQuotedPrintable.h"

#include <gtest/gtest.h>

#include <random>

#include "core/StringList.h"
#include "tests/support/ChunkedStream.h"
#include "tests/support/PythonRunner.h"

namespace {

struct Case {
    const char* what;
    std::string in, out;
};

TEST(IdEncoderQuotedPrintable, Cases) {
    const std::string letters(100, 'a');
    const Case cases[] = {
        {"100 letters", letters + "\r\n", std::string(70, 'a') + "=\r\n" + std::string(30, 'a') + "\r\n"},
        {"trailing blank", "end \r\n", "end=20\r\n"},
        {"trailing tab", "end\t", "end=09\r\n"},
        {"inner blanks stay", "a b\tc\r\n", "a b\tc\r\n"},
        {"equals sign", "a=b\r\n", "a=3Db\r\n"},
        {"leading dot", ".x\r\n.\r\n", "=2Ex\r\n=2E\r\n"},
        {"inner dot", "a.b\r\n", "a.b\r\n"},
        {"dot after a soft break", std::string(70, 'a') + "...." + "\r\n",
         std::string(70, 'a') + "=\r\n....\r\n"},
        {"high and control bytes", "\xE8\x01\x7F~!\r\n", "=E8=01=7F~!\r\n"},
        {"line ends of every kind", "a\rb\nc\r\nd", "a\r\nb\r\nc\r\nd\r\n"},
        {"empty lines", "\r\n\r\n", "\r\n\r\n"},
        {"empty", "", ""},
        {"no cut at 73", std::string(73, 'b'), std::string(73, 'b') + "\r\n"},
        {"cut keeps escapes whole", std::string(69, 'c') + "\xE8\xE8\xE8",
         std::string(69, 'c') + "=\r\n=E8=E8=E8\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(TIdEncoderQuotedPrintable::Encode(c.in), c.out) << c.what;
}

TEST(IdEncoderQuotedPrintable, LineLimitsAndPythonDecodes) {
    std::mt19937 rng(3);
    std::string input;
    const std::string alphabet = "abc .=\t\xE8\r\n";
    for (int n = 0; n < 200; ++n) {
        std::string s;
        const int len = static_cast<int>(rng() % 400);
        for (int i = 0; i < len; ++i) s += alphabet[rng() % alphabet.size()];
        // Line ends normalise to CR LF; compare against that form.
        std::string normal;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') continue;
            if (s[i] == '\r' || s[i] == '\n') {
                normal += "\r\n";
                continue;
            }
            normal += s[i];
        }
        if (!normal.empty() && normal.substr(normal.size() - std::min<size_t>(2, normal.size())) != "\r\n")
            normal += "\r\n";
        const std::string out = TIdEncoderQuotedPrintable::Encode(s);
        TStringList lines;
        lines.SetText(out);
        for (const auto& line : lines) {
            EXPECT_LE(line.size(), 73u);
            if (line.empty()) continue;
            if (line.back() == '=') {
                EXPECT_LE(line.size(), 71u);
            } else {
                EXPECT_NE(line.back(), ' ');
            }
        }
        TChunkedStream source(s, 7);
        TMemoryStream dest;
        TIdMessageEncoderQuotedPrintable().Encode(source, dest);
        EXPECT_EQ(dest.DataString(), out);
        input += ToHex(out) + " " + ToHex(normal) + "\n";
    }
    const TPythonResult r = RunPython(
        "import sys, quopri\n"
        "for line in sys.stdin:\n"
        "    parts = line.split()\n"
        "    enc, raw = (parts + ['', ''])[:2]\n"
        "    print('ok' if quopri.decodestring(bytes.fromhex(enc)) == bytes.fromhex(raw) else 'bad ' + enc)\n",
        input);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.find("bad"), std::string::npos) << r.out;
}

TEST(IdEncoderQuotedPrintable, OneLongLineStreamsInBoundedMemory) {
    TIdEncoderQuotedPrintable encoder;
    std::string out;
    const std::string piece(4096, 'x');
    size_t total = 0;
    for (int i = 0; i < 256; ++i) {
        encoder.Feed(piece.data(), piece.size(), out);
        total += out.size();
        EXPECT_LT(out.size(), 2 * piece.size());
        out.clear();
    }
    encoder.Finish(out);
    total += out.size();
    EXPECT_GT(total, 256u * 4096u);
}

}  // namespace
