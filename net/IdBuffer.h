// Growable byte FIFO used for received input and for batched output.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using TIdBytes = std::vector<uint8_t>;

// A byte vector lent from a spare that its owner keeps, so that a loop of
// large sends reuses one allocation (and its pages) instead of a fresh one
// each time. A nested borrower finds the spare empty and allocates its own;
// on return the spare keeps the larger vector, up to kKeepLimit.
class TIdBytesLoan {
public:
    explicit TIdBytesLoan(TIdBytes& spare) : spare_(spare) {
        bytes_.swap(spare_);
        bytes_.clear();
    }
    ~TIdBytesLoan() {
        if (bytes_.capacity() > spare_.capacity() && bytes_.capacity() <= kKeepLimit) spare_.swap(bytes_);
    }
    TIdBytesLoan(const TIdBytesLoan&) = delete;
    TIdBytesLoan& operator=(const TIdBytesLoan&) = delete;

    TIdBytes& Bytes() { return bytes_; }

    // One unbuffered send of a whole large file is not kept for the life
    // of the connection.
    static constexpr size_t kKeepLimit = 1024 * 1024;

private:
    TIdBytes& spare_;
    TIdBytes bytes_;
};

class TIdBuffer {
public:
    using TBytesRemovedEvent = std::function<void(int32_t count)>;

    TIdBuffer() = default;
    explicit TIdBuffer(TBytesRemovedEvent onBytesRemoved) : onBytesRemoved_(std::move(onBytesRemoved)) {}

    int32_t Size() const { return size_; }
    int32_t Capacity() const { return static_cast<int32_t>(bytes_.size()); }
    int32_t HeadIndex() const { return head_; }
    // The byte at offset index from the first unread one.
    uint8_t PeekByte(int32_t index) const { return bytes_.at(static_cast<size_t>(head_ + index)); }
    const uint8_t* Data() const { return bytes_.data() + head_; }

    // Appends; an empty buffer takes over the array without copying.
    void Write(TIdBytes&& bytes);
    void Write(const TIdBytes& bytes) { Write(bytes.data(), static_cast<int32_t>(bytes.size())); }
    void Write(const uint8_t* data, int32_t count);
    void Write(const std::string& text);

    // Drops count bytes from the front and reports them to the callback.
    void Remove(int32_t count);
    void Clear();

    // Moves count bytes (-1 = all) from the front into dest, appended or
    // written over its start.
    void ExtractToBytes(TIdBytes& dest, int32_t count = -1, bool append = true);
    std::string Extract(int32_t count = -1);

    // Offset (from the first unread byte) of the first occurrence of
    // needle at or after start, or -1.
    int32_t IndexOf(const std::string& needle, int32_t start = 0) const;
    int32_t IndexOf(const TIdBytes& needle, int32_t start = 0) const;

    static constexpr int32_t GrowthFactor = 2048;

private:
    int32_t IndexOf(const uint8_t* needle, size_t needleSize, int32_t start) const;
    void MoveToFront();

    TIdBytes bytes_;
    int32_t head_ = 0;
    int32_t size_ = 0;
    TBytesRemovedEvent onBytesRemoved_;
};
