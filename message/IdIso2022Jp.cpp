#include "message/IdIso2022Jp.h"

#include <cstdint>

namespace {

const char kToJis[] = "\x1B$B";
const char kToAscii[] = "\x1B(B";

// JIS X 0208 codes of the full-width forms of half-width katakana 0xA1..0xDF.
const uint16_t kKatakana[63] = {
    0x2123, 0x2156, 0x2157, 0x2122, 0x2126, 0x2572, 0x2521, 0x2523, 0x2525, 0x2527, 0x2529, 0x2563, 0x2565,
    0x2567, 0x2543, 0x213C, 0x2522, 0x2524, 0x2526, 0x2528, 0x252A, 0x252B, 0x252D, 0x252F, 0x2531, 0x2533,
    0x2535, 0x2537, 0x2539, 0x253B, 0x253D, 0x253F, 0x2541, 0x2544, 0x2546, 0x2548, 0x254A, 0x254B, 0x254C,
    0x254D, 0x254E, 0x254F, 0x2552, 0x2555, 0x2558, 0x255B, 0x255E, 0x255F, 0x2560, 0x2561, 0x2562, 0x2564,
    0x2566, 0x2568, 0x2569, 0x256A, 0x256B, 0x256C, 0x256D, 0x256F, 0x2573, 0x212B, 0x212C,
};

bool IsLead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }
bool IsUnusedLead(uint8_t c) { return c >= 0xF0 && c <= 0xFC; }
bool IsTrail(uint8_t c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
bool IsHalfWidthKana(uint8_t c) { return c >= 0xA1 && c <= 0xDF; }

uint16_t ShiftJisToJis(uint8_t s1, uint8_t s2) {
    int row = (s1 >= 0xE0 ? s1 - 0x40 : s1) - 0x81;
    int j1 = row * 2 + 0x21;
    int j2;
    if (s2 >= 0x9F) {
        ++j1;
        j2 = s2 - 0x9F + 0x21;
    } else {
        j2 = s2 - 0x40 + 0x21 - (s2 > 0x7F ? 1 : 0);
    }
    return static_cast<uint16_t>((j1 << 8) | j2);
}

// Full-width code of a half-width kana, folding a following voiced or
// semi-voiced sound mark into it; consumed tells whether the mark was used.
uint16_t KanaToJis(uint8_t c, int next, bool& consumed) {
    const uint16_t base = kKatakana[c - 0xA1];
    consumed = false;
    const bool voiceable = (c >= 0xB6 && c <= 0xC4) || (c >= 0xCA && c <= 0xCE);
    if (next == 0xDE && voiceable) {
        consumed = true;
        return static_cast<uint16_t>(base + 1);
    }
    if (next == 0xDE && c == 0xB3) {  // u + voiced mark = vu
        consumed = true;
        return 0x2574;
    }
    if (next == 0xDF && c >= 0xCA && c <= 0xCE) {
        consumed = true;
        return static_cast<uint16_t>(base + 2);
    }
    return base;
}

class TJisWriter {
public:
    void Ascii(char c) {
        if (jis_) out_ += kToAscii;
        jis_ = false;
        out_ += c;
    }
    void Jis(uint16_t code) {
        if (!jis_) out_ += kToJis;
        jis_ = true;
        out_ += static_cast<char>(code >> 8);
        out_ += static_cast<char>(code & 0xFF);
    }
    std::string Finish() {
        if (jis_) out_ += kToAscii;
        jis_ = false;
        return out_;
    }

private:
    std::string out_;
    bool jis_ = false;
};

}  // namespace

std::string ToIso2022Jp(const std::string& shiftJis) {
    TJisWriter writer;
    const size_t n = shiftJis.size();
    auto at = [&](size_t i) { return i < n ? static_cast<int>(static_cast<uint8_t>(shiftJis[i])) : -1; };
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = static_cast<uint8_t>(shiftJis[i]);
        const int next = at(i + 1);
        if (c < 0x80) {
            writer.Ascii(static_cast<char>(c));
        } else if (IsLead(c)) {
            // A lead byte without a valid trail is dropped alone, so that the
            // following byte (often a plain character) survives.
            if (next >= 0 && IsTrail(static_cast<uint8_t>(next))) {
                writer.Jis(ShiftJisToJis(c, static_cast<uint8_t>(next)));
                ++i;
            }
        } else if (IsHalfWidthKana(c)) {
            bool consumed = false;
            writer.Jis(KanaToJis(c, next, consumed));
            if (consumed) ++i;
        } else if (IsUnusedLead(c)) {
            if (next >= 0 && IsTrail(static_cast<uint8_t>(next))) ++i;
        }
        // 0x80, 0xA0 and 0xFD..0xFF are dropped.
    }
    return writer.Finish();
}
