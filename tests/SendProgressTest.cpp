// The progress states of a send: throttled while bytes flow, always at
// the start and at the end, with the text the window and the terminal show.
#include "app/SendProgress.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TRecorder {
    uint64_t now = 1000;
    std::vector<TSendProgressState> states;
    TSendProgress progress{[this](const TSendProgressState& s) { states.push_back(s); }, 100, [this] { return now; }};
};

}  // namespace

TEST(SendProgress, ReportsTheStartEveryIntervalAndTheEndOnly) {
    TRecorder r;
    r.progress.SetExpected(4 << 20);
    r.progress.Begin();
    for (int i = 1; i <= 50; ++i) {
        r.now += 10;  // a piece every 10 ms: one report in ten
        r.progress.Work(int64_t{i} << 16);
    }
    r.progress.End();
    ASSERT_EQ(r.states.size(), 1u + 5u + 1u);
    EXPECT_TRUE(r.states.front().Active);
    EXPECT_EQ(r.states.front().Sent, 0);
    EXPECT_EQ(r.states[1].Sent, 10 << 16);
    EXPECT_DOUBLE_EQ(r.states[1].BytesPerSecond, (10 << 16) * 10.0);  // 640 kB in 100 ms
    EXPECT_FALSE(r.states.back().Active);
    EXPECT_EQ(r.states.back().Sent, 50 << 16);
}

TEST(SendProgress, ABeginStartsAfreshAndTheEstimateNeverStaysBelowWhatWasSent) {
    TRecorder r;
    r.progress.SetExpected(1000);
    r.progress.Begin();
    r.now += 500;
    r.progress.Work(3000);
    EXPECT_EQ(r.states.back().Expected, 3000);
    EXPECT_EQ(r.states.back().Permille(), 999);  // full only at the end
    r.progress.End();
    EXPECT_EQ(r.states.back().Permille(), 1000);
    r.progress.Begin();
    EXPECT_EQ(r.states.back().Sent, 0);
    EXPECT_EQ(r.states.back().Expected, 1000);
    EXPECT_EQ(r.states.back().Permille(), 0);
}

TEST(SendProgress, TextHasAmountsWithADecimalCommaAndTheRate) {
    TSendProgressState state;
    state.Active = true;
    state.Sent = 12897485;       // 12,3 MB
    state.Expected = 26214400;   // 25,0 MB
    state.BytesPerSecond = 4299161.6;
    EXPECT_EQ(state.Text(), "Inviati 12,3 MB di circa 25,0 MB \x97 4,1 MB/s");
    EXPECT_EQ(state.Permille(), 492);
    const struct {
        double bytes;
        const char* text;
    } amounts[] = {{0, "0,0 kB"}, {512, "0,5 kB"}, {1048575, "1024,0 kB"}, {1048576, "1,0 MB"}, {3.5 * 1048576, "3,5 MB"}};
    for (const auto& a : amounts) EXPECT_EQ(ProgressAmount(a.bytes), a.text) << a.bytes;
}
