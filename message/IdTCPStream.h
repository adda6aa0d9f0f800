// A write-only stream onto a connection: every write goes to the I/O
// handler's Write. With dot-stuffing on, a "." at the start of a line gets a
// second "." in front, so encoder output can never end the DATA section.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/Stream.h"

class TIdIOHandler;

class TIdTCPStream : public TStream {
public:
    explicit TIdTCPStream(TIdIOHandler& handler, bool dotStuffing = true)
        : handler_(handler), dotStuffing_(dotStuffing) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    TIdIOHandler& handler_;
    bool dotStuffing_;
    bool atLineStart_ = true;
    int64_t written_ = 0;
    std::vector<uint8_t> scratch_;  // reused, so large writes allocate once
};

// Appends text to out with a "." put before every line that begins with
// "."; lines end at LF. atLineStart says whether text starts a line and is
// updated.
void AppendDotStuffed(const char* text, size_t size, bool& atLineStart, std::vector<uint8_t>& out);
