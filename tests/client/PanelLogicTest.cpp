// The front panel's display and control logic without widgets: status lines in, panel state
// out; switch presses, the dial, the knobs and the hot keys out as protocol lines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "client/DisplayReport.h"
#include "client/PanelControls.h"
#include "client/PanelStatus.h"

namespace {

using Row = TAnnunciatorRow;

// Eight display characters and the two annunciator bytes.
std::string Report(const std::string& places, unsigned a, unsigned b) {
  return places + static_cast<char>(a) + static_cast<char>(b);
}
std::string WithPoint(std::string places, std::size_t place) {  // place: 1-based
  places[place - 1] = static_cast<char>(places[place - 1] | 0x80);
  return places;
}

// The session and the panel's widgets, recorded; knobs call their change handler when they
// move, as TKelmKnob does.
struct FakePanel : IDisplaySession, IControlSession, IPanelIndicators {
  // IDisplaySession and IControlSession.
  bool DisplayLive() const override { return displayLive; }
  void SetDisplayLive(bool value) override { displayLive = value; }
  std::uint8_t ModeGroup() const override { return modeGroup; }
  void SetModeGroup(std::uint8_t group) override { modeGroup = group; }
  void SendCommand(const std::string& line) override { sent.push_back(line); }
  bool SendFreqStep(double stepKhz) override {
    char text[32];
    std::snprintf(text, sizeof text, "step %+.2f", stepKhz);
    sent.push_back(text);
    return true;
  }
  std::int32_t AccessLevel() const override { return accessLevel; }
  void SetPendingMessage(std::string text) override { pending = std::move(text); }
  void OneSecondTick() override { sent.push_back("<tick: " + pending + ">"); }
  // IPanelIndicators.
  void ShowDisplayText(const std::string& text) override { display = text; }
  void ShowAnnunciators(const Row& row) override { shown = row; }
  void ShowMeter(int position) override { meter = std::max(0, std::min(10, position)); }
  void MoveKnob(TPanelKnob knob, int position) override {
    int& at = knobs[knob];
    if (at == position) return;
    at = position;
    if (!controls) return;
    if (knob == TPanelKnob::Keyer) controls->KeyerKnobChange(position);
    if (knob == TPanelKnob::Power) controls->PowerKnobChange(position);
    if (knob == TPanelKnob::RFGain) controls->RFGainKnobChange(position);
  }
  void ShowFrequency(const std::string& text) override { freq = text; }
  void ChangeModeGroup(std::uint8_t from, std::uint8_t to) override {
    if (refuseModeChange) throw std::runtime_error("window");
    groupChanges.push_back(std::to_string(from) + ">" + std::to_string(to));
  }

  bool displayLive = false;
  std::uint8_t modeGroup = 0;
  std::int32_t accessLevel = 2;
  std::string pending;
  std::vector<std::string> sent;
  std::string display;
  Row shown{};
  int meter = 0;
  std::map<TPanelKnob, int> knobs{{TPanelKnob::Keyer, 9},
                                  {TPanelKnob::Power, 0},
                                  {TPanelKnob::RFGain, 100},
                                  {TPanelKnob::RIT, 0}};
  std::string freq;
  std::vector<std::string> groupChanges;
  bool refuseModeChange = false;
  TFrontPanelControls* controls = nullptr;
};

class PanelLogic : public ::testing::Test {
 protected:
  PanelLogic() { panel.controls = &controls; }
  void Line(TServerWord word, const std::string& value) { status.ShowStatus(word, value); }
  // The row the annunciators show after one tick, and after the next.
  std::pair<Row, Row> BothPhases() {
    status.RefreshAnnunciators();
    Row first = panel.shown;
    status.RefreshAnnunciators();
    return {first, panel.shown};
  }

  FakePanel panel;
  std::int64_t now = 1000;
  TFrontPanelStatus status{panel, panel};
  TFrontPanelControls controls{panel, status, [this] { return now; }};
};

TEST(DisplayReport, DecodesPlacesAnnunciatorsResolutionAndMode) {
  struct Case {
    std::string value;
    bool decoded;
    bool hasPoint;
    int resolution;
    int group;
  };
  const Case cases[] = {
      {"123456789", false, false, 0, 0},                                 // nine characters
      {"12345678901", false, false, 0, 0},                               // eleven
      {Report(" 7025000", 0x80, 0x80), true, false, 0, 0},               // no point
      {Report(WithPoint("@704000X", 5), 0x80, 0x80), true, true, 0, 1},  // digits 5..7
      {Report(WithPoint("@7040.0V", 6), 0, 0), true, true, 1, 2},
      {Report(WithPoint("@704000<", 7), 0, 0), true, true, 2, 2},
      {Report(WithPoint("@7040@@R", 6), 0, 0), true, true, 3, 3},  // the point on a dark place
      {Report(WithPoint("@7040@0[", 5), 0, 0), true, true, 2, 3},  // a dark place after it
      {Report(WithPoint("1404000Q", 2), 0, 0), true, true, 0, 0},  // six digits: the finest
      {Report(WithPoint("1406000Z", 6), 0, 0), true, true, 1, 1},
  };
  for (const Case& c : cases) {
    TDisplayReport r;
    SCOPED_TRACE(c.value);
    ASSERT_EQ(DecodeDisplayReport(c.value, r), c.decoded);
    if (!c.decoded) continue;
    EXPECT_EQ(r.Text, c.value.substr(0, 8));
    EXPECT_EQ(r.HasPoint, c.hasPoint);
    if (!c.hasPoint) continue;
    EXPECT_EQ(r.ResolutionIndex, c.resolution);
    EXPECT_EQ(r.ModeGroup, c.group);
  }
}

TEST(DisplayReport, AnnunciatorsInBothPhases) {
  struct Case {
    unsigned a, b;
    Row lit, blink;
  };
  const Case cases[] = {
      // Nothing: only mark 5 (bit 2 of A clear) is lit, in both phases.
      {0x80, 0x80, {0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0, 0}},
      // Bits 6..3 lit; bit 6 of B blinks mark 1 off; bits 5..3 of B do not blink.
      {0xF8, 0xF8, {1, 1, 1, 1, 1, 0, 0, 0}, {0, 1, 1, 1, 1, 0, 0, 0}},
      // Bit 6 of B while mark 1 is off: it blinks on.
      {0x00, 0x40, {0, 0, 0, 0, 1, 0, 0, 0}, {1, 0, 0, 0, 1, 0, 0, 0}},
      // Bits 2 and 0 in A and B: steady 6 and 8, blink phase neither.
      {0x05, 0x05, {0, 0, 0, 0, 0, 1, 0, 1}, {0, 0, 0, 0, 0, 0, 0, 0}},
      // Bit 2 of B blinks mark 5 when bit 2 of A is clear.
      {0x00, 0x04, {0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}},
      // Bits 1 and 0 of B count only where A has them: nothing blinks on.
      {0x00, 0x03, {0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0, 0}},
      {0x02, 0x03, {0, 0, 0, 0, 1, 0, 1, 0}, {0, 0, 0, 0, 1, 0, 0, 0}},
      // Bit 7 of A is not used.
      {0x80, 0x00, {0, 0, 0, 0, 1, 0, 0, 0}, {0, 0, 0, 0, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    TDisplayReport r;
    SCOPED_TRACE(testing::Message() << std::hex << c.a << " " << c.b);
    ASSERT_TRUE(DecodeDisplayReport(Report("@7025000", c.a, c.b), r));
    EXPECT_EQ(r.Lit, c.lit);
    EXPECT_EQ(r.Blink, c.blink);
  }
}

TEST_F(PanelLogic, StartupTextsWaitUntilTheDisplayGoesLive) {
  Line(TServerWord::Display, Report("ELECRAFT", 0, 0));
  EXPECT_FALSE(panel.displayLive);
  EXPECT_EQ(panel.display, "");
  Line(TServerWord::Display, Report(WithPoint("@702500X", 6), 0x10, 0));
  EXPECT_TRUE(panel.displayLive);
  EXPECT_EQ(panel.display, WithPoint("@702500X", 6));
  EXPECT_EQ(status.ResolutionIndex(), 1);
  EXPECT_EQ(panel.modeGroup, 1);
  // Once live, texts starting with a letter are shown too.
  Line(TServerWord::Display, Report("MENU@@@@", 0, 0));
  EXPECT_EQ(panel.display, "MENU@@@@");
  EXPECT_EQ(status.ResolutionIndex(), 1);  // no point: kept
  EXPECT_EQ(panel.modeGroup, 1);
  Line(TServerWord::Display, Report("MENU@@@@1", 0, 0));  // nine characters
  EXPECT_EQ(panel.display, "MENU@@@@");
}

TEST_F(PanelLogic, ModeGroupChangesOnceAndRetriesAfterAFailure) {
  panel.displayLive = true;
  Line(TServerWord::Display, Report(WithPoint("@702500X", 6), 0, 0));
  Line(TServerWord::Display, Report(WithPoint("@702500Z", 6), 0, 0));
  Line(TServerWord::Display, Report(WithPoint("1406000V", 6), 0, 0));
  Line(TServerWord::Display, Report(WithPoint("1406000Q", 6), 0, 0));  // no group: kept
  EXPECT_EQ(panel.groupChanges, (std::vector<std::string>{"0>1", "1>2"}));
  panel.refuseModeChange = true;
  Line(TServerWord::Display, Report(WithPoint("1406000R", 6), 0, 0));
  EXPECT_EQ(panel.modeGroup, 2);
  panel.refuseModeChange = false;
  Line(TServerWord::Display, Report(WithPoint("1406000[", 6), 0, 0));
  EXPECT_EQ(panel.modeGroup, 3);
  EXPECT_EQ(panel.groupChanges.back(), "2>3");
}

TEST_F(PanelLogic, AnnunciatorsBlinkWithTheTick) {
  panel.displayLive = true;
  Line(TServerWord::Display, Report(WithPoint("@702500X", 6), 0x45, 0x45));
  // NB and XIT blink; B is lit with bit 2 of B blinking it.
  const Row steady{1, 0, 0, 0, 0, 1, 0, 1}, blink{0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(BothPhases(), std::make_pair(steady, blink));
  EXPECT_EQ(BothPhases(), std::make_pair(steady, blink));
  status.Reset();
  EXPECT_EQ(panel.shown, Row{});
}

TEST_F(PanelLogic, StatusLinesMoveMeterAndKnobs) {
  struct Case {
    TServerWord word;
    std::string value;
    TPanelKnob knob;
    int position;
  };
  const Case cases[] = {
      {TServerWord::KSpeed, "30", TPanelKnob::Keyer, 30},
      {TServerWord::KSpeed, "fast", TPanelKnob::Keyer, 30},  // no integer: ignored
      {TServerWord::Pwr, "5.0", TPanelKnob::Power, 50},
      {TServerWord::Pwr, "12", TPanelKnob::Power, 12},
      {TServerWord::Pwr, "0.25", TPanelKnob::Power, 2},  // halves to even
      {TServerWord::Pwr, "0.35", TPanelKnob::Power, 4},
      {TServerWord::Pwr, "x.y", TPanelKnob::Power, 4},
      {TServerWord::Rit, "-120", TPanelKnob::RIT, -120},
      {TServerWord::Rit, "ON", TPanelKnob::RIT, -120},
      {TServerWord::Squelch, "3", TPanelKnob::RFGain, 7},
      {TServerWord::Squelch, "OFF", TPanelKnob::RFGain, 10},
  };
  panel.controls = nullptr;  // the positions alone
  for (const Case& c : cases) {
    Line(c.word, c.value);
    EXPECT_EQ(panel.knobs[c.knob], c.position) << c.value;
  }
  Line(TServerWord::SMeter, "7");
  EXPECT_EQ(panel.meter, 7);
  Line(TServerWord::SMeter, "S9");
  EXPECT_EQ(panel.meter, 0);
  Line(TServerWord::Freq, "7040.000");
  EXPECT_EQ(panel.freq, "7040.000");
  Line(TServerWord::Freq, "abc");
  EXPECT_EQ(panel.freq, "7040.000");
}

TEST_F(PanelLogic, KnobsEchoNothingAndHoldAgainstReports) {
  Line(TServerWord::KSpeed, "30");
  Line(TServerWord::Pwr, "5.0");
  EXPECT_EQ(panel.sent, std::vector<std::string>{});  // moved by the radio: nothing sent back
  // The radio reports the speed the knob already has; the operator's turn right after is sent.
  Line(TServerWord::KSpeed, "30");
  controls.KeyerKnobChange(31);
  EXPECT_EQ(panel.sent, std::vector<std::string>{"KS 31"});
  // Held: the report of the old speed, on its way, does not move the knob back.
  Line(TServerWord::KSpeed, "30");
  EXPECT_EQ(panel.knobs[TPanelKnob::Keyer], 30);  // the recorder's knob was never turned
  EXPECT_EQ(status.KeyerHold(), 1);
  controls.OneSecondTick();
  EXPECT_EQ(status.KeyerHold(), 0);
  Line(TServerWord::KSpeed, "31");
  EXPECT_EQ(panel.knobs[TPanelKnob::Keyer], 31);

  panel.sent.clear();
  controls.PowerKnobChange(7);
  Line(TServerWord::Pwr, "5.0");
  EXPECT_EQ(panel.knobs[TPanelKnob::Power], 50);
  // The squelch has no echo flag: a report that moves the knob is sent back, then held.
  Line(TServerWord::Squelch, "3");
  Line(TServerWord::Squelch, "5");
  EXPECT_EQ(panel.sent, (std::vector<std::string>{"CAT PC007;", "SQ 3"}));
  EXPECT_EQ(panel.knobs[TPanelKnob::RFGain], 7);
}

TEST_F(PanelLogic, KnobsNeedTransmitAccess) {
  panel.accessLevel = 0;
  controls.KeyerKnobChange(20);
  EXPECT_EQ(panel.pending, TFrontPanelControls::kNotAllowed);
  panel.pending.clear();
  controls.PowerKnobChange(20);
  EXPECT_EQ(panel.pending, TFrontPanelControls::kNotAllowed);
  controls.RFGainKnobChange(4);  // no access test
  EXPECT_EQ(panel.sent, std::vector<std::string>{"SQ 6"});
}

TEST_F(PanelLogic, SwitchTapsAndHoldsUnderTheAccessTable) {
  struct Case {
    int tag;
    int heldMs;
    int access;
    std::string out;  // the line sent, or "!" for "Action not allowed."
  };
  const Case cases[] = {
      {7, 100, 0, "CAT SW07;"}, {3, 600, 2, "CAT SW19;"},
      {3, 0, 0, "CAT SW03;"},   {3, 499, 2, "CAT SW03;"},
      {3, 500, 2, "CAT SW19;"},  // exactly half a second: held
      {5, 0, 1, "!"},           {5, 0, 2, "CAT SW05;"},
      {16, 0, 0, "!"},          {16, 0, 1, "CAT SW16;"},
      {3, 800, 1, "!"},         {4, 800, 0, "!"},
      {4, 800, 1, "CAT SW20;"}, {5, 800, 1, "!"},
      {14, 800, 1, "!"},        {14, 800, 2, "CAT SW30;"},
      {15, 800, 1, "!"},        {15, 0, 0, "CAT SW15;"},
      {16, 800, 0, "!"},        {16, 800, 1, "CAT SW32;"},
      {1, 900, 0, "CAT SW17;"}, {8, 2000, 0, "CAT SW24;"},
      {12, 0, 0, "CAT SW12;"},
  };
  for (const Case& c : cases) {
    panel.sent.clear();
    panel.pending.clear();
    panel.accessLevel = c.access;
    controls.ButtonDown(c.tag);
    now += c.heldMs;
    controls.ButtonUp(c.tag);
    const std::string out = panel.pending.empty()
                                ? (panel.sent.empty() ? "" : panel.sent[0])
                                : (panel.pending == "Action not allowed." ? "!" : "?");
    EXPECT_EQ(out, c.out) << "switch " << c.tag << " held " << c.heldMs << " at " << c.access;
    if (c.out == "!") {
      EXPECT_TRUE(panel.sent.empty());
    }
  }
}

TEST_F(PanelLogic, TheDialSpeedsUpWhileHeld) {
  panel.displayLive = true;
  Line(TServerWord::Display, Report(WithPoint("@704000X", 7), 0, 0));  // resolution 2
  ASSERT_EQ(status.ResolutionIndex(), 2);
  ASSERT_TRUE(controls.DialDown(+1));
  // A step at once, then one per 250 ms tick of the repeat, 45 in all (11 s).
  for (int i = 1; i < 45; ++i) controls.TimerStep();
  controls.DialUp();
  controls.TimerStep();  // the repeat stopped: nothing
  ASSERT_EQ(panel.sent.size(), 45u);
  std::map<std::string, int> count;
  for (const std::string& s : panel.sent) ++count[s];
  EXPECT_EQ(panel.sent[0], "step +0.10");
  EXPECT_EQ(panel.sent[2], "step +0.10");
  EXPECT_EQ(panel.sent[3], "step +0.20");   // the 4th step, 750 ms
  EXPECT_EQ(panel.sent[18], "step +0.50");  // the 19th, 4.5 s
  EXPECT_EQ(panel.sent[38], "step +2.00");  // the 39th, 9.5 s
  EXPECT_EQ(count,
            (std::map<std::string, int>{
                {"step +0.10", 3}, {"step +0.20", 15}, {"step +0.50", 20}, {"step +2.00", 7}}));

  panel.sent.clear();
  ASSERT_TRUE(controls.DialDown(-1));
  EXPECT_EQ(panel.sent, std::vector<std::string>{"step -0.10"});
  controls.DialUp();
  // A middle button with no direction set does nothing.
  panel.sent.clear();
  EXPECT_FALSE(controls.DialDown(0));
  EXPECT_TRUE(panel.sent.empty());
}

TEST_F(PanelLogic, TheDialStepTableAndResolutionZero) {
  const double steps[3][4] = {{0.01, 0.02, 0.05, 1}, {0.1, 0.2, 0.5, 2}, {1, 2, 5, 10}};
  for (int r = 1; r <= 3; ++r)
    for (int size = 1; size <= 4; ++size)
      EXPECT_EQ(TFrontPanelControls::DialStep(r, size), steps[r - 1][size - 1]);
  EXPECT_EQ(TFrontPanelControls::DialStep(0, 1), 0);
  // Resolution 0: the dial sends nothing.
  ASSERT_EQ(status.ResolutionIndex(), 0);
  ASSERT_TRUE(controls.DialDown(-1));
  controls.TimerStep();
  EXPECT_TRUE(panel.sent.empty());
}

TEST_F(PanelLogic, TheRitKnobSharesTheRepeat) {
  ASSERT_TRUE(controls.RitDown(+1));
  controls.TimerStep();
  controls.RitUp();
  controls.TimerStep();
  ASSERT_TRUE(controls.RitDown(-1));
  controls.RitClear();
  controls.TimerStep();
  EXPECT_EQ(panel.sent, (std::vector<std::string>{"RIT +", "RIT +", "RIT -", "RIT CLEAR"}));
}

TEST_F(PanelLogic, HotKeysFollowTheResolutionOnceTheDisplayIsLive) {
  controls.HotKeyPressed(TPanelHotKey::StepUp);
  EXPECT_TRUE(panel.sent.empty());
  const std::pair<std::string, std::vector<std::string>> rows[] = {
      {WithPoint("@704000X", 5), {"CAT UP0;", "CAT DN0;", "CAT SW07;"}},
      {WithPoint("@704000X", 6), {"CAT UP1;", "CAT DN1;", "CAT SW07;"}},
      {WithPoint("@704000X", 7), {"CAT UP3;", "CAT DN3;", "CAT SW07;"}},
      {WithPoint("@7040@@X", 6), {"CAT UP4;", "CAT DN4;", "CAT SW07;"}},
  };
  for (const auto& [places, lines] : rows) {
    Line(TServerWord::Display, Report(places, 0, 0));
    panel.sent.clear();
    for (TPanelHotKey key : {TPanelHotKey::StepUp, TPanelHotKey::StepDown, TPanelHotKey::Rate})
      controls.HotKeyPressed(key);
    EXPECT_EQ(panel.sent, lines);
  }
}

TEST_F(PanelLogic, TheTickRunsInItsOrder) {
  panel.displayLive = true;
  Line(TServerWord::Display, Report(WithPoint("@702500X", 6), 0x40, 0x40));
  controls.KeyerKnobChange(20);
  controls.ModeMenuClick("RTTY-&R");
  panel.pending = "Hello";
  controls.OneSecondTick();
  EXPECT_EQ(panel.shown, (Row{1, 0, 0, 0, 1, 0, 0, 0}));
  EXPECT_EQ(status.KeyerHold(), 0);
  EXPECT_EQ(panel.sent, (std::vector<std::string>{"KS 20", "MODE RTTY-R", "<tick: Hello>"}));
  controls.OneSecondTick();
  EXPECT_EQ(panel.shown, (Row{0, 0, 0, 0, 1, 0, 0, 0}));
}

}  // namespace
