#include "message/IdEncoderQuotedPrintable.h"

namespace {

constexpr size_t kCutAt = 74;         // a line this long after a token is cut
constexpr size_t kLastCutColumn = 71; // a cut goes before a token starting at this column or earlier
const char kHex[] = "0123456789ABCDEF";

}  // namespace

void TIdEncoderQuotedPrintable::PutToken(const char* token, size_t length, std::string& out) {
    starts_.push_back(line_.size());
    line_.append(token, length);
    if (line_.size() < kCutAt) return;
    // Cut before the latest token that starts at column 71 or earlier.
    size_t cut = 0;
    for (size_t start : starts_)
        if (start + 1 <= kLastCutColumn) cut = start;
    if (cut == 0) return;
    out.append(line_, 0, cut);
    out += "=\r\n";
    line_.erase(0, cut);
    std::vector<size_t> rest;
    for (size_t start : starts_)
        if (start >= cut) rest.push_back(start - cut);
    starts_.swap(rest);
}

void TIdEncoderQuotedPrintable::PutByte(unsigned char c, bool last, std::string& out) {
    const bool printable = c >= '!' && c <= '~' && c != '=';
    const bool blank = c == ' ' || c == '\t';
    const bool leadingDot = c == '.' && line_.empty();
    if ((printable && !leadingDot) || (blank && !last)) {
        const char token = static_cast<char>(c);
        PutToken(&token, 1, out);
    } else {
        const char token[3] = {'=', kHex[c >> 4], kHex[c & 15]};
        PutToken(token, 3, out);
    }
}

void TIdEncoderQuotedPrintable::EndLine(std::string& out) {
    if (hasHeld_) PutByte(held_, true, out);
    hasHeld_ = false;
    out += line_;
    out += "\r\n";
    line_.clear();
    starts_.clear();
    lineOpen_ = false;
}

void TIdEncoderQuotedPrintable::Feed(const char* data, size_t size, std::string& out) {
    for (size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (pendingCR_) {
            pendingCR_ = false;
            if (c == '\n') continue;  // CR LF ends one line
        }
        if (c == '\r') {
            EndLine(out);
            pendingCR_ = true;
        } else if (c == '\n') {
            EndLine(out);
        } else {
            // Only the last byte of a line is treated differently (a final
            // blank is encoded), so one byte is held back until the next.
            if (hasHeld_) PutByte(held_, false, out);
            held_ = static_cast<unsigned char>(c);
            hasHeld_ = true;
            lineOpen_ = true;
        }
    }
}

void TIdEncoderQuotedPrintable::Finish(std::string& out) {
    if (lineOpen_) EndLine(out);
    pendingCR_ = false;
}

std::string TIdEncoderQuotedPrintable::Encode(const std::string& text) {
    TIdEncoderQuotedPrintable encoder;
    std::string out;
    encoder.Feed(text.data(), text.size(), out);
    encoder.Finish(out);
    return out;
}

void TIdMessageEncoderQuotedPrintable::Encode(TStream& source, TStream& dest) {
    TIdEncoderQuotedPrintable encoder;
    std::string chunk(static_cast<size_t>(kChunk), '\0');
    std::string out;
    while (true) {
        const int64_t n = source.Read(chunk.data(), static_cast<int64_t>(chunk.size()));
        out.clear();
        if (n <= 0) {
            encoder.Finish(out);
            dest.WriteString(out);
            break;
        }
        encoder.Feed(chunk.data(), static_cast<size_t>(n), out);
        dest.WriteString(out);
    }
}
