// Header encoding: EncodeHeaderText read back by DecodeHeaderText, and
// WrapHeaderLine, whose folds only insert the break text.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "message/IdHeaderCoder.h"
#include "message/IdHeaderList.h"

inline std::string FuzzWithoutBreaks(const std::string& text, const std::string& breakText) {
    std::string out;
    size_t at = 0;
    for (size_t found; (found = text.find(breakText, at)) != std::string::npos; at = found + breakText.size())
        out += text.substr(at, found - at);
    return out + text.substr(at);
}

inline int FuzzHeaderText(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint8_t flags = input.Byte();
    const int width = 1 + input.Byte();
    const std::string text = input.Rest();
    const char letter = (flags & 1) != 0 ? 'B' : 'Q';
    const char* charsets[] = {"ISO-8859-1", "windows-1252", "KOI8-R", "ISO-2022-JP"};
    const TTransfer transfers[] = {ttSevenBit, ttEightBit, ttIso2022Jp};
    const std::string charset = charsets[(flags >> 1) % 4];
    const TTransfer transfer = transfers[(flags >> 3) % 3];
    const std::string encoded = EncodeHeaderText(text, kAddressSpecials, letter, transfer, charset);
    const bool plainCharset = charset == "ISO-8859-1" || charset == "windows-1252";
    if (plainCharset && transfer != ttIso2022Jp && DecodeHeaderText(text) == text)
        FUZZ_CHECK(DecodeHeaderText(encoded) == text);
    else
        (void)DecodeHeaderText(encoded);
    (void)EncodeHeaderText(text, kAddressSpecials, '8', transfer, charset);

    const std::string wrapped = WrapHeaderLine(text, width);
    if (text.find('\r') == std::string::npos) FUZZ_CHECK(FuzzWithoutBreaks(wrapped, "\r\n ") == text);
    return 0;
}
