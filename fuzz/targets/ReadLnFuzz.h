// ReadLn over input that arrives in chunks of random sizes: the lines read,
// with their terminators put back, are the input again (one CR before an LF
// dropped), whatever the chunk borders, terminator and length limit.
#pragma once

#include "fuzz/FuzzSupport.h"

inline int FuzzReadLn(const uint8_t* data, size_t size) {
    TFuzzInput input(data, size);
    const uint32_t seed = input.Byte();
    const uint8_t flags = input.Byte();
    const char* terminators[] = {"\n", "\r\n", ".\r\n", "\n\n"};
    const std::string terminator = terminators[flags % 4];
    const int32_t maxLength = 1 + input.Byte() % 128;
    const std::string text = input.Rest();

    TFuzzIOHandler handler(FuzzChunks(seed, text));
    handler.SetMaxLineAction(maSplit);
    std::string rebuilt;
    try {
        while (true) {
            const std::string line = handler.ReadLn(terminator, TimeoutDefault, maxLength);
            FUZZ_CHECK(line.size() <= static_cast<size_t>(maxLength));
            rebuilt += line;
            if (handler.LastLineSplit()) continue;
            // The CR dropped before LF comes back only where the input had it.
            const size_t at = rebuilt.size();
            if (terminator == "\n" && at < text.size() && text[at] == '\r') rebuilt += '\r';
            rebuilt += terminator;
        }
    } catch (const EIdConnClosedGracefully&) {
    }
    rebuilt += handler.InputBufferAsString();
    FUZZ_CHECK(rebuilt == text);
    return 0;
}
