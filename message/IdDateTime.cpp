#include "message/IdDateTime.h"

#include <chrono>
#include <cmath>
#include <mutex>

#include "platform/Locale.h"

namespace {

constexpr int64_t kMsPerDay = 86400000;
// Days from 30 December 1899 to 1 January 1970.
constexpr int64_t kUnixEpochDays = 25569;

// Days since 1 January 1970 of a civil date, and back (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

std::optional<int> SystemTimeZoneBias() { return TimeZoneBiasMinutes(); }

std::mutex readerLock;
TTimeZoneBiasReader biasReader;

const char* const kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

TDateTime NowLocal() {
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    const double utcSeconds = std::chrono::duration<double>(sinceEpoch).count();
    const double seconds = utcSeconds - 60.0 * TimeZoneBiasMinutes();
    return seconds / 86400.0 + static_cast<double>(kUnixEpochDays);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    const int64_t days = DaysFromCivil(year, month, day) + kUnixEpochDays;
    return static_cast<double>(days) + (hour * 3600 + minute * 60 + second) / 86400.0;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    const int64_t totalMs = std::llround(value * static_cast<double>(kMsPerDay));
    int64_t days = totalMs / kMsPerDay;
    int64_t msOfDay = totalMs % kMsPerDay;
    if (msOfDay < 0) {
        msOfDay += kMsPerDay;
        --days;
    }
    TDateTimeParts parts{};
    CivilFromDays(days - kUnixEpochDays, parts.Year, parts.Month, parts.Day);
    // 30 December 1899 was a Saturday.
    parts.DayOfWeek = static_cast<int>(((days + 6) % 7 + 7) % 7);
    const int64_t seconds = msOfDay / 1000;
    parts.Hour = static_cast<int>(seconds / 3600);
    parts.Minute = static_cast<int>(seconds / 60 % 60);
    parts.Second = static_cast<int>(seconds % 60);
    return parts;
}

void SetTimeZoneBiasReader(TTimeZoneBiasReader reader) {
    std::lock_guard<std::mutex> guard(readerLock);
    biasReader = std::move(reader);
}

std::optional<int> ReadTimeZoneBias() {
    std::lock_guard<std::mutex> guard(readerLock);
    return biasReader ? biasReader() : SystemTimeZoneBias();
}

std::string UtcOffsetText() {
    const std::optional<int> bias = ReadTimeZoneBias();
    if (!bias) Raise<EIdFailedToRetreiveTimeZoneInfo>::Toss("Failed attempting to retrieve time zone information.");
    const int b = *bias;
    const int magnitude = b < 0 ? -b : b;
    return Format("%c%02d%02d", b <= 0 ? '+' : '-', magnitude / 60, magnitude % 60);
}

std::string FormatInternetDate(TDateTime value) {
    const TDateTimeParts p = DecodeDateTime(value);
    return Format("%s, %d %s %04d %02d:%02d:%02d %s", kDayNames[p.DayOfWeek], p.Day, kMonthNames[p.Month - 1], p.Year,
                  p.Hour, p.Minute, p.Second, UtcOffsetText().c_str());
}
