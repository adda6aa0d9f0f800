// Base64 with the standard alphabet and "=" padding (RFC 4648 / RFC 2045):
// one-line values for the AUTH exchange, blocks for message content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/IdException.h"

// Raised by TIdDecoderMIME::DecodeString for text that is not Base64.
class EIdInvalidBase64 : public EIdException {
public:
    using EIdException::EIdException;
};

class TIdEncoderMIME {
public:
    // The whole input on one line, without line breaks.
    static std::string EncodeString(const std::string& bytes);
    static std::string EncodeBytes(const std::vector<uint8_t>& bytes);
    // Appends the Base64 of size bytes to out; only the final group of the
    // input gets padding, so callers chunking a stream pass multiples of 3.
    static void EncodeBlock(const uint8_t* data, size_t size, std::string& out);
    // The same into memory with room for EncodedSize(size) characters;
    // answers the end of what it wrote.
    static char* EncodeInto(const uint8_t* data, size_t size, char* at);
    static constexpr size_t EncodedSize(size_t size) { return (size + 2) / 3 * 4; }
};

class TIdDecoderMIME {
public:
    // Decodes text; CR, LF, blanks and tabs between the characters are
    // ignored. Answers false, with out holding what was decoded before the
    // fault, when a character is outside the alphabet, the padding is wrong
    // or misplaced, or the text ends in the middle of a group.
    static bool TryDecode(const std::string& text, std::string& out);
    // Same, raising EIdInvalidBase64 "Invalid Base64 data" on a fault.
    static std::string DecodeString(const std::string& text);
};
