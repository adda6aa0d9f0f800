#include "message/IdMessageCoderUUE.h"

#include <gtest/gtest.h>

#include <random>

#include "core/StringList.h"
#include "tests/support/ChunkedStream.h"
#include "tests/support/PythonRunner.h"

namespace {

std::string Encode(TIdMessageEncoder&& encoder, const std::string& data, int64_t step = 1 << 20) {
    encoder.SetFileName("file.bin");
    TChunkedStream source(data, step);
    TMemoryStream dest;
    encoder.Encode(source, dest);
    return dest.DataString();
}

// Python's binascii decodes uuencode; xxencode is mapped onto it first.
const char* kDecode = R"PY(
import sys, binascii
XX = '+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'
UU = ''.join(chr(32 + i) for i in range(64))
for line in sys.stdin:
    kind, enc, raw = (line.split() + [''])[:3]
    lines = bytes.fromhex(enc).decode('latin-1').split('\r\n')
    assert lines[0] == 'begin 660 file.bin' and lines[-1] == '' and lines[-2] == 'end', lines[:1]
    body = lines[1:-3]
    if kind == 'xx':
        body = [l.translate(str.maketrans(XX, UU)) for l in body]
    out = b''.join(binascii.a2b_uu(l) for l in body)
    print('ok' if out == bytes.fromhex(raw) else 'bad')
)PY";

TEST(IdMessageCoderUUE, FramingLinesAndPythonDecodes) {
    std::mt19937 rng(5);
    std::string input;
    for (size_t n : {0u, 1u, 14u, 44u, 45u, 46u, 90u, 1000u, 200000u}) {
        std::string data(n, '\0');
        for (auto& c : data) c = static_cast<char>(rng());
        const std::string uu = Encode(TIdMessageEncoderUUE(), data);
        const std::string xx = Encode(TIdMessageEncoderXXE(), data);
        EXPECT_EQ(Encode(TIdMessageEncoderUUE(), data, 100), uu);
        TStringList lines;
        lines.SetText(uu);
        EXPECT_EQ(lines[0], "begin 660 file.bin");
        EXPECT_EQ(lines[lines.Count() - 2], "`");
        EXPECT_EQ(lines[lines.Count() - 1], "end");
        EXPECT_EQ(lines.Count(), static_cast<int>(3 + (n + 44) / 45));
        if (n > 0) {
            EXPECT_EQ(lines[1][0], static_cast<char>(32 + std::min<size_t>(n, 45)));
        }
        TStringList xxLines;
        xxLines.SetText(xx);
        EXPECT_EQ(xxLines[xxLines.Count() - 2], "+");
        input += "uu " + ToHex(uu) + " " + ToHex(data) + "\n";
        input += "xx " + ToHex(xx) + " " + ToHex(data) + "\n";
    }
    // A last line of 14 bytes starts with "." (32 + 14): the connection
    // stream stuffs it.
    TStringList lines;
    lines.SetText(Encode(TIdMessageEncoderUUE(), std::string(14, 'a')));
    EXPECT_EQ(lines[1][0], '.');
    const TPythonResult r = RunPython(kDecode, input);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("bad"), std::string::npos) << r.out;
}

}  // namespace
