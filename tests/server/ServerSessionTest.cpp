// The server's session without any window: a real listening socket, a line client and the
// simulated K2, driven by the message loop and the session's own timer tick.
#include <gtest/gtest.h>

#include <vector>

#include "common/Adif.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "server/ServerSession.h"
#include "tests/support/ServerFixtures.h"

namespace {

class ServerSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.Start();
    ini_.LoopbackServer(sim_);
  }

  // Starts listening; the session reports its status here.
  void Start(TServerSession& session) {
    session.OnStatus = [this](const std::string& text) { status_ = text; };
    session.LoadSettings();
    session.Listen();
    ASSERT_TRUE(session.Listening());
    port_ = std::stoi(session.ServerWSocket.GetBoundPort());
  }

  // Waits for the radio to receive command, dispatching the session's messages meanwhile.
  bool RadioReceives(const std::string& command, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
      if (sim_.WaitForCommand(command, 10)) return true;
      platform::WaitMessages(10);
    }
    return false;
  }

  std::vector<std::string> LogTail(std::size_t n) const {
    const auto& lines = log_.Lines();
    std::vector<std::string> tail;
    for (std::size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i)
      tail.push_back(lines[i].substr(lines[i].find('\t') + 1));
    return tail;
  }

  TestIni ini_{platform::ChangeFileExt(platform::ProgramFile(), ".ini")};
  TEventLog log_{platform::ChangeFileExt(platform::ProgramFile(), ".log")};
  k2sim::K2Simulator sim_;
  std::string status_;
  int port_ = 0;
};

// A login, a CAT word the user's level does not allow, and a contact to log.
TEST_F(ServerSessionTest, LoginRefusedCatWordAndContact) {
  ini_.Set("Messages", "Welcome", "Hello %u");
  TServerSession session(ini_.Path(), log_);
  int started = 0;
  session.OnSessionStart = [&] { ++started; };
  Start(session);

  LineClient client;
  const std::string banner = LogIn(client, port_, "alice", "secret");
  EXPECT_EQ(banner, session.LoginBanner());
  EXPECT_EQ(client.ReadLine(10000), "# Hello alice");
  EXPECT_EQ(client.ReadLine(10000), "PRIV 1");
  EXPECT_TRUE(session.SessionStarted());
  for (int i = 0; i < 500 && started == 0; ++i) platform::WaitMessages(10);  // a pause after PRIV
  EXPECT_EQ(started, 1);
  EXPECT_EQ(status_, "Connected: alice");

  sim_.ClearCommandLog();
  client.SendLine("CAT SW05;");  // a Full-access switch
  EXPECT_EQ(client.WaitFor("# ", 10000), "# You have TX/RX access.||Action disallowed.");
  client.SendLine("CAT UP1;");
  EXPECT_TRUE(RadioReceives("UP1;", 10000));
  EXPECT_FALSE(RadioReceives("SW05;", 100));

  client.SendLine("LOG K1ABC <call:5>K1ABC <band:3>40m <eor>");
  client.SendLine("NOOP");
  for (int i = 0; i < 500 && LogTail(1)[0] != "Contact logged: K1ABC"; ++i)
    platform::WaitMessages(10);
  EXPECT_EQ(LogTail(1), std::vector<std::string>{"Contact logged: K1ABC"});

  int ended = 0;
  session.OnSessionEnd = [&] { ++ended; };
  client.SendLine("BYE");
  EXPECT_TRUE(client.WaitClosed(5000));
  for (int i = 0; i < 500 && !session.SessionEnded(); ++i) platform::WaitMessages(10);
  EXPECT_EQ(ended, 1);
  session.TimerTimer();
  EXPECT_FALSE(session.SessionStarted());
  EXPECT_EQ(status_, "Listening for connection");
}

// Session words by their place in the keyword string: short forms count, and a word found only
// at another place (L and LO inside CLOSE) goes to the relay. "SE" after each line marks where
// its answers end.
TEST_F(ServerSessionTest, ShortWordsAndWordsForTheRelay) {
  TServerSession session(ini_.Path(), log_);
  std::vector<std::string> chat;
  session.OnChat = [&](const std::string& text) { chat.push_back(text); };
  Start(session);
  LineClient client;
  ASSERT_NE(LogIn(client, port_, "alice", "secret"), "");
  ASSERT_EQ(client.WaitFor("PRIV", 10000), "PRIV 1");

  const struct {
    const char* line;
    const char* answer;  // the first "#" line, "" when only the marker's
  } rows[] = {
      {"l K1ABC <call:5>K1ABC <eor>", "# Invalid command \"l\""},
      {"lo K1ABC <call:5>K1ABC <eor>", "# Invalid command \"lo\""},
      {"LOG", ""},
      {"noo", ""},
      {"ch K1ABC> good evening", ""},
      {"ca UP1;", ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.line);
    client.SendLine(row.line);
    client.SendLine("SE");
    const std::string marker = "# Invalid command \"SE\"";
    if (*row.answer != '\0') {
      EXPECT_EQ(client.WaitFor("# ", 10000), row.answer);
    }
    EXPECT_EQ(client.WaitFor("# ", 10000), marker);
  }
  EXPECT_EQ(chat, std::vector<std::string>{"K1ABC> good evening"});
  EXPECT_TRUE(RadioReceives("UP1;", 10000));
  for (const std::string& line : log_.Lines())
    EXPECT_EQ(line.find("Contact logged"), std::string::npos) << line;

  client.SendLine("byeCLOSE");  // BYE, the word at the first place
  EXPECT_TRUE(client.WaitClosed(5000));
  for (int i = 0; i < 500 && !session.SessionEnded(); ++i) platform::WaitMessages(10);
  EXPECT_FALSE(session.ShutdownRequested());
}

TEST_F(ServerSessionTest, UserNamesMatchTheListWithoutRegardToCase) {
  TServerSession session(ini_.Path(), log_);
  Start(session);
  LineClient client;
  ASSERT_NE(LogIn(client, port_, "ALICE", "secret"), "");
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 1");
  EXPECT_EQ(session.SessionUser(), "ALICE");
  client.Close();
  for (int i = 0; i < 500 && session.CliWSocket.State() == wsConnected; ++i)
    platform::WaitMessages(10);

  ASSERT_NE(LogIn(client, port_, "alicia", ""), "");
  EXPECT_EQ(client.ReadLine(), "# Authentication failed");
  EXPECT_TRUE(client.WaitClosed(5000));
}

TEST_F(ServerSessionTest, BusyFlagTurnsEveryCallerAway) {
  ini_.Set("Messages", "Busy", "My K2 is busy. Please try again later.");
  ini_.Set("Access Control", "K2 Busy", "1");
  TServerSession session(ini_.Path(), log_);
  Start(session);
  LineClient client;
  ASSERT_TRUE(client.Connect(port_));
  EXPECT_EQ(client.ReadLine().rfind("Talvo Server 1.0 Date: ", 0), 0u);
  EXPECT_EQ(client.ReadLine(), "# My K2 is busy. Please try again later.");
  EXPECT_TRUE(client.WaitClosed(5000));
  EXPECT_EQ(LogTail(1), std::vector<std::string>{"[127.0.0.1] Connection refused - server busy"});
}

TEST_F(ServerSessionTest, RefusedAddressRunsTheSessionEnd) {
  ini_.Set("Access Control", "Address Mask 1", "10.*");
  TServerSession session(ini_.Path(), log_);
  Start(session);
  LineClient client;
  ASSERT_TRUE(client.Connect(port_));
  EXPECT_TRUE(client.WaitClosed(5000));
  EXPECT_EQ(LogTail(2),
            (std::vector<std::string>{"[127.0.0.1] Connection refused - address not allowed",
                                      "[127.0.0.1] Disconnected"}));
  EXPECT_TRUE(session.SessionEnded());
}

TEST(CatAccessRule, WordsByLevel) {
  const struct {
    const char* words;
    int level;
    bool allowed;
  } rows[] = {
      {"UP1;DN9;", 0, true},
      {"up1;", 0, true},
      {"UP12;", 0, false},
      {"PC050;", 0, false},
      {"PC050;", 1, true},
      {"SW01;", 0, true},
      {"SW16;", 0, false},
      {"SW16;", 1, true},
      {"SW05;", 1, false},
      {"SW33;", 1, false},
      {"SW00;", 1, false},
      {"UP1", 0, false},
      {"", 1, false},
      {"FA00007025000;", 1, false},
      {"FA00007025000;", 2, true},
      {"UP1;FA;", 1, false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(CatAllowed(row.words, row.level), row.allowed) << row.words << " " << row.level;
}

}  // namespace
