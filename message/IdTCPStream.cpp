#include "message/IdTCPStream.h"

#include <cstring>

#include "net/IdIOHandler.h"

void AppendDotStuffed(const char* text, size_t size, bool& atLineStart, std::vector<uint8_t>& out) {
    size_t at = 0;
    bool start = atLineStart;
    while (at < size) {
        if (start && text[at] == '.') out.push_back('.');
        const void* lf = std::memchr(text + at, '\n', size - at);
        const size_t end = lf == nullptr ? size : static_cast<size_t>(static_cast<const char*>(lf) - text) + 1;
        out.insert(out.end(), text + at, text + end);
        start = lf != nullptr;
        at = end;
    }
    if (size > 0) atLineStart = start;
}

int64_t TIdTCPStream::Read(void*, int64_t) { return 0; }

int64_t TIdTCPStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const char* text = static_cast<const char*>(buffer);
    scratch_.clear();
    if (dotStuffing_)
        AppendDotStuffed(text, static_cast<size_t>(count), atLineStart_, scratch_);
    else
        scratch_.assign(text, text + count);
    handler_.WriteBytes(scratch_);
    written_ += count;
    return count;
}

int64_t TIdTCPStream::Seek(int64_t, TSeekOrigin) { return written_; }
