#include "app/ActivityLog.h"

#include <gtest/gtest.h>

#include "core/IdException.h"

namespace {
struct TRecorder : TLogSink {
    std::vector<std::string> lines;
    int clears = 0;
    void AppendLogLine(const std::string& line) override { lines.push_back(line); }
    void LogCleared() override { ++clears; }
};
}  // namespace

TEST(ActivityLog, EntriesSplitAtLineBreaks) {
    TRecorder sink;
    TActivityLog log(&sink);
    log.LogValue("LastCmdResult: ", "250-a\r\n250-b\r\n250 c\r\n");
    log.LogValue("LastCmdResult: ", "");
    log.LogLine("Connesso.");
    const std::vector<std::string> expected = {"LastCmdResult: 250-a", "250-b", "250 c", "",
                                               "LastCmdResult: ", "Connesso."};
    EXPECT_EQ(sink.lines, expected);
    EXPECT_EQ(log.Lines().Lines(), expected);
}

TEST(ActivityLog, ExceptionsShowTheirMessageAlone) {
    TRecorder sink;
    TActivityLog log(&sink);
    log.LogException(EIdException("Socket Error # 10061\r\nConnection refused."));
    log.LogException(EIdException(""));
    const std::vector<std::string> expected = {"Socket Error # 10061", "Connection refused.", ""};
    EXPECT_EQ(sink.lines, expected);
}

TEST(ActivityLog, ClearEmptiesAndTellsTheSink) {
    TRecorder sink;
    TActivityLog log(&sink);
    log.LogLine("x");
    log.Clear();
    EXPECT_EQ(log.Lines().Count(), 0);
    EXPECT_EQ(sink.clears, 1);
}
