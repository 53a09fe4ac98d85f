#include <gtest/gtest.h>

#include <locale>
#include <ostream>
#include <vector>

#include "relay/K2Relay.h"
#include "relay/K2Text.h"
#include "tests/relay/RelayFakes.h"

namespace {

struct CommandRow {
  const char* word;
  const char* argument;
  const char* radio;   // the one text written to the K2, "" for none
  const char* client;  // the one text sent to the client, "" for none
  int access = 2;
  int vfo = 0;
  long double freqA = 0;
  long double freqB = 0;
  int highRange = 0;
  int noiseBlanker = -1;

  CommandRow Access(int v) const {
    auto r = *this;
    r.access = v;
    return r;
  }
  CommandRow Vfo(int v) const {
    auto r = *this;
    r.vfo = v;
    return r;
  }
  CommandRow FreqA(long double v) const {
    auto r = *this;
    r.freqA = v;
    return r;
  }
  CommandRow FreqB(long double v) const {
    auto r = *this;
    r.freqB = v;
    return r;
  }
  CommandRow HighRange(int v) const {
    auto r = *this;
    r.highRange = v;
    return r;
  }
  CommandRow NoiseBlanker(int v) const {
    auto r = *this;
    r.noiseBlanker = v;
    return r;
  }
};

CommandRow R(const char* word, const char* argument, const char* radio, const char* client) {
  return CommandRow{word, argument, radio, client};
}

std::ostream& operator<<(std::ostream& out, const CommandRow& row) {
  return out << row.word << " [" << row.argument << "] vfo " << row.vfo << " access " << row.access;
}

const char kDeniedRxOnly[] = "# You have RX only access.||Action disallowed.\r\n";

const std::vector<CommandRow> kRows = {
    // mode
    R("MO", "?", "MD;", ""),
    R("MODE", "usb", "MD2;", ""),
    R("MODE", "LSB", "MD1;", ""),
    R("MODE", "cw-r", "MD7;", ""),
    R("MODE", "RTTY", "MD6;", ""),
    R("MODE", "RTTY-R", "MD9;", ""),
    R("M", "CW", "MD3;", ""),
    R("MOXY", "CW", "MD3;", ""),
    R("MODE", "", "", "# Invalid mode\r\n"),
    R("MODE", "AM", "", "# Invalid mode\r\n"),
    // frequency
    R("FREQ", "14.2", "FA00014200000;", ""),
    R("FREQ", "14200", "FA00014200000;", ""),
    R("FREQ", "1500", "FA00001500000;", ""),
    R("FREQ", "1499.9", "FA01499900000;", ""),
    R("FREQ", "7.025", "FA00007025000;", ""),
    R("FREQ", "1e4", "FA00010000000;", ""),
    R("FREQ", "99999999.999", "FA99999999999;", ""),
    R("FR", "14.2", "FB00014200000;", "").Vfo(1),
    R("FREQ", "?", "FA;", ""),
    R("FREQ", "0.0", "FA;", ""),
    R("FREQ", "abc", "FA;", ""),
    R("FREQ", "14,2", "FA;", ""),
    R("FREQ", "7", "FA;", ""),
    R("FREQ", "?", "FB;", "").Vfo(1),
    R("FREQ", "+0.5", "FA00007025500;", "").FreqA(7025),
    R("FREQ", "-1", "FB00003559000;", "").Vfo(1).FreqB(3560),
    R("FREQ", "+0.5", "FA;", ""),                                  // VFO A not yet seen
    R("FREQ", "+0.5", "FB;", "").Vfo(-1).FreqA(7025).FreqB(7025),  // VFO unknown
    R("FREQ", "14200", "FB;", "").Vfo(-1),
    R("FREQ", "-8000", "", "").FreqA(7025),  // below 0 Hz
    R("FREQ", "100000000", "", ""),          // twelve digits of hertz
    R("FREQ", "1e300", "", ""),
    // receive, transmit
    R("RX", "", "RX;", "").Access(0),
    R("RX", "?", "RX;", "").Access(0),
    R("TX", "", "TX;", "").Access(1),
    R("TX", "", "", kDeniedRxOnly).Access(0),
    R("TX", "", "", "# You have Unknown access.||Action disallowed.\r\n").Access(-3),
    // filters
    R("FI", "?", "FW;", ""),
    R("FILTER", "2", "FW00002;", ""),
    R("FILTER", "9", "FW00009;", ""),
    R("FILTER", "0", "", ""),
    R("FILTER", "10", "", ""),
    R("FILTER", "x", "", ""),
    R("AF", "", "SW37;", ""),
    R("AFIL", "?", "SW37;", ""),
    // attenuator, antenna, preamp
    R("ATT", "?", "RA;", ""),
    R("ATT", "ON", "RA01;", ""),
    R("ATT", "off", "RA00;", ""),
    R("ATT", "n", "RA01;", ""),
    R("ATT", "FON", "RA00;", ""),
    R("ATT", "X", "", ""),
    R("ATT", "", "", ""),
    R("ANT", "?", "AN;", ""),
    R("ANT", "1", "AN1;", ""),
    R("ANT", "2", "AN2;", ""),
    R("ANT", "3", "", ""),
    R("PRE", "?", "PA;", ""),
    R("PREAMP", "ON", "PA1;", ""),
    R("PREAMP", "OFF", "PA0;", ""),
    R("PREAMP", "", "", ""),
    // noise blanker
    R("NB", "?", "NB;", ""),
    R("NB", "OFF", "", ""),
    R("NB", "OFF", "NB0;NB0;", "").NoiseBlanker(10),
    R("NB", "OFF", "NB0;", "").NoiseBlanker(21),
    R("NB", "ON", "NB0;NB0;", "").NoiseBlanker(20),
    R("NB", "ON", "NB0;", "").NoiseBlanker(10),
    R("NB", "th", "SW22;", ""),
    R("NB", "THRESHOLD", "SW22;", ""),
    R("NB", "X", "NB0;", ""),
    R("NB", "", "NB0;", ""),
    // AGC
    R("AGC", "?", "GT;", ""),
    R("AGC", "OFF", "GT0000;GT;", ""),
    R("AGC", "on", "GT0001;GT;", ""),
    R("AGC", "FAST", "GT0021;", ""),
    R("AGC", "slow", "GT0041;", ""),
    R("AGC", "MEDIUM", "GT;", ""),
    R("AGC", "", "GT;", ""),
    // VFO and split
    R("VFO", "?", "FR;", ""),
    R("VFO", "A", "FR0;", ""),
    R("VFO", "b", "FR1;", ""),
    R("VFO", "LOCK", "LK1;", ""),
    R("VFO", "unlock", "LK0;", ""),
    R("VFO", "X", "", ""),
    R("VFO", "", "", ""),
    R("SPLIT", "?", "FT;", ""),
    R("SPLIT", "ON", "FT1;", ""),
    R("SPLIT", "OFF", "FT0;", ""),
    R("SPLIT", "ON", "FT0;", "").Vfo(1),
    R("SPLIT", "OFF", "FT1;", "").Vfo(1),
    R("SPLIT", "ON", "FT;", "").Vfo(-1),
    R("SPLIT", "X", "", ""),
    // S-meter and display polls
    R("SM", "?", "BG;", ""),
    R("SM", "ON", "", ""),
    R("DISP", "?", "DS;", ""),
    R("DISP", "ON", "", ""),
    // keyer speed
    R("KS", "?", "KS;", ""),
    R("KS", "8", "", ""),
    R("KS", "51", "", ""),
    R("KS", "9", "KS009;", ""),
    R("KS", "25", "KS025;", ""),
    R("KSPEED", "50", "KS050;", ""),
    // RIT, XIT
    R("RIT", "?", "RT;", ""),
    R("RIT", "+", "RU;", ""),
    R("RIT", "-", "RD;", ""),
    R("RIT", "CLEAR", "RC;", ""),
    R("RIT", "ON", "RT1;", ""),
    R("RIT", "OFF", "RT0;", ""),
    R("RIT", "+5", "", ""),
    R("XIT", "?", "XT;", ""),
    R("XIT", "ON", "XT1;", ""),
    R("XIT", "OFF", "XT0;", ""),
    R("XIT", "", "", ""),
    // power
    R("PW", "?", "PC;", ""),
    R("PW", "5", "PC050;", ""),
    R("PW", "15", "PC150;", ""),
    R("PW", "16", "", ""),
    R("PW", "16", "PC016;", "").HighRange(1),
    R("PW", "150", "PC150;", "").HighRange(1),
    R("PW", "151", "", "").HighRange(1),
    R("PW", "high", "PC010;", ""),
    R("PW", "high", "PC010;", "").HighRange(1),
    R("PW", "-1", "", ""),
    R("PW", "2.5", "PC002;", "").HighRange(1),  // ties go to the even neighbour
    R("PW", "3.5", "PC004;", "").HighRange(1),
    R("PW", "0.25", "PC002;", ""),
    R("PW", "1e30", "", ""),
    // squelch
    R("SQ", "?", "SQ;", ""),
    R("SQ", "2", "SQ050;", ""),
    R("SQ", "4", "SQ100;", ""),
    R("SQ", "10", "SQ250;", ""),
    R("SQ", "11", "", ""),
    R("SQ", "x", "SQ000;", ""),
    R("SQ", "-1", "", ""),
    R("SQ", "171798692", "", ""),  // times 25 wraps to 4 in 32 bits
    // Morse
    R("CW", "*", "KY @;", ""),
    R("CW", "cq", "", "").Access(1),
    R("CW", "cq", "", kDeniedRxOnly).Access(0),
    R("CW", "*", "", kDeniedRxOnly).Access(0),
    // words that are no radio word
    R("XYZ", "1", "", "# Invalid command \"XYZ\"\r\n"),
    R("xyz", "", "", "# Invalid command \"xyz\"\r\n"),
    R("G", "", "", "# Invalid command \"G\"\r\n"),
    // one letter: its first place in the keyword string decides
    R("F", "7.025", "FA00007025000;", ""),
    R("r", "", "RX;", ""),
    R("C", "*", "KY @;", ""),
    R("X", "", "", "# Invalid command \"X\"\r\n"),
    R("I", "", "", "# Invalid command \"I\"\r\n"),
    R("OFF", "", "", "# Invalid command \"OFF\"\r\n"),
    R("XT", "ON", "", "# Invalid command \"XT\"\r\n"),
    R("FA", "", "", "# Invalid command \"FA\"\r\n"),
    R("ip", "", "", "# Invalid command \"ip\"\r\n"),
    R("", "", "", "# Invalid command \"\"\r\n"),
};

class CommandRows : public testing::TestWithParam<CommandRow> {};

TEST_P(CommandRows, SendsTheRadioTextOrTheMessage) {
  const CommandRow& row = GetParam();
  FakeRadio radio;
  FakeClient client;
  TK2Relay relay(&radio);
  relay.SetAccessLevel(row.access);
  relay.State().CurrentVfo = row.vfo;
  relay.State().FreqA = row.freqA;
  relay.State().FreqB = row.freqB;
  relay.State().HighPowerRange = row.highRange;
  relay.State().NoiseBlanker = row.noiseBlanker;

  relay.TranslateCommand(row.word, row.argument, client);

  EXPECT_EQ(radio.Take(), row.radio);
  const std::string sent = client.sent.empty() ? "" : client.sent.front();
  EXPECT_LE(client.sent.size(), 1u);
  EXPECT_EQ(sent, row.client);
}

INSTANTIATE_TEST_SUITE_P(Relay, CommandRows, testing::ValuesIn(kRows));

class Commands : public testing::Test {
 protected:
  void Run(const char* word, const char* argument) {
    relay.TranslateCommand(word, argument, client);
  }
  FakeRadio radio;
  FakeClient client;
  TK2Relay relay{&radio};
  TRelayState& state = relay.State();
};

TEST_F(Commands, ResetsTheLastReportedValuesTheyConcern) {
  for (const char* argument : {"?", "CW", "AM"}) {
    state.Mode = 3;
    Run("MODE", argument);
    EXPECT_EQ(state.Mode, -1) << argument;
  }
  for (const char* argument : {"?", "14.2", "x"}) {
    state.LastFreq = 7025;
    Run("FREQ", argument);
    EXPECT_EQ(state.LastFreq, 0) << argument;
  }
  for (const char* argument : {"?", "2", "0"}) {
    state.Filter = "04002";
    Run("FI", argument);
    EXPECT_EQ(state.Filter, "") << argument;
  }
  for (const char* argument : {"?", "FAST", "x"}) {
    state.Agc = 21;
    Run("AGC", argument);
    EXPECT_EQ(state.Agc, -1) << argument;
  }

  // Only when a text goes to the radio.
  state.Attenuator = state.Antenna = state.Preamp = state.NoiseBlanker = 1;
  Run("ATT", "x");
  Run("ANT", "3");
  Run("PRE", "");
  Run("NB", "OFF");  // level 0: nothing to switch
  EXPECT_EQ(state.Attenuator, 1);
  EXPECT_EQ(state.Antenna, 1);
  EXPECT_EQ(state.Preamp, 1);
  EXPECT_EQ(state.NoiseBlanker, 1);
  Run("ATT", "ON");
  Run("ANT", "1");
  Run("PRE", "?");
  Run("NB", "TH");
  EXPECT_EQ(state.Attenuator, -1);
  EXPECT_EQ(state.Antenna, -1);
  EXPECT_EQ(state.Preamp, -1);
  EXPECT_EQ(state.NoiseBlanker, -1);

  state.SMeter = 4;
  state.Power = 50;
  state.Display = "0123456789";
  state.RitOffset = 120;
  Run("SM", "?");
  Run("PW", "?");
  Run("DI", "?");
  Run("RIT", "?");
  EXPECT_EQ(state.SMeter, -1);
  EXPECT_EQ(state.Power, -1);
  EXPECT_EQ(state.Display, "");
  EXPECT_EQ(state.RitOffset, -32000);
  Run("RIT", "ON");
  EXPECT_EQ(state.RitOffset, -999999);

  Run("VFO", "B");
  EXPECT_EQ(state.CurrentVfo, 0);  // the radio's report moves it, not the command
  Run("VFO", "?");
  EXPECT_EQ(state.CurrentVfo, -1);
}

TEST_F(Commands, SplitBecomesUnknownSoTheNextReportIsSent) {
  for (int before : {-1, 0, 1}) {
    for (const char* argument : {"?", "ON", "OFF"}) {
      state.Split = before;
      Run("SPLIT", argument);
      EXPECT_EQ(state.Split, -1) << before << " " << argument;
    }
  }
  state.Split = 1;
  Run("SPLIT", "nothing");
  EXPECT_EQ(state.Split, 1);

  // From unknown, the radio's "off" is reported after a query.
  std::string buffer = "FT0;";
  Run("SPLIT", "?");
  relay.ParseK2Replies(buffer, client);
  EXPECT_EQ(client.Lines(), Lines{"SPLIT OFF"});
}

TEST_F(Commands, PollSwitchesTakeOnlyOnAndOff) {
  Run("SM", "ON");
  Run("DISP", "on");
  EXPECT_TRUE(state.SMeterPolling);
  EXPECT_TRUE(state.DisplayPolling);
  Run("SM", "bogus");
  EXPECT_TRUE(state.SMeterPolling);
  Run("SM", "N");  // "ON" is the only place that switches a poll on
  Run("DI", "O");
  EXPECT_FALSE(state.SMeterPolling);
  EXPECT_FALSE(state.DisplayPolling);
  EXPECT_TRUE(radio.writes.empty());
}

TEST_F(Commands, MorseTextIsQueuedForTheKeyer) {
  relay.SetAccessLevel(1);
  Run("CW", "cq kn");
  EXPECT_EQ(state.MorseQueue, " CQ(");
  Run("CW", "?");
  EXPECT_EQ(state.MorseQueue, " CQ( ?");
  Run("CW", "de x;RX;TX;");  // a ";" would end the KY command and inject the rest
  EXPECT_EQ(state.MorseQueue, " CQ( ? DE XRXTX");
  EXPECT_TRUE(radio.writes.empty());
  Run("CW", "*");
  EXPECT_EQ(state.MorseQueue, "");
  EXPECT_EQ(radio.Take(), "KY @;");
  // The text waiting is bounded; a line that would pass the bound is refused whole.
  for (int i = 0; i < 40; ++i) Run("CW", std::string(99, 'E').c_str());  // 100 with its space
  Run("CW", std::string(96, 'T').c_str());
  EXPECT_EQ(client.Lines(), Lines{"# More than 4096 characters of Morse text would wait for the "
                                  "keyer; this text was not sent."});
  Run("CW", std::string(95, 'T').c_str());
  EXPECT_EQ(state.MorseQueue.size(), TK2Relay::kMaxMorseQueueBytes);
  EXPECT_TRUE(client.Lines().empty());
}

// Formatting and parsing must not follow the C++ global locale's separator.
struct CommaPoint : std::numpunct<char> {
  char do_decimal_point() const override { return ','; }
};

TEST_F(Commands, NumbersUseThePointWhateverTheLocale) {
  const std::locale previous =
      std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  Run("FREQ", "7.025");
  Run("PW", "2.5");
  std::string buffer = "FA00007025500;PC0500;";
  relay.ParseK2Replies(buffer, client);
  std::locale::global(previous);
  EXPECT_EQ(radio.writes, (std::vector<std::string>{"FA00007025000;", "PC025;"}));
  EXPECT_EQ(client.Lines(), (Lines{"FREQ 7025.500", "PWR 5.0"}));
}

TEST(K2Text, FixedTextsAndTables) {
  EXPECT_EQ(K2StartupCommands(), "PS;K22;FW;PA;RA;AN;NB;GT;PC;AI3;");
  EXPECT_EQ(AccessDeniedText(1), "# You have TX/RX access.||Action disallowed.\r\n");
  EXPECT_EQ(AccessDeniedText(2), "# You have Full access.||Action disallowed.\r\n");
  EXPECT_EQ(AccessDeniedText(3), "# You have Unknown access.||Action disallowed.\r\n");
  const int classes[] = {0, 1, 1, 2, 0, 0, 3, 2, 0, 3, 0};
  for (int mode = 0; mode <= 10; ++mode) EXPECT_EQ(ModeClass(mode), classes[mode]) << mode;
  EXPECT_EQ(ModeClass(-1), 0);
  EXPECT_EQ(DigitsToKHz("00007025000"), 7025.0L);
  EXPECT_EQ(DigitsToKHz("99999999999"), 99999999.999L);
  EXPECT_EQ(DigitsToKHz("0000000001:"), 0.02L);  // ':' counts 10, unchecked
}

}  // namespace
