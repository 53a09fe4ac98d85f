#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sockets/QelLogger.h"
#include "tests/support/FileContents.h"

namespace {

std::string Home() {
  return std::getenv("TALVO_HOME");
}

constexpr auto& ReadFile = FileContents;

// A logger whose clock says 14:03:07.045.
class FixedClockLogger : public TQelLogger {
 protected:
  TimeOfDay Now() override { return {14, 3, 7, 45}; }
};

TEST(QelLogger, FileLinesCarryTheStampAndEndWithCrLf) {
  std::string path = Home() + "/stamp.log";
  FixedClockLogger logger;
  logger.SetLogOptions({loDestFile, loAddStamp});
  logger.SetLogFileName(path);
  EXPECT_EQ(logger.LogTimeStamp(), "14:03:07:045");
  logger.WriteLog(nullptr, loWsockInfo, "abc");
  logger.WriteLog(nullptr, loWsockErr, "def");
  EXPECT_EQ(ReadFile(path), "14:03:07:045 abc\r\n14:03:07:045 def\r\n");
}

TEST(QelLogger, OverwriteEmptiesTheFileOnceWhenItIsOpened) {
  std::string path = Home() + "/over.log";
  std::ofstream(path) << "old contents\r\n";
  {
    TQelLogger logger;
    logger.SetLogOptions({loDestFile});
    logger.SetLogFileOption(lfoOverwrite);
    logger.SetLogFileName(path);
    EXPECT_EQ(ReadFile(path), "old contents\r\n");  // not before the first line
    logger.WriteLog(nullptr, loWsockInfo, "one");
    logger.SetLogFileName(path);  // the same name: the file stays open
    logger.WriteLog(nullptr, loWsockInfo, "two");
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\n");
  }
  TQelLogger appender;
  appender.SetLogOptions({loDestFile});
  appender.SetLogFileName(path);
  appender.WriteLog(nullptr, loWsockInfo, "three");
  EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\nthree\r\n");
}

TEST(QelLogger, ANewNameStartsANewFile) {
  TQelLogger logger;
  logger.SetLogOptions({loDestFile});
  logger.SetLogFileName(Home() + "/a.log");
  logger.WriteLog(nullptr, loWsockInfo, "to a");
  logger.SetLogFileName(Home() + "/b.log");
  logger.WriteLog(nullptr, loWsockInfo, "to b");
  EXPECT_EQ(ReadFile(Home() + "/a.log"), "to a\r\n");
  EXPECT_EQ(ReadFile(Home() + "/b.log"), "to b\r\n");
}

TEST(QelLogger, TheEventGetsSenderOptionAndTextAndFileErrorsAreRaised) {
  TQelLogger logger;
  TQelLogger sender;
  TComponent* gotSender = nullptr;
  TLogOption gotOption = loDestEvent;
  std::string gotText;
  logger.OnQelLogEvent = [&](TComponent* s, TLogOption o, const std::string& m) {
    gotSender = s;
    gotOption = o;
    gotText = m;
  };
  logger.WriteLog(&sender, loWsockDump, "not routed");
  EXPECT_EQ(gotSender, nullptr);  // no destination chosen
  logger.SetLogOptions({loDestEvent});
  logger.WriteLog(&sender, loWsockDump, "routed");
  EXPECT_EQ(gotSender, &sender);
  EXPECT_EQ(gotOption, loWsockDump);
  EXPECT_EQ(gotText, "routed");

  logger.SetLogOptions({loDestFile});
  try {
    logger.WriteLog(&sender, loWsockInfo, "x");
    FAIL() << "no exception";
  } catch (const ELoggerException& e) {
    EXPECT_STREQ(e.what(), "File name empty");
  }
  logger.SetLogFileName(Home() + "/no/such/folder/x.log");
  EXPECT_THROW(logger.WriteLog(&sender, loWsockInfo, "x"), ELoggerException);
}

}  // namespace
