// Base64: the one-line and the block encoder decode back to the bytes, and
// the decoder takes any text without harm.
#pragma once

#include "fuzz/FuzzSupport.h"
#include "message/IdCoderMIME.h"

inline int FuzzBase64(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const size_t block = 3 * (1 + input.Byte() % 32);
    const std::string bytes = input.Rest();
    const std::string encoded = TIdEncoderMIME::EncodeString(bytes);
    FUZZ_CHECK(encoded.size() == (bytes.size() + 2) / 3 * 4);
    std::string decoded;
    FUZZ_CHECK(TIdDecoderMIME::TryDecode(encoded, decoded));
    FUZZ_CHECK(decoded == bytes);

    std::string blocks;
    const auto* raw = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t at = 0; at < bytes.size(); at += block) {
        TIdEncoderMIME::EncodeBlock(raw + at, std::min(block, bytes.size() - at), blocks);
        blocks += "\r\n";
    }
    decoded.clear();
    FUZZ_CHECK(TIdDecoderMIME::TryDecode(blocks, decoded));
    FUZZ_CHECK(decoded == bytes);

    std::string any;
    if (TIdDecoderMIME::TryDecode(bytes, any)) {
        // Whatever decodes also encodes back to a text that decodes alike.
        std::string twice;
        FUZZ_CHECK(TIdDecoderMIME::TryDecode(TIdEncoderMIME::EncodeString(any), twice) && twice == any);
    }
    return 0;
}
