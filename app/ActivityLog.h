// The activity log (toolkit-free). TActivityLog holds the log's lines and
// forwards every new display line to a TLogSink (the window's memo, the
// command line's standard output, a test's recorder).
//   LogLine(text)            one entry; CR LF inside makes several lines,
//                            a trailing CR LF one empty line after them
//   LogValue(caption, value) the entry caption + value
//   LogException(e)          the entry made of the exception's message alone
//   Clear()                  empties the log (window creation only)
// Lines are 8-bit ANSI text; sinks convert at their own boundary. Entries
// may come from two threads (an action's worker and the window's own
// refusals): each entry reaches the lines and the sink whole, in one order.
#pragma once

#include <exception>
#include <mutex>
#include <string>

#include "core/StringList.h"

class TLogSink {
public:
    virtual ~TLogSink() = default;
    // Called once per display line, in order.
    virtual void AppendLogLine(const std::string& line) = 0;
    // The log was emptied.
    virtual void LogCleared() {}
};

class TActivityLog {
public:
    explicit TActivityLog(TLogSink* sink = nullptr) : sink_(sink) {}

    void SetSink(TLogSink* sink) { sink_ = sink; }
    TLogSink* Sink() const { return sink_; }

    void LogLine(const std::string& text);
    void LogValue(const std::string& caption, const std::string& value);
    void LogException(const std::exception& e);
    void Clear();

    // Not while entries may still come from another thread.
    const TStringList& Lines() const { return lines_; }

    // The display lines one entry makes.
    static TStringList EntryLines(const std::string& entry);

private:
    TLogSink* sink_ = nullptr;
    std::mutex lock_;
    TStringList lines_;
};
