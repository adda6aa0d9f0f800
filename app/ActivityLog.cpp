#include "app/ActivityLog.h"

TStringList TActivityLog::EntryLines(const std::string& entry) {
    TStringList lines;
    std::string current;
    for (size_t i = 0; i < entry.size(); ++i) {
        const char c = entry[i];
        if (c != '\r' && c != '\n') {
            current += c;
            continue;
        }
        if (c == '\r' && i + 1 < entry.size() && entry[i + 1] == '\n') ++i;
        lines.Add(current);
        current.clear();
    }
    // The part after the last break is a line even when empty, so that a
    // trailing CR LF leaves one empty line and "" stays one (empty) line.
    lines.Add(current);
    return lines;
}

void TActivityLog::LogLine(const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    for (const std::string& line : EntryLines(text)) {
        lines_.Add(line);
        if (sink_) sink_->AppendLogLine(line);
    }
}

void TActivityLog::LogValue(const std::string& caption, const std::string& value) {
    LogLine(caption + value);
}

void TActivityLog::LogException(const std::exception& e) {
    LogLine(e.what());
}

void TActivityLog::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.Clear();
    if (sink_) sink_->LogCleared();
}
