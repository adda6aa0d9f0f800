// A memory stream that hands out at most a few bytes per Read, to check
// that encoders keep their line rhythm across short reads.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "core/Stream.h"

class TChunkedStream : public TStream {
public:
    TChunkedStream(std::string data, int64_t step) : data_(std::move(data)), step_(step) {}
    int64_t Read(void* buffer, int64_t count) override {
        const int64_t n = std::min({count, step_, static_cast<int64_t>(data_.size()) - position_});
        if (n <= 0) return 0;
        std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
        position_ += n;
        return n;
    }
    int64_t Write(const void*, int64_t) override { return 0; }
    int64_t Seek(int64_t offset, TSeekOrigin origin) override {
        if (origin == TSeekOrigin::soBeginning) position_ = offset;
        if (origin == TSeekOrigin::soCurrent) position_ += offset;
        if (origin == TSeekOrigin::soEnd) position_ = static_cast<int64_t>(data_.size()) + offset;
        return position_;
    }

private:
    std::string data_;
    int64_t step_;
    int64_t position_ = 0;
};
