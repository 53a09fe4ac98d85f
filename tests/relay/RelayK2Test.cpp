// The relay driving the simulated K2 through the real serial port over a pseudo-terminal, wired
// as the server wires it: the port configured for the K2, every received chunk appended to the
// reply buffer and parsed, the poll run by a 500 ms window timer once the radio has answered.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/MessagePump.h"
#include "platform/MessageWindow.h"
#include "platform/Tick.h"
#include "relay/K2Relay.h"
#include "relay/K2Text.h"
#include "serial/SerialPort.h"
#include "tests/relay/LinkBindings.h"
#include "tests/support/K2Port.h"
#include "tests/support/WaitFor.h"
#include "tests/support/k2sim/K2Simulator.h"

namespace {

using Lines = std::vector<std::string>;

// The client's connection: every status line the relay sends, without its CR LF.
struct ClientRecorder : IClientLink {
  Lines lines;
  void SendText(const std::string& text) override {
    EXPECT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << text;
    lines.push_back(text.substr(0, text.size() - 2));
  }
  std::size_t Count(const std::string& line) const {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  bool Has(const std::string& line) const { return Count(line) > 0; }
  Lines Since(std::size_t from) const { return Lines(lines.begin() + from, lines.end()); }
};

std::size_t Occurrences(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The server's half of the link: serial port, relay and poll timer, with the radio on the far end.
class Station {
 public:
  explicit Station(k2sim::K2State radio = {}) : sim(radio) {
    sim.Start();
    ConfigureForK2(port, sim.SlavePath());
    port.SetErrorNoise(255);
    port.OnProcessError = [this](TSerialPort&, std::uint32_t place, std::uint32_t,
                                 const std::string&) { reports.push_back(place); };
    port.OnRxClusterEvent = [this](TSerialPort& p) {
      if (p.PeekChunkSize() < 0) return;
      sessionStarted = true;
      const std::string chunk = p.TakeChunkText();
      chunks.push_back(chunk);
      relay.ReplyBuffer() += chunk;
      relay.ParseK2Replies(client);
    };
    port.SetActive(true);
    port.SetDTRState(false);
    port.SetRTSState(false);
    timer.SetWndProc([this](unsigned msg, platform::WPARAM, platform::LPARAM) {
      if (msg == platform::WM_TIMER && sessionStarted && !commandInProgress) {
        ++ticks;
        relay.PollK2();
      }
      return platform::LRESULT{0};
    });
    timer.SetTimer(1, 500);
  }

  // Accept and login as the server does them.
  void Login(std::int32_t level) {
    relay.ResetSession();
    relay.SetAccessLevel(level);
    port.WriteText(K2StartupCommands());
  }

  void Command(const std::string& word, const std::string& argument) {
    commandInProgress = true;
    relay.TranslateCommand(word, argument, client);
    commandInProgress = false;
  }

  // Dispatches messages (chunks, timer ticks) until done() holds or ms have passed.
  bool WaitUntil(const std::function<bool()>& done, std::uint32_t ms = 20000) {
    return testsupport::WaitFor(done, ms);
  }
  bool WaitForLines(std::size_t count, std::uint32_t ms = 20000) {
    return WaitUntil([&] { return client.lines.size() >= count; }, ms);
  }
  bool WaitForLine(const std::string& line, std::uint32_t ms = 20000) {
    return WaitUntil([&] { return client.Has(line); }, ms);
  }
  bool WaitForTicks(int count) {
    const int until = ticks + count;
    return WaitUntil([&] { return ticks >= until; });
  }
  // Waits, dispatching messages, until the radio has received `command` (log entry `from` on).
  bool WaitForCommand(const std::string& command, std::size_t from = 0) {
    return WaitUntil([&] {
      const auto log = sim.CommandLog();
      return log.size() > from && std::find(log.begin() + static_cast<std::ptrdiff_t>(from),
                                            log.end(), command) != log.end();
    });
  }
  // Waits until the radio has received `command` and every reply to it has been parsed.
  bool Settle(const std::string& command, std::size_t from = 0) {
    if (!WaitForCommand(command, from)) return false;
    const std::size_t sent = sim.SentBytes().size();
    return WaitUntil([&] { return parsed() >= sent; });
  }
  // Bytes of radio output that the relay has taken in (parsed or waiting in its buffer).
  std::size_t parsed() const {
    std::size_t n = 0;
    for (const auto& c : chunks) n += c.size();
    return n;
  }
  // Every report but the one-time notes that a pseudo-terminal has no modem lines or counters.
  std::vector<std::uint32_t> Failures() const {
    std::vector<std::uint32_t> out;
    for (auto place : reports)
      if (place != 100 && place != 110 && place != 601 && place != 602 && place != 9905 &&
          place != 9907)
        out.push_back(place);
    return out;
  }

  k2sim::K2Simulator sim;  // first: the radio outlives the port that has its line open
  TSerialPort port;
  RadioPortFor<TSerialPort> radio{port};
  ClientRecorder client;
  TK2Relay relay{&radio};
  platform::MessageWindow timer;
  std::vector<std::string> chunks;
  std::vector<std::uint32_t> reports;
  bool sessionStarted = false;
  bool commandInProgress = false;
  int ticks = 0;
};

const std::vector<std::string> kStartupCommands = {"PS;", "K22;", "FW;", "PA;", "RA;",
                                                   "AN;", "NB;",  "GT;", "PC;", "AI3;"};

// A radio far from its defaults, so that every start-up line says what the radio holds.
k2sim::K2State BusyPanel() {
  k2sim::K2State s;
  s.preamp = true;
  s.attenuator = true;
  s.antenna = 2;
  s.nbLevel = 1;
  s.nbMarker = 0;
  s.agcSpeed = 4;
  s.filter[0] = 3;
  s.audioFilter = 2;
  s.highRangeInstalled = true;
  s.highRange = true;
  s.power = 100;
  return s;
}

const Lines kBusyPanelLines = {"FILTER 3 400", "AFIL 2",   "PREAMP ON", "ATT ON",   "ANT 2",
                               "NB 1*",        "AGC SLOW", "PA ON",     "PWR 100.0"};

}  // namespace

TEST(RelayK2, TheStartupStringIsAnsweredAndParsedIntoStatusLines) {
  Station st;
  ASSERT_TRUE(st.port.Active());
  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  ASSERT_TRUE(st.Settle("AI3;"));
  EXPECT_EQ(st.sim.CommandLog(), kStartupCommands);
  EXPECT_EQ(st.client.lines, (Lines{"FILTER 1 1500", "AFIL OFF", "PREAMP OFF", "ATT OFF", "ANT 1",
                                    "NB OFF", "AGC FAST", "PWR 5.0"}));
  EXPECT_EQ(st.sim.State().k2Mode, 2);
  EXPECT_EQ(st.sim.State().autoInfo, 3);
  EXPECT_EQ(st.relay.ReplyBuffer(), "");
  EXPECT_EQ(st.Failures(), std::vector<std::uint32_t>{});

  // Frequency and mode are not part of the start-up answer: the client asks for them.
  st.Command("FREQ", "?");
  st.Command("MODE", "?");
  ASSERT_TRUE(st.WaitForLine("MODE CW"));
  EXPECT_EQ(st.client.Since(8), (Lines{"FREQ 7025.000", "MODE CW"}));
}

TEST(RelayK2, RepliesSplitAcrossChunksGiveTheSameLines) {
  {
    Station whole(BusyPanel());
    whole.Login(2);
    ASSERT_TRUE(whole.WaitForLines(kBusyPanelLines.size()));
    ASSERT_TRUE(whole.Settle("AI3;"));
    EXPECT_EQ(whole.client.lines, kBusyPanelLines);
  }

  // The radio's answer leaves in pieces of five bytes, far enough apart for each to be read
  // alone: replies are cut in the middle, and the relay joins them.
  Station split(BusyPanel());
  split.sim.SetChunking(5, 400);
  split.Login(2);
  ASSERT_TRUE(split.WaitForLines(kBusyPanelLines.size(), 40000));
  ASSERT_TRUE(split.Settle("AI3;"));
  EXPECT_EQ(split.client.lines, kBusyPanelLines);
  EXPECT_GE(split.chunks.size(), 2u);
  EXPECT_TRUE(std::any_of(split.chunks.begin(), split.chunks.end(),
                          [](const std::string& c) { return c.back() != ';'; }));
  EXPECT_EQ(split.relay.ReplyBuffer(), "");

  // A report that the radio sends on its own, cut where the test decides: the first part waits
  // in the buffer until the rest has come.
  // Waits until the relay has taken in every byte injected so far.
  std::size_t injected = split.sim.SentBytes().size();
  auto inject = [&](const std::string& bytes) {
    injected += bytes.size();
    split.sim.Inject(bytes);
    return split.WaitUntil([&] { return split.parsed() >= injected; });
  };
  split.sim.SetChunking(0, 0);
  ASSERT_TRUE(split.WaitUntil([&] { return split.parsed() >= injected; }));
  const std::size_t lines = split.client.lines.size();
  ASSERT_TRUE(inject("FA000140"));
  EXPECT_EQ(split.relay.ReplyBuffer(), "FA000140");
  EXPECT_EQ(split.client.lines.size(), lines);
  ASSERT_TRUE(inject("60000;FB0000"));
  EXPECT_EQ(split.relay.ReplyBuffer(), "FB0000");
  ASSERT_TRUE(inject("3560000;"));
  EXPECT_EQ(split.client.Since(lines), (Lines{"FREQ 14060.000", "ALTVFO 3560.000"}));
  EXPECT_EQ(split.relay.ReplyBuffer(), "");
}

TEST(RelayK2, BothPollsAskForTheDisplayInformationAndMeterEveryTick) {
  Station st;
  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  ASSERT_TRUE(st.Settle("AI3;"));
  const std::size_t afterStartup = st.client.lines.size();
  const std::string startup = K2StartupCommands();

  st.Command("DISP", "ON");
  st.Command("SM", "ON");
  ASSERT_TRUE(st.WaitForLine("SM 2"));

  const std::string display = k2sim::K2Radio(st.sim.State()).DsReply();
  ASSERT_EQ(display.size(), 13u);
  EXPECT_EQ(st.client.Since(afterStartup), (Lines{"DISPLAY " + display.substr(2, 10), "SPLIT OFF",
                                                  "FREQ 7025.000", "MODE CW", "SM 2"}));

  // Unchanged values are not sent again, however often they are asked for.
  const std::size_t quiet = st.client.lines.size();
  const std::size_t polls = Occurrences(st.sim.ReceivedBytes(), "DS;IF;BG;");
  ASSERT_TRUE(
      st.WaitUntil([&] { return Occurrences(st.sim.ReceivedBytes(), "DS;IF;BG;") >= polls + 3; }));
  ASSERT_TRUE(st.Settle("BG;", st.sim.CommandCount() - 1));
  EXPECT_EQ(st.client.lines.size(), quiet);

  // The meter and the dial at the radio come back as they change.
  st.sim.SetSMeter(7);
  ASSERT_TRUE(st.WaitForLine("SM 7"));
  st.sim.TurnDial(5);
  ASSERT_TRUE(st.WaitForLine("FREQ 7025.050"));
  const std::string moved = k2sim::K2Radio(st.sim.State()).DsReply();
  ASSERT_TRUE(st.WaitForLine("DISPLAY " + moved.substr(2, 10)));
  const std::size_t polled = Occurrences(st.sim.ReceivedBytes(), "DS;IF;BG;");
  ASSERT_TRUE(
      st.WaitUntil([&] { return Occurrences(st.sim.ReceivedBytes(), "DS;IF;BG;") >= polled + 2; }));
  ASSERT_TRUE(st.Settle("BG;", st.sim.CommandCount() - 1));
  EXPECT_EQ(st.client.Count("FREQ 7025.050"), 1u);  // the report, the IF and the display agree

  // Every tick wrote both polls and nothing else.
  const std::string asked = st.sim.ReceivedBytes().substr(startup.size());
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.size() % 9, 0u) << asked;
  EXPECT_EQ(Occurrences(asked, "DS;IF;BG;"), asked.size() / 9) << asked;
  EXPECT_EQ(st.Failures(), std::vector<std::uint32_t>{});
}

TEST(RelayK2, MorseTextIsPacedIntoTheKeyerBufferAndTheReleaseStopsIt) {
  Station st;
  // Every text command the radio receives, with what the radio had sent back by then.
  struct Seen {
    std::string command;
    std::string sentBefore;
  };
  std::mutex seenMutex;
  std::vector<Seen> seen;
  st.sim.Stop();  // handlers are set before the simulator's thread runs
  st.sim.OnCommand = [&](k2sim::K2Simulator& sim, const std::string& command) {
    if (command.rfind("KY", 0) != 0) return;
    std::lock_guard lock(seenMutex);
    seen.push_back({command, sim.SentBytes()});
  };
  st.sim.Start();

  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  st.Command("KS", "10");  // slow enough that the second piece fills the buffer for a while
  ASSERT_TRUE(st.Settle("KS010;"));
  ASSERT_EQ(st.sim.State().keyerWpm, 10);

  const std::string text = "TOM TOM TOM TOM TOM TOM TOM TOM TOM";
  const std::string queue = " " + text;  // 36 characters: pieces of 24, 6 and 6
  st.Command("CW", "tom tom tom tom tom tom tom tom tom");
  ASSERT_EQ(st.relay.State().MorseQueue, queue);
  auto pieces = [&] {
    std::lock_guard lock(seenMutex);
    return std::count_if(seen.begin(), seen.end(),
                         [](const Seen& s) { return s.command != "KY;"; });
  };
  ASSERT_TRUE(st.WaitUntil([&] { return pieces() == 3; }, 60000));
  EXPECT_TRUE(st.relay.State().MorseQueue.empty());
  EXPECT_TRUE(st.sim.State().keying);

  std::vector<Seen> log;
  {
    std::lock_guard lock(seenMutex);
    log = seen;
  }
  // 24 characters, then questions, 6 only after a "KY0", then questions while the radio says its
  // buffer is full ("KY1"), and the last 6 only after the next "KY0".
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[0].command, "KY " + queue.substr(0, 24) + ";");
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < log.size(); ++i)
    if (log[i].command != "KY;") at.push_back(i);
  ASSERT_EQ(at.size(), 3u);
  EXPECT_EQ(at[0], 0u);
  EXPECT_GT(at[1], at[0] + 1) << "no question between the pieces";
  EXPECT_GT(at[2], at[1] + 1) << "no question between the pieces";
  EXPECT_EQ(log[at[1]].command, "KY " + queue.substr(24, 6) + ";");
  EXPECT_EQ(log[at[2]].command, "KY " + queue.substr(30, 6) + ";");
  for (std::size_t k = 1; k < 3; ++k) {
    const std::string answers = log[at[k]].sentBefore.substr(log[at[k - 1]].sentBefore.size());
    EXPECT_NE(answers.find("KY0;"), std::string::npos) << "piece " << k << " before KY0";
  }
  const std::string whileFull = log[at[2]].sentBefore.substr(log[at[1]].sentBefore.size());
  EXPECT_NE(whileFull.find("KY1;"), std::string::npos);
  EXPECT_LT(whileFull.find("KY1;"), whileFull.rfind("KY0;"));

  // The keyer sends what it was given, in order, at its own pace.
  const std::string keyed = st.sim.KeyedText();
  EXPECT_FALSE(keyed.empty());
  EXPECT_EQ(queue.substr(0, keyed.size()), keyed);

  // Session end in a Morse mode: "KY @;" empties the keyer and takes the radio off the air,
  // "RX;" after it ends a transmission that "TX" began.
  ASSERT_TRUE(st.WaitForLine("TX"));  // the radio's own report of keying
  st.Command("MODE", "?");
  ASSERT_TRUE(st.WaitUntil([&] { return st.relay.State().Mode == 3; }));
  const std::size_t before = st.sim.CommandCount();
  st.relay.ReleaseK2();
  st.relay.ClearSessionDuties();
  ASSERT_TRUE(st.WaitForCommand("KY @;", before));
  ASSERT_TRUE(st.WaitForCommand("RX;", before));
  ASSERT_TRUE(st.WaitUntil([&] { return !st.sim.State().Transmitting(); }));
  EXPECT_TRUE(st.sim.State().keyerBuffer.empty());
  EXPECT_LT(st.sim.KeyedText().size(), queue.size());
  ASSERT_TRUE(st.WaitForLine("RX"));  // the radio's own report of leaving transmit
  EXPECT_EQ(st.Failures(), std::vector<std::uint32_t>{});
}

TEST(RelayK2, CwStarClearsTheQueueAndTheKeyer) {
  Station st;
  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  st.Command("KS", "10");
  st.Command("CW", std::string(40, 'T') + " " + std::string(40, 'M'));
  ASSERT_TRUE(st.WaitForCommand("KY  " + std::string(23, 'T') + ";"));
  ASSERT_TRUE(st.WaitUntil([&] { return st.sim.State().keying; }));
  ASSERT_FALSE(st.relay.State().MorseQueue.empty());

  st.Command("CW", "*");
  EXPECT_EQ(st.relay.State().MorseQueue, "");
  ASSERT_TRUE(st.WaitForCommand("KY @;"));
  ASSERT_TRUE(st.WaitUntil([&] { return !st.sim.State().keying; }));
  EXPECT_TRUE(st.sim.State().keyerBuffer.empty());

  // With the queue empty the ticks neither send text nor ask about the keyer.
  ASSERT_TRUE(st.WaitForTicks(4));
  const auto log = st.sim.CommandLog();
  const auto star = std::find(log.begin(), log.end(), "KY @;");
  ASSERT_NE(star, log.end());
  EXPECT_EQ(
      std::find_if(star + 1, log.end(), [](const std::string& c) { return c.rfind("KY", 0) == 0; }),
      log.end());
  EXPECT_LT(st.sim.KeyedText().size(), 24u);
}

TEST(RelayK2, TheReleaseInAVoiceModeTakesTheRadioOutOfTransmit) {
  Station st;
  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  st.Command("MODE", "usb");
  ASSERT_TRUE(st.Settle("MD2;"));
  st.Command("MODE", "?");
  ASSERT_TRUE(st.WaitForLine("MODE USB"));
  st.Command("TX", "");
  ASSERT_TRUE(st.WaitForCommand("TX;"));
  ASSERT_TRUE(st.WaitUntil([&] { return st.sim.State().Transmitting(); }));

  // The session ends and the program with it: the port closes right after the release.
  const std::size_t before = st.sim.CommandCount();
  st.relay.ReleaseK2();
  st.relay.ClearSessionDuties();
  st.port.SetActive(false);
  ASSERT_TRUE(st.WaitForCommand("RX;", before));
  ASSERT_TRUE(st.WaitUntil([&] { return !st.sim.State().Transmitting(); }));
  EXPECT_EQ(st.sim.CommandLog().back(), "RX;");
}

TEST(RelayK2, TheReleaseWaitsBehindAWriteTheRadioHasNotTakenYet) {
  Station st;
  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  st.Command("MODE", "lsb");
  st.Command("MODE", "?");
  ASSERT_TRUE(st.WaitForLine("MODE LSB"));
  st.Command("TX", "");
  ASSERT_TRUE(st.WaitUntil([&] { return st.sim.State().Transmitting(); }));

  // The radio stops taking bytes while a long write is on its way: the write stays pending.
  st.sim.Stop();
  std::string cat;
  while (cat.size() < 20000) cat += "KS020;";
  st.port.WriteText(cat);
  ASSERT_TRUE(st.port.SendInProgress());
  st.relay.ReleaseK2();
  st.relay.ClearSessionDuties();

  // The radio takes bytes again: the release follows the write instead of being lost.
  const std::size_t before = st.sim.CommandCount();
  st.sim.Start();
  ASSERT_TRUE(st.WaitForCommand("RX;", before));
  ASSERT_TRUE(st.WaitUntil([&] { return !st.sim.State().Transmitting(); }));
  EXPECT_EQ(st.sim.CommandLog().back(), "RX;");
  EXPECT_EQ(st.Failures(), std::vector<std::uint32_t>{});
}

TEST(RelayK2, AFrequencyReachesTheRadioAndComesBack) {
  Station st;
  st.Login(1);
  ASSERT_TRUE(st.WaitForLines(8));
  const std::size_t lines = st.client.lines.size();

  st.Command("FREQ", "14060");
  ASSERT_TRUE(st.Settle("FA00014060000;"));
  EXPECT_EQ(st.sim.State().vfoA, 14060000);
  EXPECT_EQ(st.client.lines.size(), lines);  // the radio does not report a change it was told
  st.Command("FREQ", "?");
  ASSERT_TRUE(st.WaitForLine("FREQ 14060.000"));
  EXPECT_EQ(st.client.Since(lines), Lines{"FREQ 14060.000"});

  // A radio that reports every change answers the command itself.
  st.sim.SetReportCommandChanges(true);
  st.Command("FREQ", "7.0305");
  ASSERT_TRUE(st.WaitForCommand("FA00007030500;"));
  ASSERT_TRUE(st.WaitForLine("FREQ 7030.500"));
  EXPECT_EQ(st.sim.State().vfoA, 7030500);

  // An offset from the frequency last seen.
  st.Command("FREQ", "-0.5");
  ASSERT_TRUE(st.WaitForLine("FREQ 7030.000"));
  EXPECT_EQ(st.sim.State().vfoA, 7030000);
  EXPECT_EQ(st.Failures(), std::vector<std::uint32_t>{});
}
