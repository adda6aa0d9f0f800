// An I/O handler whose transport is a string: everything sent is kept, with
// the size of every single send, so tests see the exact bytes and how they
// were grouped.
#pragma once

#include <string>
#include <vector>

#include "net/IdIOHandler.h"

class TMemoryIOHandler : public TIdIOHandler {
public:
    explicit TMemoryIOHandler(TComponent* owner = nullptr) : TIdIOHandler(owner) {}

    const std::string& Sent() const { return sent_; }
    const std::vector<size_t>& Sends() const { return sends_; }
    void ClearSent() {
        sent_.clear();
        sends_.clear();
    }
    // Keep only the size of each send, not the bytes (for big transfers).
    void SetKeepBytes(bool value) { keepBytes_ = value; }
    size_t TotalSent() const { return total_; }

    int32_t FillInputBuffer(bool, int32_t, bool) override { return 0; }
    void CheckDisconnect(bool, bool) override {}

protected:
    // Through the intercept, as the socket handlers send.
    void SendRaw(const TIdBytes& original) override {
        TIdBytes changed;
        const TIdBytes& bytes = InterceptSend(original, changed);
        if (keepBytes_) sent_.append(bytes.begin(), bytes.end());
        sends_.push_back(bytes.size());
        total_ += bytes.size();
    }

private:
    std::string sent_;
    std::vector<size_t> sends_;
    size_t total_ = 0;
    bool keepBytes_ = true;
};
