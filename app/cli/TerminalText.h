// Text between the program's ANSI code page and the terminal, whose
// character set is that of the locale (LC_ALL, else LC_CTYPE, else LANG):
// converted unless the code page reads the terminal's bytes as they are
// (ASCII, or a set it extends: Shift_JIS under 932, ISO-8859-1 under 1252).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "app/ActivityLog.h"

std::string ToTerminal(const std::string& ansi);
// Characters the code page lacks become "?": for messages only.
std::string FromTerminal(const std::string& text);
// Empty when a character has no counterpart in the code page.
std::optional<std::string> FromTerminalExactly(const std::string& text);

// The log on a stream, one line each, in the terminal's encoding; flushed
// per line so that it interleaves with the trace as it happens.
class TStreamLogSink : public TLogSink {
public:
    explicit TStreamLogSink(FILE* stream) : stream_(stream) {}
    void AppendLogLine(const std::string& line) override;

private:
    FILE* stream_;
};

// One line on a stream in the terminal's encoding.
void WriteTerminalLine(FILE* stream, const std::string& ansi);
