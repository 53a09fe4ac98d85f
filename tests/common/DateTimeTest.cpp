#include <gtest/gtest.h>

#include <ctime>

#include "common/DateTime.h"

namespace {

TEST(DateTime, EncodeDecodeRoundTripAndKnownDays) {
  EXPECT_DOUBLE_EQ(EncodeDateTime(1899, 12, 30, 0, 0, 0), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(1970, 1, 1, 0, 0, 0), 25569.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime(2000, 1, 1, 12, 0, 0), 36526.5);
  DateTimeParts p = DecodeDateTime(EncodeDateTime(2026, 12, 7, 20, 59, 50, 123));
  EXPECT_EQ(p.Year, 2026);
  EXPECT_EQ(p.Month, 12);
  EXPECT_EQ(p.Day, 7);
  EXPECT_EQ(p.Hour, 20);
  EXPECT_EQ(p.Minute, 59);
  EXPECT_EQ(p.Second, 50);
  EXPECT_EQ(p.Millisecond, 123);
  EXPECT_EQ(p.DayOfWeek, 2);  // a Monday
  // A moment just before midnight does not round into the wrong day.
  p = DecodeDateTime(EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
  EXPECT_EQ(p.Day, 29);
  EXPECT_EQ(p.Second, 59);
}

TEST(DateTime, NowAgreesWithTheCLibrary) {
  std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  DateTimeParts p = DecodeDateTime(Now());
  EXPECT_EQ(p.Year, local.tm_year + 1900);
  EXPECT_EQ(p.Month, local.tm_mon + 1);
  EXPECT_EQ(p.Day, local.tm_mday);
}

TEST(DateTime, FormatLetters) {
  TDateTime v = EncodeDateTime(2026, 3, 7, 9, 5, 4, 7);
  EXPECT_EQ(FormatDateTime("yyyymmdd", v), "20260307");
  EXPECT_EQ(FormatDateTime("hhnn", v), "0905");
  EXPECT_EQ(FormatDateTime("hh:mm:ss.zzz", v), "09:05:04.007");  // mm after hh: minutes
  EXPECT_EQ(FormatDateTime("d/m/yy h:n:s", v), "7/3/26 9:5:4");
  EXPECT_EQ(FormatDateTime("'Date:' d mmm yyyy", v), "Date: 7 Mar 2026");  // C locale names
  EXPECT_EQ(FormatDateTime("mmmm dddd", v), "March Saturday");
  EXPECT_EQ(FormatDateTime("tt", v), "09:05:04");
  EXPECT_EQ(FormatDateTime("t", v), "09:05");
  EXPECT_EQ(FormatDateTime("ddddd", v), "7 Mar 2026");
}

}  // namespace
