#include <gtest/gtest.h>

#include <string>

#include "relay/K2Relay.h"
#include "tests/relay/LinkBindings.h"
#include "tests/relay/RelayFakes.h"

namespace {

class Polling : public testing::Test {
 protected:
  Polling() { relay.SetAccessLevel(1); }
  std::string Tick() {
    relay.PollK2();
    return radio.Take();
  }
  void Command(const char* word, const char* argument) {
    relay.TranslateCommand(word, argument, client);
  }
  void Reply(const std::string& text) {
    relay.ReplyBuffer() += text;
    relay.ParseK2Replies(client);
  }
  FakeRadio radio;
  FakeClient client;
  TK2Relay relay{&radio};
};

TEST_F(Polling, WritesTheSwitchedOnPollsInOneText) {
  EXPECT_EQ(Tick(), "");
  Command("DISP", "ON");
  EXPECT_EQ(Tick(), "DS;IF;");
  Command("SM", "ON");
  EXPECT_EQ(Tick(), "DS;IF;BG;");
  EXPECT_EQ(Tick(), "DS;IF;BG;");
  Command("DISP", "OFF");
  EXPECT_EQ(Tick(), "BG;");
}

TEST_F(Polling, PacesMorseTextByTheKeyerBuffer) {
  Command("CW", "TEST");
  Command("SM", "ON");
  EXPECT_EQ(Tick(), "KY  TEST;BG;");
  EXPECT_EQ(relay.State().KeyerState, 1);
  EXPECT_EQ(Tick(), "BG;");  // queue empty: no keyer question

  Command("CW", "abcdefghijklmnopqrstuvwxyz01");  // queue of 29 characters
  Command("CW", "");                              // and one space more
  ASSERT_EQ(relay.State().MorseQueue.size(), 30u);
  EXPECT_EQ(Tick(), "KY;BG;");  // keyer state 1: ask first
  Reply("KY1;");
  EXPECT_EQ(Tick(), "KY;BG;");
  Reply("KY0;");
  EXPECT_EQ(Tick(), "KY  ABCDE;BG;");
  EXPECT_EQ(Tick(), "KY;BG;");
}

TEST_F(Polling, FirstPieceOfASessionCarries24Characters) {
  Command("CW", "abcdefghijklmnopqrstuvwxyz01 ");
  const std::string queue = relay.State().MorseQueue;
  ASSERT_EQ(queue, " ABCDEFGHIJKLMNOPQRSTUVWXYZ01");
  EXPECT_EQ(Tick(), "KY " + queue.substr(0, 24) + ";");
  EXPECT_EQ(Tick(), "KY;");
  EXPECT_EQ(Tick(), "KY;");
  Reply("KY0;");
  EXPECT_EQ(Tick(), "KY " + queue.substr(24) + ";");
  Reply("KY0;");
  EXPECT_EQ(Tick(), "");
  EXPECT_TRUE(client.sent.empty());
}

TEST_F(Polling, StarClearsTheQueueAndTheKeyer) {
  Command("CW", "cq cq cq de dl1ab dl1ab dl1ab pse k");
  EXPECT_NE(Tick(), "");
  Command("CW", "*");
  EXPECT_EQ(radio.Take(), "KY @;");
  EXPECT_EQ(relay.State().MorseQueue, "");
  EXPECT_EQ(Tick(), "");
}

TEST_F(Polling, APieceRefusedByThePortIsKept) {
  Command("CW", "TEST");
  radio.refuse = true;
  relay.PollK2();
  EXPECT_EQ(relay.State().MorseQueue, " TEST");
  EXPECT_EQ(relay.State().KeyerState, 2);
  radio.refuse = false;
  EXPECT_EQ(Tick(), "KY  TEST;");
}

TEST_F(Polling, NoPortDropsTheTextButKeepsTheQueue) {
  TK2Relay alone;
  alone.SetAccessLevel(1);
  alone.TranslateCommand("CW", "TEST", client);
  alone.PollK2();
  alone.ReleaseK2();
  EXPECT_EQ(alone.State().MorseQueue, " TEST");
}

TEST_F(Polling, ReleaseLeavesTheRadioReceiving) {
  for (int mode : {3, 7}) {
    relay.State().Mode = mode;
    relay.ReleaseK2();
    EXPECT_EQ(radio.Take(), "KY @;RX;") << mode;
  }
  for (int mode : {-1, 1, 2, 6, 9}) {
    relay.State().Mode = mode;
    relay.ReleaseK2();
    EXPECT_EQ(radio.Take(), "RX;") << mode;
  }
}

TEST_F(Polling, SessionEndStopsEveryDuty) {
  Command("DISP", "ON");
  Command("SM", "ON");
  Command("CW", "TEST");
  Reply("MD7;");
  relay.ReleaseK2();
  relay.ClearSessionDuties();
  EXPECT_EQ(radio.Take(), "KY @;RX;");
  EXPECT_EQ(Tick(), "");
}

}  // namespace

namespace {

// Stand-ins for the serial port and the socket the server binds.
struct PortWithPendingFlag {
  bool pending = false;
  std::string written;
  bool SendInProgress() const { return pending; }
  void WriteText(const std::string& text) { written += text; }
};

struct PortThatAnswers {
  bool accept = true;
  bool WriteText(const std::string&) { return accept; }
};

// A port that queues what is written while a write is pending, as the serial port does.
struct PortThatQueues {
  bool pending = true;
  std::string written;
  bool SendInProgress() const { return pending; }
  bool WriteText(const std::string& text) {
    written += text;
    return true;
  }
};

struct Socket {
  std::string sent;
  int SendText(const std::string& text) {
    sent += text;
    return static_cast<int>(text.size());
  }
};

TEST(RelayLinks, AdaptersBindPortsAndSockets) {
  PortWithPendingFlag serial;
  RadioPortFor<PortWithPendingFlag> radio(serial);
  TK2Relay relay(&radio);
  relay.SetAccessLevel(1);
  Socket socket;
  ClientLinkFor<Socket> client(socket);

  relay.TranslateCommand("CW", "hi", client);
  serial.pending = true;
  relay.PollK2();  // a write still pending: the piece stays queued
  EXPECT_EQ(serial.written, "");
  serial.pending = false;
  relay.PollK2();
  EXPECT_EQ(serial.written, "KY  HI;");
  relay.TranslateCommand("BOGUS", "", client);
  EXPECT_EQ(socket.sent, "# Invalid command \"BOGUS\"\r\n");

  PortThatAnswers answering;
  RadioPortFor<PortThatAnswers> second(answering);
  answering.accept = false;
  EXPECT_FALSE(second.WriteText("RX;"));
  answering.accept = true;
  EXPECT_TRUE(second.WriteText("RX;"));

  // A pending write does not keep the release from a port that queues it.
  PortThatQueues queueing;
  RadioPortFor<PortThatQueues> third(queueing);
  TK2Relay released(&third);
  released.ReleaseK2();
  EXPECT_EQ(queueing.written, "RX;");
}

}  // namespace
