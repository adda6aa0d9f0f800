// Base64 content of a message: groups of 57 bytes as lines of 76 characters.
#pragma once

#include "message/IdMessageCoder.h"

class TIdMessageEncoderMIME : public TIdMessageEncoder {
public:
    void Encode(TStream& source, TStream& dest) override;
    // The lines for a whole text held in memory.
    static std::string EncodeText(const std::string& text);
};
