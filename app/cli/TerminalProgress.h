// The send's progress on a terminal: one line rewritten in place ("\r",
// the text, erase to the end of the line) and erased when the send ends,
// so that nothing of it stays between the log lines. Only a terminal gets
// it: a file or a pipe sees no byte of it.
#pragma once

#include <cstdio>
#include <memory>

#include "app/SendProgress.h"

class TTerminalProgress {
public:
    // Seldom enough for a slow terminal, often enough to look alive.
    static constexpr uint64_t IntervalMs = 200;

    // Null when `stream` is no terminal.
    static std::unique_ptr<TTerminalProgress> ForStream(FILE* stream);

    explicit TTerminalProgress(FILE* stream);
    TSendProgress& Progress() { return progress_; }

private:
    void Show(const TSendProgressState& state);

    FILE* stream_;
    TSendProgress progress_;
};
