#pragma once

#include <cstdint>

namespace platform {

enum class TimeZoneState { Unknown, Standard, Daylight };

// The local time zone as minutes to add to local time to obtain UTC: Bias in force all year,
// StandardBias added while standard time is in force, DaylightBias while daylight saving time is.
struct TimeZoneInformation {
  std::int32_t Bias = 0;
  std::int32_t StandardBias = 0;
  std::int32_t DaylightBias = 0;
};

// Fills info for the current moment and says which time is in force.
TimeZoneState GetTimeZoneInformation(TimeZoneInformation& info);

}  // namespace platform
