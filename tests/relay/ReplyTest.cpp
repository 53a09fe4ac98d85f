#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "relay/K2Relay.h"
#include "tests/relay/RelayFakes.h"

namespace {

// An IF reply with its fields at the K2's positions.
std::string If(const char* hertz, const char* offset, int rit, int xit, int transmit, int mode,
               int vfo, int split) {
  return std::string("IF") + hertz + "     " + offset + std::to_string(rit) + std::to_string(xit) +
         " 00" + std::to_string(transmit) + std::to_string(mode) + std::to_string(vfo) + "0" +
         std::to_string(split) + "01 ;";
}

struct ReplyRow {
  std::string input;
  Lines lines;
  std::string left;  // the buffer after the call
  std::function<void(TRelayState&)> setup = nullptr;
};

std::ostream& operator<<(std::ostream& out, const ReplyRow& row) {
  return out << row.input;
}

void VfoB(TRelayState& s) {
  s.CurrentVfo = 1;
}

const std::vector<ReplyRow> kRows = {
    // cutting the buffer
    {"FA00007025000;FA0000702", {"FREQ 7025.000"}, "FA0000702"},
    {"FA00007025000;FA00007025000;", {"FREQ 7025.000"}, ""},
    {"M", {}, "M"},
    {";", {}, ";"},
    {";;MD3;", {}, ";MD3;"},
    {"X;MD3;", {"MODE CW"}, ""},
    {"PS1;K22;", {}, ""},
    {"md2;", {"MODE USB"}, ""},
    // replies that are not interpreted
    {"XY1;", {"## XY1;"}, ""},
    {"TX;", {"## TX;"}, ""},
    {"DI5;", {"## DI5;"}, ""},
    {"AR;", {"## AR;"}, ""},
    // mode
    {"MD3;MD3;", {"MODE CW"}, ""},
    {"MD0;", {"MODE "}, ""},
    {"MD9;", {"MODE RTTY-R"}, ""},
    {"MD;", {"## MD;"}, ""},
    // VFO and split
    {"FR1;", {"VFO B", "SPLIT OFF"}, ""},
    {"FR0;", {}, ""},
    {"FR2;", {"## FR2;"}, ""},
    {"FR;", {"## FR;"}, ""},
    {"FT1;", {"SPLIT ON"}, ""},
    {"FT0;FT0;", {"SPLIT OFF"}, ""},
    {"FT0;", {"SPLIT ON"}, "", VfoB},
    {"FT0;", {"## FT0;"}, "", [](TRelayState& s) { s.CurrentVfo = -1; }},
    {"FT7;", {"## FT7;"}, ""},
    // frequencies
    {"FA00007025000;", {"ALTVFO 7025.000"}, "", VfoB},
    {"FB00014060000;", {"FREQ 14060.000"}, "", VfoB},
    {"FB00014060000;", {"ALTVFO 14060.000"}, ""},
    {"FA00007025000;",
     {"FREQ 7025.000"},
     "",
     [](TRelayState& s) { s.FreqA = 7025; }},  // stored, but never reported
    {"FA00007025000;", {}, "", [](TRelayState& s) { s.FreqA = s.LastFreq = 7025; }},
    {"FA0000702500;", {"## FA0000702500;"}, ""},
    // preamp, attenuator, antenna
    {"PA1;PA1;", {"PREAMP ON"}, ""},
    {"PA2;", {"## PA2;"}, ""},
    {"RA01;", {"ATT ON"}, ""},
    {"RA00;", {"ATT OFF"}, ""},
    {"RA0;", {"## RA0;"}, ""},
    {"RA02;", {"## RA02;"}, ""},
    {"AN2;AN2;", {"ANT 2"}, ""},
    // noise blanker
    {"NB10;NB1;NB11;", {"NB 1*", "NB 1"}, ""},
    {"NB2;", {"NB 2"}, ""},
    {"NB0;", {"NB OFF"}, ""},
    {"NB00;", {"NB OFF*"}, ""},
    {"NB3;", {"## NB3;"}, ""},
    {"NB12;", {"## NB12;"}, ""},
    // S-meter
    {"BG15;", {"SM 3"}, ""},
    {"BG05;BG05;", {"SM 5"}, ""},
    {"BG12;", {"SM 0"}, ""},
    {"BG5;", {"## BG5;"}, ""},
    // AGC
    {"GT0021;", {"AGC FAST"}, ""},
    {"GT0041;", {"AGC SLOW"}, ""},
    {"GT0040;", {"AGC OFF"}, ""},
    {"GT004;", {"AGC SLOW"}, ""},
    {"GT0021;GT002;", {"AGC FAST"}, ""},
    {"GT00;", {"## GT00;"}, ""},
    // filters
    {"FW040023;", {"FILTER 2 400", "AFIL 3"}, ""},
    {"FW040020;", {"FILTER 2 400", "AFIL OFF"}, ""},
    {"FW040023;FW120013;", {"FILTER 2 400", "AFIL 3", "FILTER 1 1200"}, ""},
    {"FW040023;FW040020;", {"FILTER 2 400", "AFIL 3", "AFIL OFF"}, ""},
    {"FW04002;", {"## FW04002;"}, ""},
    // always reported
    {"KS020;KS020;", {"KS 20", "KS 20"}, ""},
    {"KS02;", {"## KS02;"}, ""},
    {"RT1;RT1;", {"RIT ON", "RIT ON"}, ""},
    {"XT0;", {"XIT OFF"}, ""},
    {"RT2;", {"## RT2;"}, ""},
    {"LK1;", {"VFO LOCKED"}, ""},
    {"LK0;", {"VFO UNLOCKED"}, ""},
    {"LK3;", {"## LK3;"}, ""},
    {"SQ000;", {"SQUELCH OFF"}, ""},
    {"SQ100;SQ100;", {"SQUELCH 4", "SQUELCH 4"}, ""},
    {"SQ10;", {"## SQ10;"}, ""},
    // power
    {"PC0500;", {"PWR 5.0"}, ""},
    {"PC0500;PC0501;PC0601;PC0601;PC0051;",
     {"PWR 5.0", "PA ON", "PWR 50.0", "PWR 60", "PWR 5"},
     ""},
    {"PC0500;", {"PA OFF", "PWR 5.0"}, "", [](TRelayState& s) { s.HighPowerRange = 1; }},
    {"PC050;", {"## PC050;"}, ""},
    {"PC0502;", {"## PC0502;"}, ""},
    // display
    {"DS123456789;", {}, ""},
    {"DS12345678901;", {}, ""},
    {"DS1234567890;DS1234567890;", {"DISPLAY 1234567890"}, ""},
    // keyer
    {"KY0;", {}, ""},
    {"KY;", {"## KY;"}, ""},
    // IF
    {If("00007025000", "+0000", 0, 0, 0, 3, 0, 0) + If("00007025000", "+0000", 0, 0, 0, 3, 0, 0),
     {"SPLIT OFF", "FREQ 7025.000", "MODE CW"},
     ""},
    {If("00014060000", "+0120", 1, 0, 0, 2, 1, 0),
     {"RIT ON", "VFO B", "SPLIT OFF", "FREQ 14060.000", "RIT +120", "MODE USB"},
     ""},
    {If("00014060000", "-0050", 0, 1, 0, 2, 0, 0),
     {"XIT ON", "SPLIT OFF", "FREQ 14060.000", "RIT -50", "MODE USB"},
     ""},
    {If("00014060000", "+0000", 1, 0, 0, 2, 0, 0),
     {"RIT ON", "SPLIT OFF", "FREQ 14060.000", "RIT +0", "MODE USB"},
     ""},
    // transmitting split: the K2 names the transmit VFO; the client is shown the other one
    {If("00014061000", "+0000", 0, 0, 1, 3, 0, 1),
     {"TX", "VFO B", "FREQ 14061.000", "MODE CW"},
     "",
     [](TRelayState& s) {
       s.CurrentVfo = 1;
       s.Split = 1;
       s.FreqA = s.LastFreq = 14060;
     }},
    {If("00007025000", "+0000", 2, 0, 0, 3, 0, 0),
     {"## " + If("00007025000", "+0000", 2, 0, 0, 3, 0, 0)},
     ""},
    {"IF00007025000     +00000 00030;", {"## IF00007025000     +00000 00030;"}, ""},
};

class ReplyRows : public testing::TestWithParam<ReplyRow> {};

TEST_P(ReplyRows, SendsTheStatusLines) {
  const ReplyRow& row = GetParam();
  FakeClient client;
  TK2Relay relay;
  if (row.setup) row.setup(relay.State());
  std::string buffer = row.input;
  relay.ParseK2Replies(buffer, client);
  EXPECT_EQ(client.Lines(), row.lines);
  EXPECT_EQ(buffer, row.left);
}

INSTANTIATE_TEST_SUITE_P(Relay, ReplyRows, testing::ValuesIn(kRows));

class Replies : public testing::Test {
 protected:
  Lines Parse(const std::string& text) {
    relay.ReplyBuffer() += text;
    relay.ParseK2Replies(client);
    return client.Lines();
  }
  FakeRadio radio;
  FakeClient client;
  TK2Relay relay{&radio};
};

TEST_F(Replies, EachEmptyReplyCostsOneCall) {
  EXPECT_EQ(Parse(";;MD3;"), Lines{});
  EXPECT_EQ(relay.ReplyBuffer(), ";MD3;");
  EXPECT_EQ(Parse(""), Lines{});
  EXPECT_EQ(relay.ReplyBuffer(), "MD3;");
  EXPECT_EQ(Parse(""), Lines{"MODE CW"});
  EXPECT_EQ(relay.ReplyBuffer(), "");
}

TEST_F(Replies, AReplySplitAcrossChunksWaitsForItsEnd) {
  EXPECT_EQ(Parse("FA000070"), Lines{});
  EXPECT_EQ(Parse("25000"), Lines{});
  EXPECT_EQ(Parse(";BG1"), Lines{"FREQ 7025.000"});
  EXPECT_EQ(Parse("5;DS"), Lines{"SM 3"});
  EXPECT_EQ(relay.ReplyBuffer(), "DS");
}

TEST_F(Replies, ClientQueriesForceTheNextReport) {
  EXPECT_EQ(Parse("FA00007025000;MD3;BG05;DS1234567890;"),
            (Lines{"FREQ 7025.000", "MODE CW", "SM 5", "DISPLAY 1234567890"}));
  EXPECT_EQ(Parse("FA00007025000;MD3;BG05;DS1234567890;"), Lines{});
  for (const char* word : {"FREQ", "MODE", "SM", "DISP"}) relay.TranslateCommand(word, "?", client);
  EXPECT_EQ(radio.writes, (std::vector<std::string>{"FA;", "MD;", "BG;", "DS;"}));
  EXPECT_EQ(Parse("FA00007025000;MD3;BG05;DS1234567890;"),
            (Lines{"FREQ 7025.000", "MODE CW", "SM 5", "DISPLAY 1234567890"}));
}

TEST_F(Replies, RitOffsetIsReportedAfterTheClientAsks) {
  const std::string report = If("00007025000", "+0120", 1, 0, 0, 3, 0, 0);
  EXPECT_EQ(Parse(report), (Lines{"RIT ON", "SPLIT OFF", "FREQ 7025.000", "RIT +120", "MODE CW"}));
  EXPECT_EQ(Parse(report), Lines{});
  relay.TranslateCommand("RIT", "?", client);
  EXPECT_EQ(Parse(report), Lines{"RIT +120"});
}

TEST_F(Replies, ADigitWithNoMeaningChangesNothing) {
  EXPECT_EQ(Parse(If("00007025000", "+0120", 0, 0, 5, 3, 0, 0)).size(), 1u);
  EXPECT_EQ(relay.State().Mode, -1);
  EXPECT_EQ(relay.State().FreqA, 0);
  EXPECT_EQ(relay.State().RitOffset, -999999);
}

TEST_F(Replies, TheDecoderFollowsTheMorseModes) {
  std::vector<std::string> calls;
  relay.OnStartCwDecoder = [&](TK2Relay& sender) {
    EXPECT_EQ(&sender, &relay);
    calls.push_back("start");
  };
  relay.OnStopCwDecoder = [&](TK2Relay&) { calls.push_back("stop"); };

  relay.SetCwDecoderEnabled(true);
  Parse(If("00007025000", "+0000", 0, 0, 0, 3, 0, 0));  // into CW by an IF report
  Parse("MD7;");                                        // CW-R: the same class
  Parse("MD2;");
  Parse("MD1;");
  Parse("MD6;");
  EXPECT_EQ(calls, (std::vector<std::string>{"start", "stop"}));

  calls.clear();
  relay.SetCwDecoderEnabled(false);
  Parse("MD3;");  // not followed, but the class is kept
  relay.SetCwDecoderEnabled(true);
  Parse("MD7;");
  EXPECT_TRUE(calls.empty());
  Parse("MD9;");
  EXPECT_EQ(calls, std::vector<std::string>{"stop"});
}

TEST_F(Replies, ADecoderHookMayParseTheSameBuffer) {
  relay.SetCwDecoderEnabled(true);
  relay.OnStartCwDecoder = [&](TK2Relay& sender) { sender.ParseK2Replies(client); };
  EXPECT_EQ(Parse("MD3;FA00007025000;BG0"), (Lines{"FREQ 7025.000", "MODE CW"}));
  EXPECT_EQ(relay.ReplyBuffer(), "BG0");
}

TEST_F(Replies, ResetReportsEverythingAgain) {
  const std::string all = "FA00007025000;MD3;PA1;RA01;AN1;NB11;BG05;GT0021;FW040023;PC0500;" +
                          If("00007025000", "+0000", 0, 0, 0, 3, 0, 0) + "DS1234567890;FR0;";
  const Lines first = Parse(all);
  EXPECT_EQ(first.size(), 13u);
  EXPECT_EQ(Parse(all), Lines{});

  relay.SetAccessLevel(2);
  relay.State().MorseQueue = " TEST";
  relay.State().KeyerState = 0;
  relay.State().DisplayPolling = relay.State().SMeterPolling = true;
  relay.ReplyBuffer() = "FA0000";
  relay.ResetSession();
  EXPECT_EQ(relay.AccessLevel(), 0);
  EXPECT_EQ(relay.ReplyBuffer(), "");
  EXPECT_EQ(relay.State().MorseQueue, "");
  EXPECT_EQ(relay.State().KeyerState, 2);
  EXPECT_FALSE(relay.State().DisplayPolling || relay.State().SMeterPolling);
  EXPECT_EQ(relay.State().RitOffset, -999999);
  EXPECT_EQ(Parse(all), first);
}

}  // namespace
