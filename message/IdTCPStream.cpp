#include "message/IdTCPStream.h"

#include "net/IdIOHandler.h"

std::string DotStuffed(const std::string& text, bool& atLineStart) {
    if (text.empty()) return text;
    std::string out;
    size_t from = 0;
    bool start = atLineStart;
    bool changed = false;
    size_t at = 0;
    while (at < text.size()) {
        if (start && text[at] == '.') {
            out.append(text, from, at - from);
            out += '.';
            from = at;
            changed = true;
        }
        const size_t lf = text.find('\n', at);
        if (lf == std::string::npos) {
            start = false;
            break;
        }
        at = lf + 1;
        start = true;
    }
    atLineStart = start;
    if (!changed) return text;
    out.append(text, from, std::string::npos);
    return out;
}

int64_t TIdTCPStream::Read(void*, int64_t) { return 0; }

int64_t TIdTCPStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    std::string text(static_cast<const char*>(buffer), static_cast<size_t>(count));
    handler_.Write(dotStuffing_ ? DotStuffed(text, atLineStart_) : text);
    written_ += count;
    return count;
}

int64_t TIdTCPStream::Seek(int64_t, TSeekOrigin) { return written_; }
