#include "message/IdTCPStream.h"

#include "net/IdIOHandler.h"

int64_t TIdTCPStream::Read(void*, int64_t) { return 0; }

int64_t TIdTCPStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    handler_.WriteBytes(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
    written_ += count;
    return count;
}

int64_t TIdTCPStream::Seek(int64_t, TSeekOrigin) { return written_; }
