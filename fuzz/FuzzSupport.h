// Shared pieces of the fuzz targets: a check that stops the run with a
// message, a reader that takes parameters off the front of the input, and
// an I/O handler whose peer is the fuzz input, handed out in chunks.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/IdIOHandler.h"
#include "net/IdNetExceptions.h"

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Takes small parameters off the front of the input; what is left is the
// payload. Reading past the end yields zeros.
class TFuzzInput {
public:
    TFuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
    bool Flag() { return (Byte() & 1) != 0; }
    std::string Rest() {
        std::string rest(reinterpret_cast<const char*>(data_) + position_, size_ - position_);
        position_ = size_;
        return rest;
    }
    size_t Left() const { return size_ - position_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
};

// An open handler whose peer sends the given chunks, one per fill, and
// then closes the connection.
class TFuzzIOHandler : public TIdIOHandler {
public:
    explicit TFuzzIOHandler(std::vector<std::string> chunks) : chunks_(std::move(chunks)) { Open(); }

    int32_t FillInputBuffer(bool raiseIfDisconnected, int32_t, bool) override {
        CheckDisconnect(raiseIfDisconnected, false);
        while (next_ < chunks_.size()) {
            const std::string& chunk = chunks_[next_++];
            if (chunk.empty()) continue;
            InputBuffer()->Write(chunk);
            return static_cast<int32_t>(chunk.size());
        }
        SetClosedByPeer(true);
        CheckDisconnect(raiseIfDisconnected, false);
        return 0;
    }
    void CheckDisconnect(bool raise, bool ignoreBuffer) override {
        if (!ClosedByPeer()) return;
        if (raise && (InputBuffer()->Size() == 0 || ignoreBuffer))
            throw EIdConnClosedGracefully("Connection Closed Gracefully.");
    }

protected:
    void SendRaw(const TIdBytes&) override {}

private:
    std::vector<std::string> chunks_;
    size_t next_ = 0;
};

// Cuts text into pieces of 1 to 64 bytes whose sizes follow from seed.
inline std::vector<std::string> FuzzChunks(uint32_t seed, const std::string& text) {
    std::vector<std::string> chunks;
    size_t at = 0;
    while (at < text.size()) {
        seed = seed * 1103515245u + 12345u;
        const size_t size = std::min<size_t>(1 + (seed >> 16) % 64, text.size() - at);
        chunks.push_back(text.substr(at, size));
        at += size;
    }
    return chunks;
}
