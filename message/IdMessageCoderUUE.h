// uuencode and xxencode for the attachments of plain-text messages:
// "begin 660 name", lines of 45 bytes, the fill-character line and "end".
#pragma once

#include "message/IdMessageCoder.h"

class TIdMessageEncoderUUEBase : public TIdMessageEncoder {
public:
    void Encode(TStream& source, TStream& dest) override;

protected:
    // 64 characters for the values 0 to 63; the first is the fill character.
    explicit TIdMessageEncoderUUEBase(const char* table) : table_(table) {}

private:
    void AppendLine(const uint8_t* data, size_t size, std::string& out) const;
    const char* table_;
};

class TIdMessageEncoderUUE : public TIdMessageEncoderUUEBase {
public:
    TIdMessageEncoderUUE();
};

class TIdMessageEncoderXXE : public TIdMessageEncoderUUEBase {
public:
    TIdMessageEncoderXXE();
};
