// A write-only stream onto a connection: every write goes to the I/O
// handler's write (and so through whatever filter the handler has).
#pragma once

#include <cstdint>

#include "core/Stream.h"

class TIdIOHandler;

class TIdTCPStream : public TStream {
public:
    explicit TIdTCPStream(TIdIOHandler& handler) : handler_(handler) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;

private:
    TIdIOHandler& handler_;
    int64_t written_ = 0;
};
