#include "message/IdMessageCoderMIME.h"

#include <algorithm>

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
    std::string out;
    ForEachChunk(source, [&](const uint8_t* data, size_t size) {
        out.clear();
        AppendLines(data, size, out);
        dest.WriteString(out);
    });
}

std::string TIdMessageEncoderMIME::EncodeText(const std::string& text) {
    std::string out;
    AppendLines(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out);
    return out;
}
