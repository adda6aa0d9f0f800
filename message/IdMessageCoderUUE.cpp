#include "message/IdMessageCoderUUE.h"

#include <algorithm>

namespace {

constexpr size_t kLineBytes = 45;
// uuencode writes 0 as "`" rather than a blank, which mailers may strip.
constexpr char kUUETable[] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr char kXXETable[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace

TIdMessageEncoderUUE::TIdMessageEncoderUUE() : TIdMessageEncoderUUEBase(kUUETable) {}
TIdMessageEncoderXXE::TIdMessageEncoderXXE() : TIdMessageEncoderUUEBase(kXXETable) {}

void TIdMessageEncoderUUEBase::AppendLine(const uint8_t* data, size_t size, std::string& out) const {
    out += table_[size];
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t v = (uint32_t(data[i]) << 16) | (i + 1 < size ? uint32_t(data[i + 1]) << 8 : 0u) |
                           (i + 2 < size ? uint32_t(data[i + 2]) : 0u);
        out += table_[(v >> 18) & 63];
        out += table_[(v >> 12) & 63];
        out += table_[(v >> 6) & 63];
        out += table_[v & 63];
    }
    out += "\r\n";
}

void TIdMessageEncoderUUEBase::Encode(TStream& source, TStream& dest) {
    dest.WriteString("begin " + std::to_string(PermissionCode()) + " " + FileName() + "\r\n");
    std::string out;
    ForEachChunk(source, [&](const uint8_t* data, size_t size) {
        out.clear();
        for (size_t i = 0; i < size; i += kLineBytes) AppendLine(data + i, std::min(kLineBytes, size - i), out);
        dest.WriteString(out);
    });
    dest.WriteString(std::string(1, table_[0]) + "\r\nend\r\n");
}
