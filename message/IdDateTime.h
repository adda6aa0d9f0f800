// Local date-times as days since 30 December 1899, the time of day as the
// fraction, and the Internet form of the Date header.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/IdException.h"

using TDateTime = double;

class EIdFailedToRetreiveTimeZoneInfo : public EIdException {
public:
    using EIdException::EIdException;
};

struct TDateTimeParts {
    int Year, Month, Day, DayOfWeek;  // DayOfWeek: 0 Sunday to 6 Saturday
    int Hour, Minute, Second;
};

TDateTime NowLocal();
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
TDateTimeParts DecodeDateTime(TDateTime value);

// Minutes of UTC minus local time now, or nothing when the zone cannot be
// read. Tests replace the reader to see the failure path.
using TTimeZoneBiasReader = std::function<std::optional<int>()>;
void SetTimeZoneBiasReader(TTimeZoneBiasReader reader);  // empty: the system's
std::optional<int> ReadTimeZoneBias();

// "+0100", "-0500"; raises EIdFailedToRetreiveTimeZoneInfo.
std::string UtcOffsetText();
// "Wed, 9 Dec 2026 02:25:38 +0100".
std::string FormatInternetDate(TDateTime value);
