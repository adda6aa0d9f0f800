#include "message/IdDateTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace {

void SetZone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
}

TEST(IdDateTime, InternetDateWithFixedZones) {
    struct Case {
        const char* tz;
        const char* offset;
    } cases[] = {{"UTC-1", "+0100"}, {"EST5", "-0500"}, {"UTC0", "+0000"}, {"IST-5:30", "+0530"},
                 {"NST3:30", "-0330"}};
    const TDateTime when = EncodeDateTime(2026, 12, 9, 2, 25, 38);
    for (const auto& c : cases) {
        SetZone(c.tz);
        EXPECT_EQ(UtcOffsetText(), c.offset) << c.tz;
        EXPECT_EQ(FormatInternetDate(when), std::string("Wed, 9 Dec 2026 02:25:38 ") + c.offset) << c.tz;
    }
    SetZone("UTC0");
}

TEST(IdDateTime, CalendarFields) {
    struct Case {
        int y, m, d, hh, mm, ss;
        const char* text;
    } cases[] = {
        {1899, 12, 30, 0, 0, 0, "Sat, 30 Dec 1899 00:00:00 +0000"},
        {2000, 2, 29, 23, 59, 59, "Tue, 29 Feb 2000 23:59:59 +0000"},
        {2024, 1, 1, 0, 0, 1, "Mon, 1 Jan 2024 00:00:01 +0000"},
        {2026, 7, 19, 12, 0, 0, "Sun, 19 Jul 2026 12:00:00 +0000"},
    };
    SetZone("UTC0");
    for (const auto& c : cases)
        EXPECT_EQ(FormatInternetDate(EncodeDateTime(c.y, c.m, c.d, c.hh, c.mm, c.ss)), c.text);
    EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 12, 0, 0), 0.5);
}

TEST(IdDateTime, NowIsLocalTime) {
    SetZone("UTC-1");
    const TDateTimeParts now = DecodeDateTime(NowLocal());
    const time_t t = std::time(nullptr);
    struct tm local {};
    localtime_r(&t, &local);
    EXPECT_EQ(now.Day, local.tm_mday);
    EXPECT_EQ(now.Hour, local.tm_hour);
    SetZone("UTC0");
}

TEST(IdDateTime, UnreadableZoneRaises) {
    SetTimeZoneBiasReader([] { return std::optional<int>(); });
    try {
        UtcOffsetText();
        ADD_FAILURE() << "no error";
    } catch (const EIdFailedToRetreiveTimeZoneInfo& e) {
        EXPECT_EQ(e.Message(), "Failed attempting to retrieve time zone information.");
    }
    EXPECT_THROW(FormatInternetDate(0), EIdFailedToRetreiveTimeZoneInfo);
    SetTimeZoneBiasReader(nullptr);
    EXPECT_NO_THROW(UtcOffsetText());
}

}  // namespace
