#include "message/IdMessageCoderMIME.h"

#include <algorithm>

#include "message/IdCoderMIME.h"

namespace {

constexpr size_t kGroup = 57;

// Appends the lines for data; size is a multiple of 57 except at the end.
// The room for all of them is made at once and filled in place.
void AppendLines(const uint8_t* data, size_t size, std::string& out) {
    const size_t whole = size / kGroup;
    const size_t rest = size % kGroup;
    const size_t start = out.size();
    out.resize(start + whole * (TIdEncoderMIME::EncodedSize(kGroup) + 2) +
               (rest > 0 ? TIdEncoderMIME::EncodedSize(rest) + 2 : 0));
    char* at = out.data() + start;
    for (size_t i = 0; i < size; i += kGroup) {
        at = TIdEncoderMIME::EncodeInto(data + i, std::min(kGroup, size - i), at);
        *at++ = '\r';
        *at++ = '\n';
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
