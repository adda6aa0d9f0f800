// Quoted-printable (RFC 2045) with soft breaks that keep lines within 76
// characters and a leading dot written as "=2E".
#pragma once

#include <string>
#include <vector>

#include "message/IdMessageCoder.h"

class TIdEncoderQuotedPrintable {
public:
    // Encodes a whole text; every output line ends with CR LF.
    static std::string Encode(const std::string& text);

    // Incremental use: Feed pieces of the source, then Finish. Output lines
    // collect in the string passed to each call.
    void Feed(const char* data, size_t size, std::string& out);
    void Finish(std::string& out);

private:
    void PutByte(unsigned char c, bool lastOfLine, std::string& out);
    void EndLine(std::string& out);
    void PutToken(const char* token, size_t length, std::string& out);

    unsigned char held_ = 0;  // the latest byte of the input line, not yet encoded
    bool hasHeld_ = false;
    bool lineOpen_ = false;   // the current input line has bytes
    bool pendingCR_ = false;  // a CR was seen; an LF right after it joins it
    std::string line_;        // the output line being built
    std::vector<size_t> starts_;  // where each token of line_ begins
};

class TIdMessageEncoderQuotedPrintable : public TIdMessageEncoder {
public:
    void Encode(TStream& source, TStream& dest) override;
};
