#include "platform/Locale.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include "platform/Latin1.h"

namespace platform {
namespace {

// Qt's long time format ends with the time zone ("t"); the desktop's long time has none.
QString LongTimeFormat() {
  QString f = QLocale::system().timeFormat(QLocale::LongFormat);
  f.remove(QLatin1Char('t'));
  return f.trimmed();
}

}  // namespace

std::string ShortDateText(int year, int month, int day) {
  return ToLatin1(QLocale::system().toString(QDate(year, month, day), QLocale::ShortFormat));
}

std::string LongTimeText(int hour, int minute, int second) {
  return ToLatin1(QLocale::system().toString(QTime(hour, minute, second), LongTimeFormat()));
}

std::string ShortMonthName(int month) {
  return ToLatin1(QLocale::system().monthName(month, QLocale::ShortFormat));
}

std::string LongMonthName(int month) {
  return ToLatin1(QLocale::system().monthName(month, QLocale::LongFormat));
}

// Qt counts days from Monday (1) to Sunday (7).
std::string ShortDayName(int day) {
  return ToLatin1(QLocale::system().dayName(day == 1 ? 7 : day - 1, QLocale::ShortFormat));
}

std::string LongDayName(int day) {
  return ToLatin1(QLocale::system().dayName(day == 1 ? 7 : day - 1, QLocale::LongFormat));
}

}  // namespace platform
