#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "logbook/WorkedBefore.h"
#include "tests/support/FileContents.h"

namespace {

std::string Home(const std::string& name) {
  return std::string(std::getenv("TALVO_HOME")) + "/" + name;
}

constexpr auto& FileText = FileContents;

TEST(WorkedBefore, LatestLineOfTheCallOnTheBand) {
  const std::string path = Home("worked.log");
  {
    std::ofstream out(path, std::ios::binary);
    out << "dl1abc\t40m\t10:00 01.01.2026\r\n"  // an older list's lower case
        << "DL1ABC\t20m\t11:00 02.01.2026\r\n"
        << "DL1ABCD\t40m\t12:00 03.01.2026\r\n"
        << "DL1ABC\t40m\t13:00 04.01.2026\r\n"
        << "G4XYZ\tunknown\t14:00 05.01.2026";  // no line end
  }
  TWorkedBefore list(path);
  list.Load();
  ASSERT_EQ(list.Lines().size(), 5u);
  struct Row {
    const char* call;
    const char* band;
    const char* found;  // nullptr: not found
  } rows[] = {
      {"DL1ABC", "40m", "13:00 04.01.2026"},
      {"dl1abc", "20m", "11:00 02.01.2026"},
      {"DL1ABC", "15m", nullptr},
      {"DL1AB", "40m", nullptr},
      {"DL1ABCD", "40m", "12:00 03.01.2026"},
      {"G4XYZ", "unknown", "14:00 05.01.2026"},
      {"G4XYZ", "40m", nullptr},
  };
  for (const Row& r : rows) {
    auto found = list.Find(r.call, r.band);
    if (r.found == nullptr)
      EXPECT_FALSE(found) << r.call << " " << r.band;
    else
      EXPECT_EQ(found.value_or("<none>"), r.found) << r.call << " " << r.band;
  }

  // A new line is appended (after ending the unterminated one); nothing before it changes.
  const std::string before = FileText(path);
  ASSERT_TRUE(list.Add("K1ABC\t20m\t15:00 06.01.2026"));
  EXPECT_EQ(FileText(path), before + "\r\nK1ABC\t20m\t15:00 06.01.2026\r\n");
  ASSERT_TRUE(list.Add("K1ABC\t40m\t16:00 06.01.2026"));
  EXPECT_EQ(FileText(path),
            before + "\r\nK1ABC\t20m\t15:00 06.01.2026\r\nK1ABC\t40m\t16:00 06.01.2026\r\n");
  TWorkedBefore again(path);
  again.Load();
  EXPECT_EQ(again.Lines(), list.Lines());
}

TEST(WorkedBefore, MissingFileAndUnwritableFile) {
  TWorkedBefore missing(Home("none/qso.log"));
  missing.Load();
  EXPECT_TRUE(missing.Lines().empty());
  EXPECT_FALSE(missing.Add("X\t40m\tt"));  // the folder does not exist
  EXPECT_EQ(missing.Lines().size(), 1u);   // kept in memory
  EXPECT_EQ(missing.Find("x", "40m").value_or(""), "t");
}

TEST(WorkedBefore, LineAndMessage) {
  const std::string line =
      TWorkedBefore::LineOf("dl1abc", "40m", EncodeDateTime(2026, 3, 4, 5, 6, 7));
  EXPECT_EQ(line.substr(0, 11), "DL1ABC\t40m\t");
  EXPECT_EQ(line.substr(11, 6), "05:06 ");
  EXPECT_EQ(TWorkedBefore::Message("DL1ABC", "40m", "05:06 04.03.2026"),
            "Worked DL1ABC before on 40m at 05:06 04.03.2026");
}

}  // namespace
