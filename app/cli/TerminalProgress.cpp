#include "app/cli/TerminalProgress.h"

#include <unistd.h>

#include <string>

#include "app/cli/TerminalText.h"

std::unique_ptr<TTerminalProgress> TTerminalProgress::ForStream(FILE* stream) {
    if (stream == nullptr || ::isatty(::fileno(stream)) != 1) return nullptr;
    return std::make_unique<TTerminalProgress>(stream);
}

TTerminalProgress::TTerminalProgress(FILE* stream)
    : stream_(stream), progress_([this](const TSendProgressState& state) { Show(state); }, IntervalMs) {}

void TTerminalProgress::Show(const TSendProgressState& state) {
    const std::string text = "\r" + (state.Active ? ToTerminal(state.Text()) : std::string()) + "\x1b[K";
    std::fwrite(text.data(), 1, text.size(), stream_);
    std::fflush(stream_);
}
