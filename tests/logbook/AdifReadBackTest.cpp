// Records written through AppendAdif and read back, field by field, by an ADIF reader that is not
// ours.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/Adif.h"
#include "logbook/AdifRecord.h"
#include "tests/logbook/AdifReader.h"

namespace {

TEST(AdifReadBack, RecordsReadByAnIndependentReader) {
  std::remove(AdifPath().c_str());
  struct Row {
    TContact contact;
    bool server;
    std::map<std::string, std::string> fields;  // every field the reader must see
  };
  TContact full;
  full.Fields = {"dl1abc", "J\xE9r\xF4me",     "579", "007", "589", "012", "K\xF6ln <Dom>",
                 "JO30",   "tnx <b>fb</b> qso"};
  full.Start = EncodeDateTime(2026, 3, 4, 5, 6, 7);
  full.End = EncodeDateTime(2026, 3, 4, 5, 16, 0);
  full.ModeGroup = 1;
  full.FreqKhz = 7025.5;
  TContact bare;
  bare.Fields = {"g4xyz", "OM", "", "", "", "", "", "", ""};
  bare.Start = bare.End = EncodeDateTime(2026, 12, 31, 23, 59, 59);
  TContact broken = full;
  broken.Fields.Comment = "line\r\nbreak\t<EOR>";
  broken.ModeGroup = 2;
  broken.FreqKhz = 24950;
  const Row rows[] = {
      {full,
       false,
       {{"call", "DL1ABC"},
        {"qso_date", "20260304"},
        {"time_on", "050607"},
        {"time_off", "051600"},
        {"freq", "7.025500"},
        {"band", "40m"},
        {"mode", "CW"},
        {"rst_rcvd", "589"},
        {"rst_sent", "579"},
        {"srx", "012"},
        {"stx", "007"},
        {"name", "J\xE9r\xF4me"},
        {"qth", "K\xF6ln <Dom>"},
        {"gridsquare", "JO30"},
        {"comment", "tnx <b>fb</b> qso"}}},
      {bare,
       false,
       {{"call", "G4XYZ"},
        {"qso_date", "20261231"},
        {"time_on", "235959"},
        {"time_off", "235959"},
        {"freq", "0.000000"},
        {"band", "unknown"}}},
      {broken,
       true,
       {{"call", "DL1ABC"},
        {"qso_date", "20260304"},
        {"time_on", "050607"},
        {"time_off", "051600"},
        {"freq", "24.950000"},
        {"band", "12m"},
        {"mode", "SSB"},
        {"rst_rcvd", "589"},
        {"rst_sent", "579"},
        {"srx", "012"},
        {"stx", "007"},
        {"name", "J\xE9r\xF4me"},
        {"qth", "K\xF6ln <Dom>"},
        {"gridsquare", "JO30"},
        {"comment", "Op: W1AW. line  break <EOR>"}}},
  };
  for (const Row& r : rows)
    ASSERT_TRUE(AppendAdif(r.server ? ServerRecord(r.contact, "W1AW") : LocalRecord(r.contact)));

  TAdifReading reading = ReadAdifOutside(AdifPath());
  ASSERT_TRUE(reading.Error.empty()) << reading.Error;
  const std::map<std::string, std::string> header = {
      {"text", "Talvo v 1.0"}, {"adif_ver", "1.00"}, {"log_pgm", "Talvo"}};
  EXPECT_EQ(reading.Records["H"], header);
  ASSERT_EQ(reading.Records.size(), 4u);
  for (std::size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(reading.Records[std::to_string(i)], rows[i].fields) << "record " << i;
}

}  // namespace
