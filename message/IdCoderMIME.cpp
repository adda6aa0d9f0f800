#include "message/IdCoderMIME.h"

#include <array>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Value of every byte in the alphabet; -1 outside it.
constexpr std::array<int8_t, 256> BuildDecodeTable() {
    std::array<int8_t, 256> table{};
    for (auto& v : table) v = -1;
    for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}
constexpr auto kDecode = BuildDecodeTable();

bool IsIgnorable(char c) { return c == '\r' || c == '\n' || c == ' ' || c == '\t'; }

// The two characters of every 12-bit value: a whole group of three bytes
// takes two look-ups instead of four.
struct TPairTable {
    char pairs[4096][2];
};
constexpr TPairTable BuildPairTable() {
    TPairTable table{};
    for (int i = 0; i < 4096; ++i) {
        table.pairs[i][0] = kAlphabet[i >> 6];
        table.pairs[i][1] = kAlphabet[i & 63];
    }
    return table;
}
constexpr TPairTable kPairs = BuildPairTable();

// Writes the four characters of one group of up to three bytes at out.
void EncodeGroup(const uint8_t* p, size_t n, char* out) {
    const uint32_t v = (uint32_t(p[0]) << 16) | (n > 1 ? uint32_t(p[1]) << 8 : 0u) | (n > 2 ? uint32_t(p[2]) : 0u);
    out[0] = kAlphabet[(v >> 18) & 63];
    out[1] = kAlphabet[(v >> 12) & 63];
    out[2] = n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out[3] = n > 2 ? kAlphabet[v & 63] : '=';
}

}  // namespace

char* TIdEncoderMIME::EncodeInto(const uint8_t* data, size_t size, char* at) {
    size_t i = 0;
    for (; i + 3 <= size; i += 3, at += 4) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | uint32_t(data[i + 2]);
        const char* high = kPairs.pairs[v >> 12];
        const char* low = kPairs.pairs[v & 4095];
        at[0] = high[0];
        at[1] = high[1];
        at[2] = low[0];
        at[3] = low[1];
    }
    if (i < size) {
        EncodeGroup(data + i, size - i, at);
        at += 4;
    }
    return at;
}

void TIdEncoderMIME::EncodeBlock(const uint8_t* data, size_t size, std::string& out) {
    const size_t start = out.size();
    out.resize(start + EncodedSize(size));
    EncodeInto(data, size, out.data() + start);
}

std::string TIdEncoderMIME::EncodeString(const std::string& bytes) {
    std::string out;
    EncodeBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
    return out;
}

std::string TIdEncoderMIME::EncodeBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    EncodeBlock(bytes.data(), bytes.size(), out);
    return out;
}

bool TIdDecoderMIME::TryDecode(const std::string& text, std::string& out) {
    out.clear();
    uint32_t acc = 0;
    int have = 0;     // characters of the current group
    int padding = 0;  // "=" seen in the current group
    bool ended = false;
    for (char c : text) {
        if (IsIgnorable(c)) continue;
        if (ended) return false;  // anything after the padded final group
        if (c == '=') {
            if (have < 2) return false;
            ++padding;
            ++have;
        } else {
            const int v = kDecode[static_cast<unsigned char>(c)];
            if (v < 0 || padding > 0) return false;
            acc = (acc << 6) | static_cast<uint32_t>(v);
            ++have;
        }
        if (have < 4) continue;
        acc <<= 6 * padding;
        out += static_cast<char>((acc >> 16) & 0xFF);
        if (padding < 2) out += static_cast<char>((acc >> 8) & 0xFF);
        if (padding < 1) out += static_cast<char>(acc & 0xFF);
        ended = padding > 0;
        acc = 0;
        have = 0;
        padding = 0;
    }
    return have == 0;
}

std::string TIdDecoderMIME::DecodeString(const std::string& text) {
    std::string out;
    if (!TryDecode(text, out)) Raise<EIdInvalidBase64>::Toss("Invalid Base64 data");
    return out;
}
