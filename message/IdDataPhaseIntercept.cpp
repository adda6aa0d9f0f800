#include "message/IdDataPhaseIntercept.h"

#include <cstring>

#include "net/IdIOHandler.h"

TIdDataPhaseIntercept::TIdDataPhaseIntercept(TIdIOHandler& handler) : handler_(handler) {
    SetIntercept(handler_.Intercept());
    handler_.SetIntercept(this);
}

TIdDataPhaseIntercept::~TIdDataPhaseIntercept() {
    // The chained intercept is cleared here if it went away meanwhile.
    handler_.SetIntercept(Intercept());
    SetIntercept(nullptr);
}

namespace {

// The line breaks of one piece of text, found with memchr. The next LF is
// remembered, so text whose lines end in CR alone is not searched to its
// end once per line.
class TLineBreaks {
public:
    explicit TLineBreaks(const uint8_t* end) : end_(end) {}

    // The first CR or LF in [from, end), or end.
    const uint8_t* Next(const uint8_t* from) {
        if (lf_ == nullptr || lf_ < from) lf_ = Find(from, end_, '\n');
        return Find(from, lf_, '\r');
    }

private:
    static const uint8_t* Find(const uint8_t* from, const uint8_t* to, uint8_t byte) {
        const void* hit = std::memchr(from, byte, static_cast<size_t>(to - from));
        return hit != nullptr ? static_cast<const uint8_t*>(hit) : to;
    }

    const uint8_t* end_;
    const uint8_t* lf_ = nullptr;
};

}  // namespace

// Copies whole runs between line breaks instead of byte by byte: this
// filter sees every byte of a large attachment.
void TIdDataPhaseIntercept::Filter(const uint8_t* text, size_t size, TIdBytes& out) {
    out.reserve(out.size() + size + size / 64 + 2);
    const uint8_t* at = text;
    const uint8_t* const end = text + size;
    TLineBreaks breaks(end);
    while (at != end) {
        if (afterCR_ && *at == '\n') {
            afterCR_ = false;
            ++at;
            continue;
        }
        afterCR_ = false;
        if (atLineStart_ && *at == '.') out.push_back('.');
        const uint8_t* lineBreak = breaks.Next(at);
        if (lineBreak != at) {
            out.insert(out.end(), at, lineBreak);
            atLineStart_ = false;
        }
        if (lineBreak == end) return;
        out.push_back('\r');
        out.push_back('\n');
        atLineStart_ = true;
        afterCR_ = *lineBreak == '\r';
        at = lineBreak + 1;
    }
}

void TIdDataPhaseIntercept::Send(TIdBytes& buffer) {
    // The two vectors trade places on every send, so both keep their room.
    wire_.clear();
    Filter(buffer.data(), buffer.size(), wire_);
    buffer.swap(wire_);
    TIdConnectionIntercept::Send(buffer);
}
