#include "core/Stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

int64_t TStream::Size() {
    const int64_t here = Position();
    const int64_t end = Seek(0, TSeekOrigin::soEnd);
    Seek(here, TSeekOrigin::soBeginning);
    return end;
}

std::string TStream::ReadRemaining() {
    std::string result;
    char chunk[65536];
    for (;;) {
        const int64_t n = Read(chunk, sizeof chunk);
        if (n <= 0) break;
        result.append(chunk, static_cast<size_t>(n));
    }
    return result;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t available = std::max<int64_t>(0, Size() - position_);
    const int64_t n = std::min(available, std::max<int64_t>(count, 0));
    if (n > 0) std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const size_t end = static_cast<size_t>(position_ + count);
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    const int64_t base = origin == TSeekOrigin::soBeginning ? 0
                         : origin == TSeekOrigin::soCurrent ? position_
                                                            : Size();
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}
