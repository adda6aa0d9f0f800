// Quoted-printable: the whole-text and the streaming encoder agree, keep
// their line limits, and decode back to the input with CR LF line ends.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "message/IdEncoderQuotedPrintable.h"

// Every line end (CR LF, LF, lone CR) as CR LF, and a last line closed.
inline std::string FuzzCrLfLines(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += (text[i] == '\r' || text[i] == '\n') ? std::string("\r\n") : std::string(1, text[i]);
    }
    if (!out.empty() && (out.size() < 2 || out.compare(out.size() - 2, 2, "\r\n") != 0)) out += "\r\n";
    return out;
}

inline int FuzzHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A strict decoder of the encoder's output: soft breaks are "=" CR LF,
// escapes are "=" and two upper-case hex digits, everything else is
// printable ASCII, blank or tab (never at a line's end), lines at most 76.
// A dot never starts a line of the source text ("=2E" does); a line that
// continues after a soft break may start with one (dot-stuffing covers it).
inline std::string FuzzDecodeQuotedPrintable(const std::string& encoded) {
    std::string out;
    size_t lineStart = 0;
    bool continued = false;
    for (size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        if (c == '\r') {
            FUZZ_CHECK(i + 1 < encoded.size() && encoded[i + 1] == '\n');
            FUZZ_CHECK(i - lineStart <= 76);
            FUZZ_CHECK(i == lineStart || (encoded[i - 1] != ' ' && encoded[i - 1] != '\t'));
            out += "\r\n";
            lineStart = ++i + 1;
            continued = false;
        } else if (c == '=') {
            FUZZ_CHECK(i + 2 < encoded.size());
            if (encoded[i + 1] == '\r') {
                FUZZ_CHECK(encoded[i + 2] == '\n');
                FUZZ_CHECK(i + 1 - lineStart <= 76);
                i += 2;
                lineStart = i + 1;
                continued = true;
                continue;
            }
            const int high = FuzzHexValue(encoded[i + 1]), low = FuzzHexValue(encoded[i + 2]);
            FUZZ_CHECK(high >= 0 && low >= 0);
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            FUZZ_CHECK(c == ' ' || c == '\t' || (c > 32 && c < 127));
            FUZZ_CHECK(!(c == '.' && i == lineStart && !continued));
            out += c;
        }
    }
    FUZZ_CHECK(lineStart == encoded.size());
    return out;
}

inline int FuzzQuotedPrintable(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint32_t seed = input.Byte();
    const std::string text = input.Rest();
    const std::string encoded = TIdEncoderQuotedPrintable::Encode(text);
    TIdEncoderQuotedPrintable streaming;
    std::string pieces;
    for (const std::string& chunk : FuzzChunks(seed, text)) streaming.Feed(chunk.data(), chunk.size(), pieces);
    streaming.Finish(pieces);
    FUZZ_CHECK(pieces == encoded);
    FUZZ_CHECK(FuzzDecodeQuotedPrintable(encoded) == FuzzCrLfLines(text));
    return 0;
}
