#include "message/IdMessageCoderMIME.h"

#include <gtest/gtest.h>

#include <random>

#include "core/StringList.h"
#include "tests/support/ChunkedStream.h"
#include "tests/support/PythonRunner.h"

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

std::string EncodeThrough(const std::string& data, int64_t step) {
    TChunkedStream source(data, step);
    TMemoryStream dest;
    TIdMessageEncoderMIME().Encode(source, dest);
    return dest.DataString();
}

TEST(IdMessageCoderMIME, LinesOf76AndPythonDecodesThem) {
    const size_t sizes[] = {0, 1, 2, 56, 57, 58, 114, 1000, 65664, 65665, 300001};
    std::string input;
    std::vector<std::string> sources;
    for (size_t n : sizes) {
        const std::string data = RandomBytes(n, static_cast<unsigned>(n));
        const std::string text = EncodeThrough(data, 1 << 20);
        EXPECT_EQ(EncodeThrough(data, 1000), text) << n;  // short reads change nothing
        EXPECT_EQ(TIdMessageEncoderMIME::EncodeText(data), text) << n;
        if (n == 0) {
            EXPECT_EQ(text, "");
            continue;
        }
        TStringList lines;
        lines.SetText(text);
        ASSERT_EQ(lines.Count(), static_cast<int>((n + 56) / 57)) << n;
        for (int i = 0; i + 1 < lines.Count(); ++i) ASSERT_EQ(lines[i].size(), 76u) << n;
        EXPECT_EQ(lines[lines.Count() - 1].size(), ((n % 57 == 0 ? 57 : n % 57) + 2) / 3 * 4) << n;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        EXPECT_EQ(text.find('='), n % 3 == 0 ? std::string::npos : text.size() - 2 - (3 - n % 3)) << n;
        input += ToHex(text) + " " + ToHex(data) + "\n";
    }
    const TPythonResult r = RunPython(
        "import sys, base64\n"
        "for line in sys.stdin:\n"
        "    enc, raw = line.split()\n"
        "    print('ok' if base64.b64decode(bytes.fromhex(enc), validate=False) == bytes.fromhex(raw) else 'bad')\n",
        input);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.find("bad"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 10);
}

}  // namespace
