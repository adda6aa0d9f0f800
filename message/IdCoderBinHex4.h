// BinHex 4.0: a header with the file name and fork lengths, the data fork
// and an empty resource fork, each with its CRC, run-length compressed and
// written in lines of 64 characters between colons.
#pragma once

#include "message/IdMessageCoder.h"

class TIdEncoderBinHex4 : public TIdMessageEncoder {
public:
    void Encode(TStream& source, TStream& dest) override;
};

// CRC-16/XMODEM (polynomial 0x1021, start 0) continued over more bytes.
uint16_t BinHexCrc(uint16_t crc, const uint8_t* data, size_t size);
