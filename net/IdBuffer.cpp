#include "net/IdBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "net/IdNetExceptions.h"

namespace {
constexpr int32_t MaxBufferSize = std::numeric_limits<int32_t>::max();

void CheckRoom(int32_t size, int32_t count) {
    Raise<EIdTooMuchDataInBuffer>::IfTrue(MaxBufferSize - count < size, "Too much data in buffer.");
}
}  // namespace

void TIdBuffer::MoveToFront() {
    if (head_ == 0) return;
    std::memmove(bytes_.data(), bytes_.data() + head_, static_cast<size_t>(size_));
    head_ = 0;
}

void TIdBuffer::Write(TIdBytes&& bytes) {
    if (bytes.empty()) return;
    if (size_ == 0) {
        CheckRoom(0, static_cast<int32_t>(bytes.size()));
        bytes_ = std::move(bytes);
        head_ = 0;
        size_ = static_cast<int32_t>(bytes_.size());
        return;
    }
    Write(bytes.data(), static_cast<int32_t>(bytes.size()));
}

void TIdBuffer::Write(const std::string& text) {
    Write(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int32_t>(text.size()));
}

void TIdBuffer::Write(const uint8_t* data, int32_t count) {
    if (count <= 0) return;
    CheckRoom(size_, count);
    if (size_ == 0) {
        bytes_.assign(data, data + count);
        head_ = 0;
        size_ = count;
        return;
    }
    MoveToFront();
    const int64_t room = static_cast<int64_t>(bytes_.size()) - size_;
    if (room < count) bytes_.resize(static_cast<size_t>(count) + static_cast<size_t>(size_) + GrowthFactor);
    std::memcpy(bytes_.data() + size_, data, static_cast<size_t>(count));
    size_ += count;
}

void TIdBuffer::Remove(int32_t count) {
    if (count <= 0) return;
    if (count < size_) {
        head_ += count;
        size_ -= count;
        if (head_ > GrowthFactor) {
            MoveToFront();
            const size_t cut = static_cast<size_t>(size_) + GrowthFactor;
            // The memory itself is kept for the next appends.
            if (bytes_.size() > cut) bytes_.resize(cut);
        }
    } else {
        Clear();
    }
    if (onBytesRemoved_) onBytesRemoved_(count);
}

void TIdBuffer::Clear() {
    TIdBytes().swap(bytes_);
    head_ = 0;
    size_ = 0;
}

void TIdBuffer::ExtractToBytes(TIdBytes& dest, int32_t count, bool append) {
    if (count == -1) count = size_;
    if (count < 1) return;
    if (count > size_)
        throw EIdNotEnoughDataInBuffer("Not enough data in buffer. (" + std::to_string(count) + "/" +
                                       std::to_string(size_) + ")");
    const uint8_t* first = Data();
    if (append) {
        dest.insert(dest.end(), first, first + count);
    } else {
        if (dest.size() < static_cast<size_t>(count)) dest.resize(static_cast<size_t>(count));
        std::memcpy(dest.data(), first, static_cast<size_t>(count));
    }
    Remove(count);
}

std::string TIdBuffer::Extract(int32_t count) {
    TIdBytes bytes;
    ExtractToBytes(bytes, count, true);
    return std::string(bytes.begin(), bytes.end());
}

int32_t TIdBuffer::IndexOf(const std::string& needle, int32_t start) const {
    return IndexOf(reinterpret_cast<const uint8_t*>(needle.data()), needle.size(), start);
}

int32_t TIdBuffer::IndexOf(const TIdBytes& needle, int32_t start) const {
    return IndexOf(needle.data(), needle.size(), start);
}

int32_t TIdBuffer::IndexOf(const uint8_t* needle, size_t needleSize, int32_t start) const {
    if (size_ == 0) return -1;
    Raise<EIdException>::IfTrue(needleSize == 0, "Buffer terminator must be specified.");
    Raise<EIdException>::IfTrue(start < 0 || start > size_ - 1, "Buffer start position is invalid.");
    const uint8_t* first = Data();
    const uint8_t* last = first + size_;
    const uint8_t* hit = std::search(first + start, last, needle, needle + needleSize);
    return hit == last ? -1 : static_cast<int32_t>(hit - first);
}
