// Base of the encoders that turn attachment or body content into the text
// of a message. They read the source in chunks and write whole lines to
// the destination, so a large file never sits in memory at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Stream.h"

class TIdMessageEncoder {
public:
    virtual ~TIdMessageEncoder() = default;

    const std::string& FileName() const { return fileName_; }
    void SetFileName(const std::string& value) { fileName_ = value; }
    int PermissionCode() const { return permissionCode_; }
    void SetPermissionCode(int value) { permissionCode_ = value; }

    // Encodes source from its current position to its end.
    virtual void Encode(TStream& source, TStream& dest) = 0;

protected:
    // Bytes read from the source at a time: a multiple of 3, 45 and 57.
    static constexpr int64_t kChunk = 57 * 45 * 24;

    // Hands the source to consume(data, size) in full chunks (only the last
    // may be shorter, and may be empty), so that short reads never break the
    // line rhythm of the encoders.
    template <class F>
    static void ForEachChunk(TStream& source, F&& consume) {
        std::vector<uint8_t> chunk(static_cast<size_t>(kChunk));
        size_t filled = 0;
        while (true) {
            const int64_t n = source.Read(chunk.data() + filled, static_cast<int64_t>(chunk.size() - filled));
            if (n > 0) filled += static_cast<size_t>(n);
            if (n > 0 && filled < chunk.size()) continue;
            consume(chunk.data(), filled);
            filled = 0;
            if (n <= 0) break;
        }
    }

private:
    std::string fileName_;
    int permissionCode_ = 660;
};
