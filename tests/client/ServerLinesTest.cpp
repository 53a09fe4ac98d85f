// Cutting the server's bytes into lines and naming its words.
#include <gtest/gtest.h>

#include "client/ServerLines.h"
#include "text/Text.h"

namespace {

std::vector<std::string> Cut(const std::vector<std::string>& chunks) {
  TServerLineCutter cutter;
  std::vector<std::string> lines;
  std::string line;
  for (const std::string& chunk : chunks) {
    cutter.Append(chunk.data(), chunk.size());
    while (cutter.NextLine(line)) lines.push_back(line);
  }
  return lines;
}

using Lines = std::vector<std::string>;

TEST(ServerLineCutter, CutsAtCrAndLfInAnyRead) {
  struct Row {
    const char* name;
    Lines chunks;
    Lines expected;
  };
  const Row rows[] = {
      {"one line", {"SM 5\r\n"}, {"SM 5"}},
      {"CR LF split over reads", {"SM 5\r", "\nSM 6\r", "\n"}, {"SM 5", "SM 6"}},
      {"line split over reads", {"FR", "EQ 70", "40.00", "\r\n"}, {"FREQ 7040.00"}},
      {"A CR LF CR LF B CR", {"A\r\n\r\nB\r"}, {"A", "B"}},
      {"leading LF keeps the banner", {"\nTalvo Server 1.0\r\n"}, {"Talvo Server 1.0"}},
      {"LF alone ends a line", {"A\nB\n"}, {"A", "B"}},
      {"lone CRs", {"A\rB\r"}, {"A", "B"}},
      {"empty lines skipped", {"\r\n\r\n\n\r", "A\r\n"}, {"A"}},
      {"partial line waits", {"SM 5"}, {}},
      {"byte by byte",
       {"S", "M", " ", "1", "\r", "\n", "S", "M", " ", "2", "\n"},
       {"SM 1", "SM 2"}},
      {"NUL and high bytes kept", {std::string("#\0\xE9", 3) + "\r"}, {std::string("#\0\xE9", 3)}},
  };
  for (const Row& row : rows) EXPECT_EQ(Cut(row.chunks), row.expected) << row.name;
}

TEST(ServerLineCutter, AnOverlongLineIsDroppedUpToItsEnd) {
  TServerLineCutter cutter;
  std::string big(TServerLineCutter::kMaxLine + 10, 'x');
  cutter.Append("SM 1\r\n", 6);
  cutter.Append(big.data(), big.size());
  EXPECT_LE(cutter.Held(), 6u);  // the complete line waits; the long one is gone
  cutter.Append(big.data(), big.size());
  EXPECT_LE(cutter.Held(), 6u);
  cutter.Append("yy\r\nSM 2\r\n", 10);
  std::string line;
  Lines lines;
  while (cutter.NextLine(line)) lines.push_back(line);
  EXPECT_EQ(lines, (Lines{"SM 1", "SM 2"}));
  EXPECT_EQ(cutter.Dropped(), 1u);

  // Exactly the limit is still a line.
  std::string limit(TServerLineCutter::kMaxLine, 'z');
  cutter.Append(limit.data(), limit.size());
  cutter.Append("\r", 1);
  ASSERT_TRUE(cutter.NextLine(line));
  EXPECT_EQ(line.size(), TServerLineCutter::kMaxLine);
}

TEST(ServerLineCutter, ManyLinesInOneReadThenClear) {
  std::string many;
  for (int i = 0; i < 5000; ++i) many += "SM " + std::to_string(i % 10) + "\r\n";
  Lines lines = Cut({many});
  ASSERT_EQ(lines.size(), 5000u);
  EXPECT_EQ(lines.back(), "SM 9");
  TServerLineCutter cutter;
  cutter.Append("half", 4);
  cutter.Clear();
  cutter.Append("\r\nSM 1\r\n", 8);
  std::string line;
  ASSERT_TRUE(cutter.NextLine(line));
  EXPECT_EQ(line, "SM 1");
}

TEST(ServerLineCutter, TakenBytesAreGivenBackWhileABacklogRemains) {
  // As the session reads under a flood: one read whenever at most 128 KiB are held, then a pass
  // of 200 lines, so that complete lines always wait.
  std::string read;
  while (read.size() < 16 * 1024) read += "SM 5\r\nDISPLAY 12345678AB\r\n";
  const std::size_t heldBound = 2 * TServerLineCutter::kMaxLine;
  TServerLineCutter cutter;
  std::string line;
  std::size_t lines = 0;
  for (int round = 0; round < 5000; ++round) {
    if (cutter.Held() <= heldBound) cutter.Append(read.data(), read.size());
    for (int n = 0; n < 200 && cutter.NextLine(line); ++n) ++lines;
    ASSERT_GT(cutter.Held(), 0u);
    // Twice what is held and one read, and the string's own room to grow.
    ASSERT_LE(cutter.Capacity(), 2 * (2 * (heldBound + read.size()) + read.size())) << round;
  }
  EXPECT_EQ(lines, 5000u * 200u);
  EXPECT_EQ(line, "DISPLAY 12345678AB");
}

TEST(ServerWords, FirstPositionInTheKeywordString) {
  const std::pair<const char*, TServerWord> rows[] = {
      {"#", TServerWord::Message},
      {"DISPLAY", TServerWord::Display},
      {"DISP", TServerWord::Display},
      {"D", TServerWord::Display},
      {"SM", TServerWord::SMeter},
      {"SMETER", TServerWord::SMeter},
      {"FREQ", TServerWord::Freq},
      {"F", TServerWord::Freq},
      {"KS", TServerWord::KSpeed},
      {"KSPEED", TServerWord::KSpeed},
      {"PWR", TServerWord::Pwr},
      {"PW", TServerWord::Pwr},
      {"RIT", TServerWord::Rit},
      {"SQ", TServerWord::Squelch},
      {"SQUELCH", TServerWord::Squelch},
      {"AU", TServerWord::Audio},
      {"AUDIO", TServerWord::Audio},
      {"PRIV", TServerWord::Priv},
      {"CHAT", TServerWord::Chat},
      {"PRI", TServerWord::Priv},
      {"RXT", TServerWord::Rxt},
      {"RX", TServerWord::Rxt},
      // Found, but not where a keyword starts.
      {"S", TServerWord::None},
      {"R", TServerWord::None},
      {"P", TServerWord::None},
      {"SP", TServerWord::None},
      {"METER", TServerWord::None},
      {"ISPLAY", TServerWord::None},
      // Not found, or not as received (case counts).
      {"", TServerWord::None},
      {"TX", TServerWord::None},
      {"MODE", TServerWord::None},
      {"##", TServerWord::None},
      {"freq", TServerWord::None},
      {"Priv", TServerWord::None},
      {"ALTVFO", TServerWord::None},
      {"VFO", TServerWord::None},
      {"SPLIT", TServerWord::None},
      {"XIT", TServerWord::None},
      {"PREAMP", TServerWord::None},
      {"ATT", TServerWord::None},
      {"ANT", TServerWord::None},
      {"NB", TServerWord::None},
      {"AGC", TServerWord::None},
      {"FILTER", TServerWord::None},
      {"AFIL", TServerWord::None},
      {"PA", TServerWord::None},
      {"FREQS", TServerWord::None},
  };
  for (const auto& [word, expected] : rows)
    EXPECT_EQ(ServerWordOf(word), expected) << '"' << word << '"';
}

TEST(ServerWords, SplitMessageAndKilohertz) {
  std::string word, value;
  SplitAtFirstSpace("# Hello world", word, value);
  EXPECT_EQ(word, "#");
  EXPECT_EQ(value, "Hello world");
  SplitAtFirstSpace("PRIV", word, value);
  EXPECT_EQ(word, "PRIV");
  EXPECT_EQ(value, "");
  SplitAtFirstSpace(" SM 5", word, value);
  EXPECT_EQ(word, "");
  EXPECT_EQ(value, "SM 5");

  EXPECT_EQ(MessageText("You are connected.||You have Full access."),
            "You are connected.\rYou have Full access.");
  EXPECT_EQ(MessageText("a|||b||"), "a\r|b\r");

  const std::pair<const char*, bool> numbers[] = {
      {"7040.50", true}, {"14060", true},  {"0.5", true},    {"", false},      {"7,040", false},
      {"abc", false},    {"7040 ", false}, {" 7040", false}, {"1e400", false}, {"nan", false},
  };
  for (const auto& [text, ok] : numbers) {
    double khz = -1;
    EXPECT_EQ(ParseKilohertz(text, khz), ok) << text;
  }
  double khz = 0;
  ASSERT_TRUE(ParseKilohertz("7040.50", khz));
  EXPECT_DOUBLE_EQ(khz, 7040.5);

  // A reported frequency is above 0 and below 100 MHz; anything else leaves khz alone.
  const std::string huge = "1" + std::string(308, '0');
  const std::pair<std::string, bool> reports[] = {
      {"7040.50", true}, {"0.01", true}, {"99999.99", true}, {"-1", false},    {"-0.000", false},
      {"0", false},      {huge, false},  {"100000", false},  {"1e400", false},
  };
  for (const auto& [text, ok] : reports) {
    khz = 7.5;
    EXPECT_EQ(ParseReportedFrequency(text, khz), ok) << text;
    if (!ok) {
      EXPECT_EQ(khz, 7.5) << text;
    }
  }
}

}  // namespace
