#pragma once

#include <string>

// Points in time as days since 30 December 1899, the fraction being the time of day: the unit of
// UtcOffset, so that UTC is Now() + UtcOffset().
using TDateTime = double;

struct DateTimeParts {
  int Year = 1899, Month = 12, Day = 30;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int DayOfWeek = 7;  // 1 Sunday to 7 Saturday
};

// The local date and time now.
TDateTime Now();

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond = 0);
DateTimeParts DecodeDateTime(TDateTime value);

// Formats value with the format letters of the desktop's date-time format strings, in any case:
// d dd ddd dddd (day, name), ddddd (the locale's short date), m mm mmm mmmm (month, name; after
// h or hh they mean minutes), yy yyyy, h hh, n nn (minutes), s ss, z zzz (milliseconds), t (short
// time "hh:nn"), tt (the locale's long time), am/pm; text in single or double quotes and every
// other character is copied as it stands.
std::string FormatDateTime(const std::string& format, TDateTime value);
