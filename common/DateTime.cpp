#include "common/DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "platform/Locale.h"

namespace {

// Days from the civil date to 1970-01-01 (proleptic Gregorian calendar).
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = static_cast<unsigned>((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long>(yoe) + era * 400 + (m <= 2));
}

const long kEpochOffset = 25569;  // 1970-01-01 as days since 1899-12-30

std::string Two(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* word) {
  for (std::size_t k = 0; word[k] != '\0'; ++k) {
    if (at + k >= s.size()) return false;
    char c = s[at + k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != word[k]) return false;
  }
  return true;
}

}  // namespace

TDateTime Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, ms);
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  double days = static_cast<double>(DaysFromCivil(year, month, day) + kEpochOffset);
  return days + (hour * 3600000.0 + minute * 60000.0 + second * 1000.0 + millisecond) / 86400000.0;
}

DateTimeParts DecodeDateTime(TDateTime value) {
  DateTimeParts p;
  // Round to the millisecond first, so that 23:59:59.9996 does not fall back a day.
  double totalMs = std::floor(value * 86400000.0 + 0.5);
  long days = static_cast<long>(std::floor(totalMs / 86400000.0));
  long ms = static_cast<long>(totalMs - static_cast<double>(days) * 86400000.0);
  CivilFromDays(days - kEpochOffset, p.Year, p.Month, p.Day);
  p.Hour = static_cast<int>(ms / 3600000);
  p.Minute = static_cast<int>(ms / 60000 % 60);
  p.Second = static_cast<int>(ms / 1000 % 60);
  p.Millisecond = static_cast<int>(ms % 1000);
  long dow = (days - kEpochOffset + 4) % 7;  // 1970-01-01 was a Thursday
  if (dow < 0) dow += 7;
  p.DayOfWeek = static_cast<int>(dow) + 1;
  return p;
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
  const DateTimeParts p = DecodeDateTime(value);
  std::string out;
  bool afterHour = false;
  std::size_t i = 0;
  while (i < format.size()) {
    char c = format[i];
    char lc = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (c == '"' || c == '\'') {
      std::size_t end = format.find(c, i + 1);
      if (end == std::string::npos) end = format.size();
      out += format.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < format.size() && ((format[i + run] >= 'A' && format[i + run] <= 'Z')
                                           ? static_cast<char>(format[i + run] - 'A' + 'a')
                                           : format[i + run]) == lc)
      ++run;
    switch (lc) {
      case 'd':
        if (run >= 5)
          out += platform::ShortDateText(p.Year, p.Month, p.Day), run = 5;
        else if (run == 4)
          out += platform::LongDayName(p.DayOfWeek);
        else if (run == 3)
          out += platform::ShortDayName(p.DayOfWeek);
        else if (run == 2)
          out += Two(p.Day);
        else
          out += std::to_string(p.Day);
        break;
      case 'm':
        if (afterHour && run <= 2) {
          out += run == 2 ? Two(p.Minute) : std::to_string(p.Minute);
        } else if (run >= 4) {
          out += platform::LongMonthName(p.Month), run = 4;
        } else if (run == 3) {
          out += platform::ShortMonthName(p.Month);
        } else {
          out += run == 2 ? Two(p.Month) : std::to_string(p.Month);
        }
        afterHour = false;
        break;
      case 'y':
        if (run >= 3)
          out += std::to_string(p.Year), run = run >= 4 ? 4 : run;
        else
          out += Two(p.Year % 100);
        break;
      case 'h':
        out += run >= 2 ? Two(p.Hour) : std::to_string(p.Hour);
        run = run >= 2 ? 2 : 1;
        afterHour = true;
        i += run;
        continue;
      case 'n':
        out += run >= 2 ? Two(p.Minute) : std::to_string(p.Minute);
        run = run >= 2 ? 2 : 1;
        break;
      case 's':
        out += run >= 2 ? Two(p.Second) : std::to_string(p.Second);
        run = run >= 2 ? 2 : 1;
        break;
      case 'z': {
        char b[8];
        std::snprintf(b, sizeof b, run >= 3 ? "%03d" : "%d", p.Millisecond);
        out += b;
        run = run >= 3 ? 3 : 1;
        break;
      }
      case 't':
        if (run >= 2)
          out += platform::LongTimeText(p.Hour, p.Minute, p.Second), run = 2;
        else
          out += Two(p.Hour) + ":" + Two(p.Minute);
        break;
      case 'a':
        if (StartsWithNoCase(format, i, "am/pm")) {
          out += p.Hour < 12 ? "am" : "pm";
          run = 5;
        } else {
          out += c;
          run = 1;
        }
        break;
      default:
        out += format.substr(i, run);
        // A blank or separator between the hour and "mm" keeps "mm" meaning minutes.
        i += run;
        continue;
    }
    if (lc != 'h') afterHour = false;
    i += run;
  }
  return out;
}
