#include "message/IdMessageCoderMIME.h"

#include <vector>

#include "message/IdCoderMIME.h"

namespace {

constexpr size_t kGroup = 57;

// Appends the lines for data; size is a multiple of 57 except at the end.
void AppendLines(const uint8_t* data, size_t size, std::string& out) {
    for (size_t i = 0; i < size; i += kGroup) {
        TIdEncoderMIME::EncodeBlock(data + i, std::min(kGroup, size - i), out);
        out += "\r\n";
    }
}

}  // namespace

void TIdMessageEncoderMIME::Encode(TStream& source, TStream& dest) {
    std::vector<uint8_t> chunk(static_cast<size_t>(kChunk));
    std::string out;
    size_t filled = 0;
    while (true) {
        const int64_t n = source.Read(chunk.data() + filled, static_cast<int64_t>(chunk.size() - filled));
        if (n > 0) filled += static_cast<size_t>(n);
        // A short read in the middle of the source keeps the 57-byte rhythm:
        // only full chunks (or the very end) are encoded.
        if (n > 0 && filled < chunk.size()) continue;
        out.clear();
        AppendLines(chunk.data(), filled, out);
        dest.WriteString(out);
        filled = 0;
        if (n <= 0) break;
    }
}

std::string TIdMessageEncoderMIME::EncodeText(const std::string& text) {
    std::string out;
    AppendLines(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
    return out;
}
