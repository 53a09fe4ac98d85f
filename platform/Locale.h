#pragma once

#include <string>

namespace platform {

// Dates and times in the user's locale, as the desktop shows them.

// The locale's short date, e.g. "12/8/26" or "08.12.26".
std::string ShortDateText(int year, int month, int day);
// The locale's long time, without a time zone, e.g. "20:59:50" or "8:59:50 PM".
std::string LongTimeText(int hour, int minute, int second);
// The locale's short and long month names, month 1 to 12.
std::string ShortMonthName(int month);
std::string LongMonthName(int month);
// The locale's short and long day names, day 1 (Sunday) to 7.
std::string ShortDayName(int day);
std::string LongDayName(int day);

}  // namespace platform
