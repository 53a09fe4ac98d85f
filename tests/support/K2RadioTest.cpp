// The simulated K2 without the wire: replies byte for byte, sets, auto-info and the keyer, on a
// clock the tests move by hand.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/k2sim/K2Radio.h"

namespace k2sim {
namespace {

using std::chrono::milliseconds;

class K2RadioTest : public testing::Test {
 protected:
  std::string Send(const std::string& text) {
    radio.Receive(text, now);
    return radio.TakeOutput();
  }
  std::string Wait(int ms) {
    now += milliseconds(ms);
    radio.Advance(now);
    return radio.TakeOutput();
  }
  K2Radio radio;
  Clock::time_point now = Clock::now();
};

TEST_F(K2RadioTest, QueriesAnswerInTheBasicAndTheExtendedForms) {
  EXPECT_EQ(Send("FA;FB;MD;FR;FT;PA;RA;AN;KS;RT;XT;LK;SQ;BG;PS;K2;AI;ID;KY;"),
            "FA00007025000;FB00014060000;MD3;FR0;FT0;PA0;RA00;AN1;KS020;RT0;XT0;LK0;SQ000;BG02;"
            "PS1;K20;AI0;ID017;KY0;");
  EXPECT_EQ(Send("FW;GT;PC;NB;"), "FW1500;GT002;PC050;NB0;");
  EXPECT_EQ(Send("K22;FW;GT;PC;NB;K2;"), "FW150010;GT0021;PC0500;NB01;K22;");
  // The server's start-up string, as one write.
  EXPECT_EQ(Send("PS;K22;FW;PA;RA;AN;NB;GT;PC;AI3;"),
            "PS1;FW150010;PA0;RA00;AN1;NB01;GT0021;PC0500;");
  EXPECT_EQ(Send("fa;Md;"), "FA00007025000;MD3;");  // commands are not case-sensitive
}

TEST_F(K2RadioTest, IfPutsEveryFieldAtItsPosition) {
  Send("FB00014025120;FR1;FT0;MD7;RT1;XT1;RD;RD;RD;RD;RD;TX;");
  std::string r = Send("IF;");
  ASSERT_EQ(r.size(), 38u);
  EXPECT_EQ(r.back(), ';');
  EXPECT_EQ(r.substr(0, 2), "IF");
  // While transmitting split the K2 shows the transmit VFO, here A.
  EXPECT_EQ(r.substr(2, 11), "00007025000");
  EXPECT_EQ(r.substr(13, 5), "     ");
  EXPECT_EQ(r.substr(18, 5), "-0050");
  EXPECT_EQ(r[23], '1');  // RIT
  EXPECT_EQ(r[24], '1');  // XIT
  EXPECT_EQ(r.substr(25, 3), " 00");
  EXPECT_EQ(r[28], '1');  // transmitting
  EXPECT_EQ(r[29], '7');  // CW-R
  EXPECT_EQ(r[30], '0');  // VFO
  EXPECT_EQ(r[32], '1');  // split
  EXPECT_EQ(r.substr(34, 3), "01 ");
  Send("RX;RC;");
  EXPECT_EQ(Send("IF;"), "IF00014025120     +000011 0007101001 ;");
}

TEST_F(K2RadioTest, DisplayIsTenSafeBytesWithPointAndIcons) {
  Send("K22;FA00014025370;");
  std::string r = Send("DS;");
  ASSERT_EQ(r.size(), 13u);
  EXPECT_EQ(r.substr(0, 7), "DS14025");
  EXPECT_EQ(static_cast<unsigned char>(r[7]), '3' | 0x80);  // the point before the tens of hertz
  EXPECT_EQ(r.substr(8, 2), "7X");
  EXPECT_EQ(static_cast<unsigned char>(r[10]), 0x80);
  EXPECT_EQ(static_cast<unsigned char>(r[11]), 0x80);

  // Icons: NB, antenna 2, preamp, attenuator, VFO B, RIT, XIT; flash: NB 2, split.
  Send("NB0;NB0;AN2;PA1;RA01;FR1;FT0;RT1;XT1;MD2;");
  r = Send("DS;");
  EXPECT_EQ(r.substr(2, 5), "14060");
  EXPECT_EQ(r[9], 'V');
  EXPECT_EQ(static_cast<unsigned char>(r[10]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(r[11]), 0xC4);

  // Whatever the state, no byte is below 32 and none is ";".
  for (std::string setup : {"MD1;FA00000500000;", "MD6;SW07;", "MD9;SW07;FA00029999990;", "MD7;"}) {
    Send(setup);
    r = Send("DS;");
    ASSERT_EQ(r.size(), 13u) << setup;
    for (std::size_t i = 2; i < 12; ++i) {
      EXPECT_GE(static_cast<unsigned char>(r[i]), 32) << setup;
      EXPECT_NE(r[i], ';') << setup;
    }
  }
}

TEST_F(K2RadioTest, DisplayFollowsTheTuningRate) {
  // The rate is the resolution shown: 10 Hz, 100 Hz, then 1 kHz with the point on a blank.
  EXPECT_EQ(Send("DS;"), std::string("DS@7025\xB0") + "0X\x80\x80;");
  Send("SW07;");
  EXPECT_EQ(Send("DS;"), std::string("DS@7025\xB0") + "@X\x80\x80;");
  Send("SW07;");
  EXPECT_EQ(Send("DS;"), std::string("DS@7025\xC0") + "@X\x80\x80;");
  Send("SW07;");
  Send("UP;UP1;DN0;UP4;DN3;");  // 10 + 10 - 1 + 1000 - 100 hertz
  EXPECT_EQ(radio.State().vfoA, 7025919);
}

TEST_F(K2RadioTest, SetsChangeTheStateAsTheRelaySendsThem) {
  Send("K22;MD2;FA00014200000;FB00003559000;FT1;LK1;RA01;AN2;PA1;KS025;RT1;RU;RU;XT1;PC016;SQ100;");
  const K2State& s = radio.State();
  EXPECT_EQ(s.mode, 2);
  EXPECT_EQ(s.vfoA, 14200000);
  EXPECT_EQ(s.vfoB, 3559000);
  EXPECT_TRUE(s.Split());
  EXPECT_TRUE(s.locked && s.attenuator && s.preamp && s.rit && s.xit);
  EXPECT_EQ(s.antenna, 2);
  EXPECT_EQ(s.keyerWpm, 25);
  EXPECT_EQ(s.ritOffset, 20);
  EXPECT_EQ(s.power, 16);
  EXPECT_EQ(s.squelch, 100);
  EXPECT_EQ(Send("FR0;FT;"), "FT0;");  // selecting the receive VFO ends split

  // AGC as the relay drives it: off and on keep the speed; fast and slow switch it on.
  EXPECT_EQ(Send("GT0000;GT;"), "GT0020;");
  EXPECT_EQ(Send("GT0041;GT;"), "GT0041;");
  EXPECT_EQ(Send("GT0000;GT0001;GT;"), "GT0041;");
  // Filters: a number, a bandwidth, and the audio filter switch.
  EXPECT_EQ(Send("FW00003;FW;"), "FW180030;");
  EXPECT_EQ(Send("FW2050;FW;"), "FW200020;");
  EXPECT_EQ(Send("SW37;FW;SW37;SW37;FW;"), "FW200021;FW200020;");
  // Each NB command steps the blanker off, 1, 2, off; the held switch 6 flips the marker.
  EXPECT_EQ(Send("NB0;NB;NB0;NB;NB0;NB;SW22;NB;"), "NB11;NB21;NB01;NB00;");
  // Power: low range in tenths of a watt; the high range only with the amplifier.
  EXPECT_EQ(Send("PC0501;"), "?;");
  radio.PanelChange([](K2State& st) { st.highRangeInstalled = true; }, now);
  EXPECT_EQ(Send("PC1001;PC;PC111;"), "PC1001;?;");
  EXPECT_EQ(Send("RC;TX;IF;").substr(18, 11), "+000011 001");
  EXPECT_EQ(Send("RX;IF;")[28], '0');
}

TEST_F(K2RadioTest, PanelSwitchesDoWhatTheirKeysDo) {
  Send("SW08;");  // MODE from CW: the sideband of 40 m
  EXPECT_EQ(radio.State().mode, 1);
  Send("SW24;SW08;SW08;");  // reverse, then RTTY, then CW again
  EXPECT_EQ(radio.State().mode, 3);
  Send("SW01;");  // BAND+ from 40 m
  EXPECT_EQ(radio.State().vfoA, 10116000);
  EXPECT_EQ(Send("IF;")[33], '1');  // the band change shows once
  EXPECT_EQ(Send("IF;")[33], '0');
  Send("SW02;");  // back to 40 m, where the VFO was
  EXPECT_EQ(radio.State().vfoA, 7025000);
  Send("SW09;SW10;");  // A/B, then split
  EXPECT_EQ(Send("FR;FT;"), "FR1;FT0;");
  Send("SW16;");
  EXPECT_TRUE(radio.State().Transmitting());
  Send("SW23;");
  Send("UP;");
  EXPECT_EQ(radio.State().vfoB, 14060000);  // locked
}

TEST_F(K2RadioTest, MalformedAndUnknownCommandsGetAQuestionMark) {
  for (std::string bad :
       {"XY;",    "F;",      "FA123;",   "FA0000702500X;", "FA00000400000;", "MD4;",  "MD12;",
        "FR2;",   "RA1;",    "AN3;",     "KS051;",         "KS007;",         "KS20;", "PC151;",
        "SQ256;", "GT0031;", "FW00005;", "SW41;",          "SW7;",           "IF1;",  "DS0;",
        "BG1;",   "KYX;",    "TX1;",     "AI4;",           "K24;",           "UP5;",  "NBX;",
        "RT2;"}) {
    EXPECT_EQ(Send(bad), "?;") << bad;
  }
  // An empty command, line ends and control bytes are ignored; an over-long one is refused once.
  EXPECT_EQ(Send(";;\r\nMD;\n"), "MD3;");
  EXPECT_EQ(Send(std::string(100, 'A') + ";MD;"), "?;MD3;");
  // The keyer only keys in the Morse modes.
  EXPECT_EQ(Send("MD2;KY TEST;"), "?;");
}

TEST_F(K2RadioTest, AutoInfoReportsPanelChangesByMode) {
  radio.SetAutoInfoDelay(milliseconds(200));
  Send("K22;");
  EXPECT_EQ(Send("SW03;"), "");  // AI0: nothing unsolicited
  Send("AI2;");
  EXPECT_EQ(Send("SW03;"), "PA0;");
  EXPECT_EQ(Send("SW09;"), "FR1;FT1;");
  EXPECT_EQ(Send("SW16;"), "IF00014060000     +000000 0013100001 ;");
  Send("SW16;AI1;");
  EXPECT_EQ(Send("SW11;"), "");
  EXPECT_EQ(Wait(150), "");
  EXPECT_EQ(Wait(100), "IF00014060000     +000010 0003100001 ;");
  Send("AI3;");
  radio.TurnDial(3, now);
  EXPECT_EQ(radio.TakeOutput(), "FB00014060030;");
  EXPECT_EQ(Wait(250), "IF00014060030     +000010 0003100001 ;");
  EXPECT_EQ(Wait(1000), "");

  // Set commands are not reported unless asked for.
  EXPECT_EQ(Send("MD2;PA1;"), "");
  radio.SetReportCommandChanges(true);
  EXPECT_EQ(Send("MD3;PA0;"), "MD3;FW150010;PA0;");  // the mode brings its filter
  EXPECT_EQ(Wait(250), "IF00014060030     +000010 0003100001 ;");
  // Off: neither answers nor reports.
  Send("PS0;");
  EXPECT_EQ(Send("FA;SW03;"), "");
  EXPECT_EQ(Wait(1000), "");
}

TEST_F(K2RadioTest, KeyerDrainsAtTheKeyerSpeed) {
  Send("AI2;");
  // "PARIS " is 50 dot units: 3 s at 20 words per minute.
  EXPECT_EQ(Send("KY PARIS ;"), "IF00007025000     +000000 0013000001 ;");
  EXPECT_TRUE(radio.State().Transmitting());
  EXPECT_EQ(radio.State().keyerBuffer, "ARIS ");
  Wait(14 * 60 - 1);
  EXPECT_EQ(radio.KeyedText(), "");
  Wait(1);
  EXPECT_EQ(radio.KeyedText(), "P");
  Wait((8 + 10 + 6) * 60);
  EXPECT_EQ(radio.KeyedText(), "PARI");
  EXPECT_EQ(Wait(8 * 60 + 4 * 60), "IF00007025000     +000000 0003000001 ;");
  EXPECT_EQ(radio.KeyedText(), "PARIS ");
  EXPECT_FALSE(radio.State().Transmitting());

  // The buffer reports full from 25 characters and holds 32; the rest is lost.
  Send("KS050;KY EEEEEEEEEEEEEEEEEEEEEEEE;");
  EXPECT_EQ(Send("KY;"), "KY0;");  // 23 waiting, one on the air
  EXPECT_EQ(Send("KY EEEEEEEEEEEE;KY;"), "KY1;");
  EXPECT_EQ(radio.State().keyerBuffer.size(), 32u);
  Wait(4 * 8 * 24);  // an E and its gap are 4 units of 24 ms
  EXPECT_EQ(Send("KY;"), "KY0;");
  // "@" stops the keyer at once.
  EXPECT_EQ(Send("KY @;"), "IF00007025000     +000000 0003000001 ;");
  EXPECT_TRUE(radio.State().keyerBuffer.empty());
  std::string keyed = radio.KeyedText();
  Wait(1000);
  EXPECT_EQ(radio.KeyedText(), keyed);
  // Prosign characters key as prosigns; a speed change applies from the next character.
  Send("KS010;KY (;");
  Wait(17 * 120);  // -.--. is 11 units, 4 between its elements and 3 after
  EXPECT_EQ(radio.KeyedText(), keyed);
  Wait(120);
  EXPECT_EQ(radio.KeyedText(), keyed + "(");
}

TEST(K2MorseTest, CharacterLengths) {
  EXPECT_EQ(K2Radio::MorseUnits('E'), 4);
  EXPECT_EQ(K2Radio::MorseUnits('0'), 22);
  EXPECT_EQ(K2Radio::MorseUnits(' '), 4);
  EXPECT_EQ(K2Radio::MorseUnits('+'), 16);
  EXPECT_EQ(K2Radio::MorseUnits('#'), 0);
  EXPECT_EQ(K2Radio::MorseFor('k'), "-.-");
}

}  // namespace
}  // namespace k2sim
