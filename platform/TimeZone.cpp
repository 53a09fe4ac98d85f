#include "platform/TimeZone.h"

#include <ctime>

namespace platform {

TimeZoneState GetTimeZoneInformation(TimeZoneInformation& info) {
  tzset();
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // timezone: seconds west of UTC for standard time; tm_gmtoff: seconds east of UTC right now.
  info.Bias = static_cast<std::int32_t>(::timezone / 60);
  info.StandardBias = 0;
  int nowWest = static_cast<int>(-local.tm_gmtoff / 60);
  if (local.tm_isdst > 0) {
    info.DaylightBias = nowWest - info.Bias;
    return TimeZoneState::Daylight;
  }
  info.DaylightBias = -60;
  // Zones that changed their standard offset over the years: trust the offset in force now.
  info.Bias = nowWest;
  return local.tm_isdst == 0 ? TimeZoneState::Standard : TimeZoneState::Unknown;
}

}  // namespace platform
