#include "message/IdCoderBinHex4.h"

#include <vector>

namespace {

constexpr char kAlphabet[] = "!\"#$%&'()*+,-012345689@ABCDEFGHIJKLMNPQRSTUVXYZ[`abcdefhijklmpqr";
constexpr const char* kIntro = "(This file must be converted with BinHex 4.0)\r\n";
constexpr size_t kLineLength = 64;
constexpr uint8_t kRunMarker = 0x90;

// The three output stages: run-length compression, 8-to-6 bit packing and
// line breaking. Output collects in a string the caller drains.
class TBinHexWriter {
public:
    explicit TBinHexWriter(std::string& out) : out_(out) { PutChar(':'); }

    void Bytes(const uint8_t* data, size_t size) {
        for (size_t i = 0; i < size; ++i) Byte(data[i]);
    }

    void Finish() {
        FlushRun();
        if (bits_ > 0) PutChar(kAlphabet[(acc_ << (6 - bits_)) & 63]);
        PutChar(':');
        out_ += "\r\n";
    }

private:
    void Byte(uint8_t b) {
        if (hasRun_ && b == runByte_ && runLength_ < 255) {
            ++runLength_;
            return;
        }
        FlushRun();
        runByte_ = b;
        runLength_ = 1;
        hasRun_ = true;
    }

    void FlushRun() {
        if (!hasRun_) return;
        const auto literal = [this] {
            Pack(runByte_);
            if (runByte_ == kRunMarker) Pack(0);
        };
        literal();
        if (runLength_ == 2) {
            literal();
        } else if (runLength_ > 2) {
            Pack(kRunMarker);
            Pack(static_cast<uint8_t>(runLength_));
        }
        hasRun_ = false;
    }

    void Pack(uint8_t b) {
        acc_ = (acc_ << 8) | b;
        bits_ += 8;
        while (bits_ >= 6) {
            bits_ -= 6;
            PutChar(kAlphabet[(acc_ >> bits_) & 63]);
        }
        acc_ &= (1u << bits_) - 1;
    }

    void PutChar(char c) {
        if (column_ == kLineLength) {
            out_ += "\r\n";
            column_ = 0;
        }
        out_ += c;
        ++column_;
    }

    std::string& out_;
    uint8_t runByte_ = 0;
    int runLength_ = 0;
    bool hasRun_ = false;
    uint32_t acc_ = 0;
    int bits_ = 0;
    size_t column_ = 0;
};

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

std::vector<uint8_t> Header(const std::string& fileName, uint32_t dataLength) {
    const std::string name = fileName.substr(0, 63);
    std::vector<uint8_t> h;
    h.push_back(static_cast<uint8_t>(name.size()));
    h.insert(h.end(), name.begin(), name.end());
    h.push_back(0);                     // version
    PutBigEndian(h, 0x3F3F3F3F, 4);    // type "????"
    PutBigEndian(h, 0x3F3F3F3F, 4);    // creator "????"
    PutBigEndian(h, 0, 2);             // finder flags
    PutBigEndian(h, dataLength, 4);
    PutBigEndian(h, 0, 4);             // resource fork length
    return h;
}

void AppendCrc(std::vector<uint8_t>& out, uint16_t crc) { PutBigEndian(out, crc, 2); }

}  // namespace

uint16_t BinHexCrc(uint16_t crc, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        crc ^= static_cast<uint16_t>(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021) : static_cast<uint16_t>(crc << 1);
    }
    return crc;
}

void TIdEncoderBinHex4::Encode(TStream& source, TStream& dest) {
    const int64_t length = source.Size() - source.Position();
    std::string out = kIntro;
    TBinHexWriter writer(out);
    std::vector<uint8_t> header = Header(FileName(), static_cast<uint32_t>(length));
    const uint16_t headerCrc = BinHexCrc(0, header.data(), header.size());
    AppendCrc(header, headerCrc);
    writer.Bytes(header.data(), header.size());

    std::vector<uint8_t> chunk(static_cast<size_t>(kChunk));
    uint16_t crc = 0;
    int64_t n;
    while ((n = source.Read(chunk.data(), static_cast<int64_t>(chunk.size()))) > 0) {
        crc = BinHexCrc(crc, chunk.data(), static_cast<size_t>(n));
        writer.Bytes(chunk.data(), static_cast<size_t>(n));
        dest.WriteString(out);
        out.clear();
    }
    std::vector<uint8_t> tail;
    AppendCrc(tail, crc);
    AppendCrc(tail, 0);  // the empty resource fork
    writer.Bytes(tail.data(), tail.size());
    writer.Finish();
    dest.WriteString(out);
}
