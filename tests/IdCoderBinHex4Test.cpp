#include "message/IdCoderBinHex4.h"

#include <gtest/gtest.h>

#include <random>

#include "core/StringList.h"
#include "tests/support/ChunkedStream.h"
#include "tests/support/PythonRunner.h"

namespace {

// A small BinHex 4.0 reader built on Python's binascii.crc_hqx: undoes the
// 6-bit packing and the run-length coding, checks the three CRCs and
// prints the name and the data fork in hex.
const char* kDecode = R"PY(
import sys, binascii, struct
ALPHA = '!"#$%&\'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr'
text = sys.stdin.read()
intro, rest = text.split('\r\n', 1)
assert intro == '(This file must be converted with BinHex 4.0)', intro
lines = rest.split('\r\n')
assert all(len(l) <= 64 for l in lines), 'long line'
body = ''.join(lines)
assert body[0] == ':' and body.rstrip().endswith(':')
chars = body.strip()[1:-1]
bits, acc, packed = 0, 0, bytearray()
for c in chars:
    acc = (acc << 6) | ALPHA.index(c); bits += 6
    if bits >= 8:
        bits -= 8; packed.append((acc >> bits) & 0xFF)
out, i, last = bytearray(), 0, None
while i < len(packed):
    b = packed[i]
    if b == 0x90:
        n = packed[i + 1]; i += 2
        if n == 0: out.append(0x90); last = 0x90
        else: out.extend([last] * (n - 1))
    else:
        out.append(b); last = b; i += 1
nl = out[0]; name = out[1:1 + nl]; p = 1 + nl + 1
dlen, rlen = struct.unpack('>II', out[p + 10:p + 18]); p += 18
assert struct.unpack('>H', out[p:p + 2])[0] == binascii.crc_hqx(bytes(out[:p]), 0), 'header crc'
p += 2
data = bytes(out[p:p + dlen]); p += dlen
assert struct.unpack('>H', out[p:p + 2])[0] == binascii.crc_hqx(data, 0), 'data crc'
p += 2
assert rlen == 0 and struct.unpack('>H', out[p:p + 2])[0] == 0
print(name.decode(), data.hex())
)PY";

TEST(IdCoderBinHex4, PublishedFormatReadBack) {
    std::mt19937 rng(9);
    std::string random(5000, '\0');
    for (auto& c : random) c = static_cast<char>(rng() % 4 == 0 ? 0x90 : rng());
    const std::string inputs[] = {"", "hello", std::string(1000, 'a'), std::string(300, '\x90'), "a\x90\x90\x90z",
                                  random};
    for (const auto& data : inputs) {
        TIdEncoderBinHex4 encoder;
        encoder.SetFileName("report.pdf");
        TChunkedStream source(data, 333);
        TMemoryStream dest;
        encoder.Encode(source, dest);
        const TPythonResult r = RunPython(kDecode, dest.DataString());
        EXPECT_EQ(r.exitCode, 0) << dest.DataString().substr(0, 200);
        EXPECT_EQ(r.out, "report.pdf " + ToHex(data) + "\n");
    }
    const uint8_t check[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(BinHexCrc(0, check, 9), 0x31C3);
}

}  // namespace
