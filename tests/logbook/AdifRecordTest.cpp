#include <gtest/gtest.h>

#include "logbook/AdifRecord.h"

namespace {

TEST(AdifRecord, BandOfFrequencies) {
  struct Row {
    double kHz;
    const char* band;
  } rows[] = {
      {135.9, "unknown"},   {136, "2190m"},    {137, "2190m"},      {1800, "160m"},
      {2000, "160m"},       {3500, "80m"},     {5250, "60m"},       {7000, "40m"},
      {7025.5, "40m"},      {7300, "40m"},     {7300.1, "unknown"}, {10150, "30m"},
      {14350, "20m"},       {18100, "17m"},    {18168, "17m"},      {21450, "15m"},
      {24950, "12m"},       {24990, "12m"},    {28000, "10m"},      {29700, "10m"},
      {50000, "6m"},        {70500, "4m"},     {145000, "2m"},      {223000, "1.25m"},
      {432000, "70cm"},     {1296000, "23cm"}, {0, "unknown"},      {-7025, "unknown"},
      {2400000, "unknown"},
  };
  for (const Row& r : rows) EXPECT_EQ(BandOf(r.kHz), r.band) << r.kHz;
}

TEST(AdifRecord, FrequencyModeAndSerial) {
  EXPECT_EQ(AdifFreq(7025.5), "7.025500");
  EXPECT_EQ(AdifFreq(0), "0.000000");
  EXPECT_EQ(AdifFreq(1296000.25), "1296.000250");
  struct Mode {
    int group;
    const char* text;
  } modes[] = {{0, ""}, {1, "CW"}, {2, "SSB"}, {3, "PSK31"}, {4, ""}};
  for (const Mode& m : modes) EXPECT_EQ(AdifMode(static_cast<std::uint8_t>(m.group)), m.text);
  struct Serial {
    const char* before;
    const char* after;
  } serials[] = {{"001", "002"},   {"099", "100"},
                 {"1234", "1235"}, {"99", "99"},
                 {"", ""},         {"abc", "abc"},
                 {"12a", "12a"},   {" 12", " 12"},
                 {"-05", "-004"},  {"2147483647", "2147483647"}};
  for (const Serial& s : serials) EXPECT_EQ(NextSerial(s.before), s.after) << s.before;
}

TEST(AdifRecord, FieldsCountBytesAndLeaveEmptyOut) {
  std::string r;
  AddAdifField(r, "NAME", "J\xE9r\xF4me");  // Latin-1: one byte each
  AddAdifField(r, "QTH", "");
  AddAdifField(r, "CALL", "W1AW");
  EXPECT_EQ(r, "<NAME:6>J\xE9r\xF4me<CALL:4>W1AW");
}

TContact Sample() {
  TContact c;
  c.Fields = {"dl1abc", "Hans", "579", "007", "589", "", "Berlin", "JO62", "tnx"};
  c.Start = EncodeDateTime(2026, 3, 4, 5, 6, 7);
  c.End = EncodeDateTime(2026, 3, 4, 23, 59, 58);
  c.ModeGroup = 1;
  c.FreqKhz = 7025.5;
  return c;
}

TEST(AdifRecord, LocalAndServerRecordsInFieldOrder) {
  const std::string shared =
      "<CALL:6>DL1ABC<QSO_DATE:8>20260304<TIME_ON:6>050607<TIME_OFF:6>235958"
      "<FREQ:8>7.025500<BAND:3>40m<MODE:2>CW<RST_RCVD:3>589<RST_SENT:3>579<STX:3>007"
      "<NAME:4>Hans<QTH:6>Berlin<GRIDSQUARE:4>JO62";
  EXPECT_EQ(LocalRecord(Sample()), shared + "<COMMENT:3>tnx<EOR>");
  EXPECT_EQ(ServerRecord(Sample(), "W1AW"), shared + "<COMMENT:13>Op: W1AW. tnx<EOR>");
}

TEST(AdifRecord, NameOmAndEmptyComment) {
  TContact c = Sample();
  c.Fields.Name = "OM";
  c.Fields.Comment = "";
  c.ModeGroup = 0;
  EXPECT_EQ(LocalRecord(c).find("<NAME"), std::string::npos);
  EXPECT_EQ(LocalRecord(c).find("<MODE"), std::string::npos);
  EXPECT_EQ(LocalRecord(c).find("<COMMENT"), std::string::npos);
  const std::string server = ServerRecord(c, "W1AW");
  EXPECT_NE(server.find("<COMMENT:9>Op: W1AW.<EOR>"), std::string::npos) << server;
  c.Fields.Name = "Om";
  EXPECT_NE(LocalRecord(c).find("<NAME:2>Om"), std::string::npos);
}

TEST(AdifRecord, ControlCharactersCannotSplitARecord) {
  TContact c = Sample();
  c.Fields.Call = " dl1\tabc\r\n";
  c.Fields.Comment = "two\r\nlines";
  const std::string r = ServerRecord(c, "W1AW");
  EXPECT_EQ(r.find_first_of("\r\n\t"), std::string::npos) << r;
  EXPECT_NE(r.find("<CALL:6>DL1ABC"), std::string::npos);
  EXPECT_NE(r.find("<COMMENT:20>Op: W1AW. two  lines"), std::string::npos) << r;
  EXPECT_EQ(ContactCall("  k1  abc "), "K1ABC");
}

}  // namespace
