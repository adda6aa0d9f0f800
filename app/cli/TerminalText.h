// Text between the program's ANSI code page and the terminal: a UTF-8
// locale (LC_ALL, else LC_CTYPE, else LANG) gets UTF-8, any other locale
// the ANSI bytes as they are.
#pragma once

#include <cstdio>
#include <string>

#include "app/ActivityLog.h"

bool TerminalIsUtf8();
std::string ToTerminal(const std::string& ansi);
std::string FromTerminal(const std::string& text);

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
