#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "server/LineFramer.h"

namespace {

struct Recorder {
  std::vector<std::string> lines;
  std::function<bool(const std::string&, const std::string&)> hook;
  TLineFramer framer{[this](const std::string& w, const std::string& v) {
    lines.push_back(w + "|" + v);
    return hook ? hook(w, v) : true;
  }};
  TLineFramer::TResult Feed(const std::string& s) { return framer.Feed(s.data(), s.size()); }
};

TEST(LineFramer, LinesInOneReadRunInOrder) {
  Recorder r;
  r.Feed("NOOP\r\nAU ON\r\n");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"NOOP|", "AU|ON"}));
}

TEST(LineFramer, LineSplitOverReadsAndTailKept) {
  Recorder r;
  r.Feed("CA");
  r.Feed("T SW01;\r\nX");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"CAT|SW01;"}));
  EXPECT_EQ(r.framer.LineBuffer(), "X");
}

TEST(LineFramer, CrLfSplitAcrossReadsAndBareCr) {
  Recorder r;
  r.Feed("BYE\r");
  r.Feed("\nNOOP\r\n");
  r.Feed("A\rB\r\n");  // a bare CR ends a line without eating the next one's first byte
  EXPECT_EQ(r.lines, (std::vector<std::string>{"BYE|", "NOOP|", "A|", "B|"}));
}

TEST(LineFramer, WordAndValueAreTrimmed) {
  std::string w, v;
  TLineFramer::SplitLine("  CHAT  DL1AB> hello \t", w, v);
  EXPECT_EQ(w, "");
  TLineFramer::SplitLine("CHAT  DL1AB> hello there \t", w, v);
  EXPECT_EQ(w, "CHAT");
  EXPECT_EQ(v, "DL1AB> hello there");
  TLineFramer::SplitLine("NOOP", w, v);
  EXPECT_EQ(w, "NOOP");
  EXPECT_EQ(v, "");
}

TEST(LineFramer, StopDropsTheRestOfTheRead) {
  Recorder r;
  r.hook = [](const std::string& w, const std::string&) { return w != "BYE"; };
  EXPECT_EQ(r.Feed("NOOP\r\nBYE\r\nCAT TX;\r\n"), TLineFramer::TResult::Stopped);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"NOOP|", "BYE|"}));
  EXPECT_EQ(r.Feed("CAT TX;\r\n"), TLineFramer::TResult::Stopped);
  r.framer.Reset();
  r.hook = nullptr;
  r.Feed("NOOP\r\n");
  EXPECT_EQ(r.lines.size(), 3u);
}

TEST(LineFramer, OverlongLineIsRefused) {
  Recorder r;
  std::string big(1 << 20, 'x');
  EXPECT_EQ(r.Feed(big), TLineFramer::TResult::Overflow);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_TRUE(r.framer.LineBuffer().empty());
}

TEST(LineFramer, BytesArrivingDuringADispatchAreQueuedInOrder) {
  Recorder r;
  bool once = false;
  r.hook = [&](const std::string& w, const std::string&) {
    if (w == "FIRST" && !once) {
      once = true;
      r.Feed("THIRD\r\n");  // arrives while FIRST is still being handled
    }
    return true;
  };
  r.Feed("FIRST\r\nSECOND\r\n");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"FIRST|", "SECOND|", "THIRD|"}));
}

TEST(LineFramer, WhatWaitsDuringADispatchIsBounded) {
  Recorder r;
  TLineFramer::TResult nested = TLineFramer::TResult::Ok;
  r.hook = [&](const std::string& w, const std::string&) {
    if (w == "FIRST") {
      const std::string chunk(4096, 'x');
      for (int i = 0; i < 64 && nested == TLineFramer::TResult::Ok; ++i) nested = r.Feed(chunk);
    }
    return true;
  };
  EXPECT_EQ(r.Feed("FIRST\r\nSECOND\r\n"), TLineFramer::TResult::Stopped);
  EXPECT_EQ(nested, TLineFramer::TResult::Overflow);
  EXPECT_EQ(r.lines, std::vector<std::string>{"FIRST|"});
  EXPECT_EQ(r.Feed("NOOP\r\n"), TLineFramer::TResult::Stopped);
}

TEST(LineFramer, NothingOfAnOldConnectionReachesANewOne) {
  Recorder r;
  r.hook = [&](const std::string& w, const std::string&) {
    if (w == "OLD") {
      r.framer.Reset();  // a new caller was accepted during the pause
      r.Feed("NEW\r\n");
    }
    return true;
  };
  r.Feed("OLD\r\nSTALE\r\n");
  EXPECT_EQ(r.lines, (std::vector<std::string>{"OLD|", "NEW|"}));
}

}  // namespace
