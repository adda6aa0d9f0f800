// Text between the program's ANSI code page and the terminal, in the
// character set of the locale (LC_ALL, else LC_CTYPE, else LANG); a locale
// whose set is the code page itself, or ASCII, gets the ANSI bytes as they
// are.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "app/ActivityLog.h"

// The iconv name of the terminal's set ("UTF-8", "EUC-JP"); empty when no
// conversion is made.
const std::string& TerminalCharset();
// Characters one side lacks become "?": for messages only.
std::string ToTerminal(const std::string& ansi);
// Characters the code page lacks become "?": for messages only.
std::string FromTerminal(const std::string& text);
// Nothing replaced: empty when the text is not valid in the terminal's set
// or has characters the code page lacks.
std::optional<std::string> FromTerminalExactly(const std::string& text);
// Why FromTerminalExactly gave nothing for `what` ("the text"), for a message.
std::string NotTypable(const std::string& what);

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
