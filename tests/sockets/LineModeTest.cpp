#include <gtest/gtest.h>

#include <vector>

#include "SocketTestSupport.h"
#include "sockets/WSocket.h"

using namespace sockettest;

namespace {

// A line-mode socket connected to a raw peer, collecting the lines it delivers.
class LineModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s.SetLineMode(true);
    s.OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
      lines.push_back(sender->ReceiveText());
    };
    s.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t) { lines.push_back("<closed>"); };
    s.SetAddr("127.0.0.1");
    s.SetPort(listener.PortText());
    s.Connect();
    peer = listener.Accept();
    ASSERT_TRUE(WaitFor([&] { return s.State() == wsConnected; }));
  }
  void TearDown() override {
    if (peer >= 0) close(peer);
  }
  // Sends bytes and waits until the socket has taken them in.
  void Feed(const std::string& bytes) {
    std::int64_t before = s.ReadCount();
    ASSERT_TRUE(WriteAll(peer, bytes));
    ASSERT_TRUE(WaitFor([&] { return s.ReadCount() >= before + std::int64_t(bytes.size()); }));
  }

  TWSocket s;
  RawListener listener;
  int peer = -1;
  std::vector<std::string> lines;
};

TEST_F(LineModeTest, ALineIsDeliveredWholeOnceItsEndHasArrived) {
  Feed("AB");
  EXPECT_TRUE(lines.empty());
  Feed("C\r\nD");
  EXPECT_EQ(lines, std::vector<std::string>{"ABC\r\n"});
  Feed("E\r\nF\r\nG");
  EXPECT_EQ(lines, (std::vector<std::string>{"ABC\r\n", "DE\r\n", "F\r\n"}));
}

TEST_F(LineModeTest, ATerminatorSplitAcrossTwoReceivesIsFound) {
  Feed("one\r");
  EXPECT_TRUE(lines.empty());
  Feed("\ntwo\r");
  Feed("\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n"}));
}

TEST_F(LineModeTest, AnotherTerminatorAndALineReadInPieces) {
  s.SetLineEnd("||");
  s.OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
    char piece[3];
    std::string line;
    int n;
    while ((n = sender->Receive(piece, sizeof(piece))) > 0) line.append(piece, n);
    lines.push_back(line);
  };
  Feed("abcdefgh||ij||");
  EXPECT_EQ(lines, (std::vector<std::string>{"abcdefgh||", "ij||"}));
}

TEST_F(LineModeTest, BackspaceAndTabAreAppliedWhenEditing) {
  s.SetLineEdit(true);
  Feed("ab\bc\r\n");
  Feed("abc\tx\r\n");
  Feed("xy");
  Feed("\b\bz\r\n");  // erases bytes of an earlier receive that are still held
  Feed("\b\bq\r\n");  // nothing held to erase: the backspaces do nothing
  EXPECT_EQ(lines, (std::vector<std::string>{"ac\r\n", "abc     x\r\n", "z\r\n", "q\r\n"}));
}

TEST_F(LineModeTest, EchoSendsEveryByteBackAndEditsShowAsErasures) {
  s.SetLineEcho(true);
  Feed("hi\r\n");
  EXPECT_EQ(ReadSome(peer, 4), "hi\r\n");
  s.SetLineEdit(true);
  Feed("a\bb\r\n");
  EXPECT_EQ(ReadSome(peer, 7), std::string("a\b \bb\r\n"));
  EXPECT_EQ(lines, (std::vector<std::string>{"hi\r\n", "b\r\n"}));
}

TEST_F(LineModeTest, AnUnfinishedLineIsDeliveredAtTheClose) {
  Feed("first\r\nxyz");
  close(peer);
  peer = -1;
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsClosed; }));
  EXPECT_EQ(lines, (std::vector<std::string>{"first\r\n", "xyz", "<closed>"}));
}

TEST_F(LineModeTest, ALineOverTheLimitIsDroppedUnlessTheHandlerKeepsIt) {
  s.SetLineLimit(10);
  std::vector<int> reported;
  bool keep = false;
  s.OnLineLimitExceeded = [&](TCustomWSocket*, std::int32_t n, bool& clear) {
    reported.push_back(n);
    clear = !keep;
  };
  Feed("0123456789AB");
  EXPECT_EQ(reported, std::vector<int>{12});
  Feed("ok\r\n");
  EXPECT_EQ(lines, std::vector<std::string>{"ok\r\n"});
  keep = true;
  Feed("0123456789AB");
  Feed("C\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"ok\r\n", "0123456789ABC\r\n"}));
}

TEST_F(LineModeTest, SwitchingLineModeOffDeliversWhatIsHeldAsRawData) {
  std::vector<std::string> raw;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    if (s.LineMode()) {
      lines.push_back(sender->ReceiveText());
      s.SetLineMode(false);
    } else {
      char buf[100];
      int n = sender->Receive(buf, sizeof(buf));
      if (n > 0) raw.emplace_back(buf, n);
    }
  };
  Feed("line\r\nrest of it");
  ASSERT_TRUE(WaitFor([&] { return !raw.empty(); }));
  EXPECT_EQ(lines, std::vector<std::string>{"line\r\n"});
  EXPECT_EQ(raw, std::vector<std::string>{"rest of it"});
  Feed("more");
  EXPECT_EQ(raw.back(), "more");
}

TEST_F(LineModeTest, LinesHeldFromRawModeAreSplitWhenLineModeComesBack) {
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    if (!s.LineMode()) return;  // raw bytes are left where they are
    lines.push_back(sender->ReceiveText());
    if (lines.size() == 1) s.SetLineMode(false);
  };
  Feed("first\r\nA\r\nB\r\nC");
  Pump(100);
  EXPECT_EQ(lines, std::vector<std::string>{"first\r\n"});  // the rest is held, unread
  s.SetLineMode(true);
  ASSERT_TRUE(WaitFor([&] { return lines.size() == 3; }));
  Feed("D\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"first\r\n", "A\r\n", "B\r\n", "CD\r\n"}));
}

TEST_F(LineModeTest, SwitchingLineModeOnSplitsWhatWasHeld) {
  s.SetLineMode(false);
  s.OnDataAvailable = {};  // nobody reads: raw bytes are thrown away
  Feed("gone\r\n");
  s.OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
    lines.push_back(sender->ReceiveText());
  };
  s.SetLineMode(true);
  Feed("a\r\nb\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"a\r\n", "b\r\n"}));
}

TEST_F(LineModeTest, AHandlerThatLeavesTheLineUnreadIsNotCalledForeverAndGetsItLater) {
  int calls = 0;
  bool read = false;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    ++calls;
    if (read) lines.push_back(sender->ReceiveText());
  };
  Feed("wait\r\n");
  Pump(200);
  EXPECT_EQ(calls, 1);
  read = true;
  Feed("next\r\n");
  EXPECT_EQ(lines, (std::vector<std::string>{"wait\r\n", "next\r\n"}));
}

TEST_F(LineModeTest, SendLineAddsTheTerminatorAndSendsNothingForNothing) {
  EXPECT_EQ(s.SendLine(""), 0);
  EXPECT_EQ(s.SendLine("hello"), 7);
  EXPECT_EQ(ReadSome(peer, 7), "hello\r\n");
  EXPECT_EQ(ReadSome(peer, 1, 200), "");
}

}  // namespace
