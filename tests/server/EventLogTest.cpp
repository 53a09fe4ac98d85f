#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "server/EventLog.h"
#include "tests/support/FileContents.h"

namespace {

std::string Path(const char* name) {
  std::string p = std::string(std::getenv("TALVO_HOME")) + "/" + name;
  std::remove(p.c_str());
  return p;
}

constexpr auto& Contents = FileContents;

TEST(EventLog, LinesAreDatedTabbedAndSurviveARestart) {
  auto path = Path("events.log");
  {
    TEventLog log(path);
    log.Load();
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_TRUE(log.LogEvent("[127.0.0.1] Connection accepted"));
    EXPECT_TRUE(log.LogEvent("[127.0.0.1] Disconnected"));
  }
  TEventLog again(path);
  again.Load();
  ASSERT_EQ(again.Lines().size(), 2u);
  EXPECT_TRUE(again.LogEvent("Contact logged: K1ABC"));
  ASSERT_EQ(again.Lines().size(), 3u);
  const std::string& first = again.Lines()[0];
  auto tab = first.find('\t');
  ASSERT_NE(tab, std::string::npos);
  EXPECT_EQ(first.substr(tab + 1), "[127.0.0.1] Connection accepted");
  // "ddddd tt" in the C locale: "7 Mar 2026 09:05:04"
  EXPECT_GE(tab, 17u);
  std::string text = Contents(path);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
  EXPECT_NE(text.find("\tContact logged: K1ABC\r\n"), std::string::npos);
}

TEST(EventLog, AFullFileBecomesTheOldOneAndANewOneBegins) {
  auto path = Path("full.log");
  std::ofstream(path + ".1") << "older still\r\n";
  const std::string full(TEventLog::kMaxFileBytes - 10, 'x');
  std::ofstream(path, std::ios::binary) << full;
  TEventLog log(path);
  EXPECT_TRUE(log.LogEvent("next"));
  EXPECT_EQ(Contents(path + ".1"), full);
  const std::string fresh = Contents(path);
  EXPECT_EQ(fresh.size() - fresh.find("\tnext\r\n"), 7u) << fresh;
  EXPECT_TRUE(log.LogEvent("and on"));
  EXPECT_NE(Contents(path).find("\tnext\r\n"), std::string::npos);  // the new file grows
  ASSERT_EQ(log.Lines().size(), 2u);  // the window shows what the new file holds
  EXPECT_NE(log.Lines()[0].find("\tnext"), std::string::npos);
}

// What keeps a full file from being emptied, for as long as it lasts.
enum class Refusal { None, NoDescriptors, SizeLimit };

class Refused {
 public:
  explicit Refused(Refusal refusal) {
    if (refusal == Refusal::None) return;
    resource_ = refusal == Refusal::NoDescriptors ? RLIMIT_NOFILE : RLIMIT_FSIZE;
    getrlimit(resource_, &saved_);
    // No file can be opened at all; or one is emptied, but its first 16 bytes fill it.
    rlimit low = saved_;
    low.rlim_cur = refusal == Refusal::NoDescriptors ? 0 : 16;
    oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(resource_, &low);
  }
  ~Refused() {
    if (resource_ < 0) return;
    setrlimit(resource_, &saved_);
    std::signal(SIGXFSZ, oldSignal_);
  }

 private:
  int resource_ = -1;
  rlimit saved_{};
  void (*oldSignal_)(int) = nullptr;
};

// A full file that cannot be renamed is emptied, with a note; one that cannot be emptied either
// keeps its lines, in the window too; a file emptied that still took no line is written again at
// the next line, as is one that could not be emptied once it can be (emptied, or renamed). The
// line that could not be written goes to the file before the next one.
TEST(EventLog, AFullFileThatCannotBeRenamedIsEmptiedOrTriedAgain) {
  struct Row {
    const char* name;
    Refusal refusal;
    bool written;       // the first line reaches the file
    bool keepsLines;    // the file and the window keep the lines it held
    bool renamedLater;  // the file can be renamed for the next line
    std::size_t lines;  // of the file after the next line
  };
  const Row rows[] = {
      {"not renamed, emptied", Refusal::None, true, false, false, 3},
      {"neither renamed nor emptied", Refusal::NoDescriptors, false, true, false, 4},
      {"neither renamed nor emptied, then renamed", Refusal::NoDescriptors, false, true, true, 3},
      {"emptied, the note not written", Refusal::SizeLimit, false, false, false, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto path = Path("stuck.log");
    std::filesystem::remove_all(path + ".1");
    mkdir((path + ".1").c_str(), 0700);  // a folder with a file in it cannot be replaced
    std::ofstream(path + ".1/keep") << "x";
    std::string full;
    for (int i = 0; i < 10; ++i)
      full += std::string(TEventLog::kMaxFileBytes / 10 - 4, 'x') + "\r\n";
    full += "newest entry\r\n";  // 6 bytes short of full
    std::ofstream(path, std::ios::binary) << full;
    TEventLog log(path);
    log.Load();
    auto holdsNewest = [&] {
      return std::count(log.Lines().begin(), log.Lines().end(), "newest entry") == 1;
    };
    bool written = false;
    {
      Refused refused(row.refusal);
      written = log.LogEvent("next");
    }
    EXPECT_EQ(written, row.written);
    EXPECT_EQ(holdsNewest(), row.keepsLines);
    EXPECT_EQ(Contents(path) == full, row.keepsLines);
    EXPECT_NE(log.Lines().back().find("\tnext"), std::string::npos);

    if (row.renamedLater) std::filesystem::remove_all(path + ".1");
    EXPECT_TRUE(log.LogEvent("and on"));
    const std::string text = Contents(path);
    EXPECT_LT(text.size(), 1024u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), row.lines) << text;
    EXPECT_LT(text.find("\tnext\r\n"), text.rfind("\tand on")) << text;
    EXPECT_EQ(text.size() - text.rfind("\tand on\r\n"), 9u) << text;
    EXPECT_EQ(Contents(path + ".1") == full, row.renamedLater);
    if (row.refusal != Refusal::SizeLimit && !row.renamedLater) {
      EXPECT_NE(text.find("\tThe event log could not be renamed to " + path + ".1 ("),
                std::string::npos);
    }
    EXPECT_NE(log.Lines().back().find("\tand on"), std::string::npos);
    EXPECT_NE(log.Lines()[log.Lines().size() - 2].find("\tnext"), std::string::npos);
    EXPECT_FALSE(holdsNewest());
  }
}

TEST(EventLog, LoadReadsOnlyTheNewestLinesOfALargeFile) {
  auto path = Path("large.log");
  {
    std::ofstream out(path, std::ios::binary);
    const std::string line(1016, 'o');  // 1 KiB with the number and the line end
    for (int i = 0; i < 12 * 1024; ++i) out << std::to_string(100000 + i) << line << "\r\n";
  }
  TEventLog log(path);
  log.Load();
  ASSERT_EQ(log.Lines().size(), TEventLog::kMaxFileBytes / 1024);  // the newest 10 MiB, whole
  EXPECT_EQ(log.Lines().front().substr(0, 6), std::to_string(100000 + 2 * 1024));
  EXPECT_EQ(log.Lines().back().substr(0, 6), std::to_string(100000 + 12 * 1024 - 1));
}

TEST(EventLog, UnwritableFileKeepsTheLineInMemory) {
  auto path = Path("dir.log");
  mkdir(path.c_str(), 0700);
  TEventLog log(path);
  EXPECT_FALSE(log.LogEvent("lost?"));
  ASSERT_EQ(log.Lines().size(), 1u);
  // An unattended server that cannot write its log does not fill its memory with it.
  const std::string big(64 * 1024, 'b');
  std::size_t kept = 0;
  for (int i = 0; i < 400; ++i) {
    log.LogEvent(big + std::to_string(i));
    kept = 0;
    for (const auto& line : log.Lines()) kept += line.size() + 2;
    ASSERT_LE(kept, TEventLog::kMaxFileBytes);
  }
  EXPECT_GT(kept, TEventLog::kMaxFileBytes / 2 - big.size());
  EXPECT_NE(log.Lines().back().find(big + "399"), std::string::npos);
  // The lines dropped unwritten leave one line in their place, which reaches the file first.
  const std::string note = std::to_string(401 - (log.Lines().size() - 1)) + " lines were dropped";
  EXPECT_NE(log.Lines().front().find("\t" + note + " here: "), std::string::npos);
  rmdir(path.c_str());
  EXPECT_TRUE(log.LogEvent("written"));
  EXPECT_EQ(Contents(path).rfind(log.Lines().front() + "\r\n", 0), 0u);
  std::remove(path.c_str());
}

TEST(EventLog, ClientTextCannotForgeLines) {
  EXPECT_EQ(LogSafe("alice"), "alice");
  EXPECT_EQ(LogSafe("bob\r\n01.01.26 00:00:00\tfake"), "bob??01.01.26 00:00:00?fake");
  std::string longName(1000, 'x');
  EXPECT_EQ(LogSafe(longName, 10), "xxxxxxxxxx...");
  EXPECT_EQ(LogSafe(std::string(10, 'y'), 10), std::string(10, 'y'));
}

}  // namespace
