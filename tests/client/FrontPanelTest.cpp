// The front panel window offscreen: status lines in, widget state out; and the whole panel
// against the real TalvoServer program with the simulated K2, mouse presses out as the radio's
// switch commands, with a picture of it for a person to look at.
#include <gtest/gtest.h>
#include <signal.h>

#include <QAction>
#include <QImage>
#include <QMenu>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "client/ClientAudio.h"
#include "client/FreqCtrl.h"
#include "client/K2FrontPanel.h"
#include "client/PanelImage.h"
#include "common/Utils.h"
#include "controls/KelmKnob.h"
#include "controls/LEDDisplay.h"
#include "controls/LEDMeter.h"
#include "platform/Application.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/support/ServerFixtures.h"
#include "tests/support/TalvoProcess.h"
#include "tests/support/WaitFor.h"
#include "tests/support/k2sim/K2Simulator.h"

using testsupport::WaitFor;

namespace {

std::string Report(std::string places, std::size_t point, unsigned a, unsigned b) {
  if (point > 0) places[point - 1] = static_cast<char>(places[point - 1] | 0x80);
  return "DISPLAY " + places + static_cast<char>(a) + static_cast<char>(b);
}

std::string Marks(const TK2FrontPanel& panel) {
  std::string marks;
  for (int k = 1; k <= 8; ++k) marks += panel.Annunc(k)->isHidden() ? '.' : '*';
  return marks;
}

class FrontPanel : public ::testing::Test {
 protected:
  const std::string home_ = TestHome();
  TK2FrontPanel panel_{home_ + "/TalvoClient.INI", home_ + "/TalvoClient.log", nullptr, false};
};

TEST_F(FrontPanel, StatusLinesSetDisplayAnnunciatorsMeterAndKnobs) {
  TClientSession& s = panel_.Session();
  struct Case {
    std::string line;
    std::string display;        // the display's text afterwards
    std::string steady, blink;  // the marks after one tick and after the next
  };
  const std::string live = Report("@702500X", 6, 0xC5, 0xC5);
  const Case cases[] = {
      {Report("ELECRAFT", 0, 0x80, 0x80), "00000000", "........", "........"},
      {live, live.substr(8, 8), "*....*.*", "........"},
      {Report("1406000V", 6, 0x90, 0x80), Report("1406000V", 6, 0, 0).substr(8, 8), "..*.*...",
       "..*.*..."},
      {Report("MENU@@@@", 0, 0x88, 0x84), "MENU@@@@", "...**...", "...*...."},
  };
  for (const Case& c : cases) {
    s.HandleServerLine(c.line);
    EXPECT_EQ(panel_.LEDDisplay()->Text(), c.display) << c.line;
    panel_.AnnTimerTimer();
    const std::string first = Marks(panel_);
    panel_.AnnTimerTimer();
    EXPECT_EQ(first + " " + Marks(panel_), c.steady + " " + c.blink) << c.line;
  }
  EXPECT_EQ(s.ModeGroup(), 2);
  EXPECT_EQ(panel_.Status().ResolutionIndex(), 1);

  s.HandleServerLine("SM 7");
  EXPECT_EQ(panel_.LEDMeter()->Position(), 7);
  s.HandleServerLine("SM 14");
  EXPECT_EQ(panel_.LEDMeter()->Position(), 10);
  s.HandleServerLine("KS 30");
  s.HandleServerLine("PWR 5.0");
  s.HandleServerLine("RIT -300");
  s.HandleServerLine("SQUELCH 3");
  EXPECT_EQ(panel_.KeyerKnob()->Position(), 30);
  EXPECT_EQ(panel_.PowerKnob()->Position(), 50);
  EXPECT_EQ(panel_.RITKnob()->Position(), -300);
  EXPECT_EQ(panel_.RFGainKnob()->Position(), 7);
  // Moved by the radio, the keyer and power knobs hold nothing against the next report.
  EXPECT_EQ(panel_.Status().KeyerHold(), 0);
  EXPECT_EQ(panel_.Status().PowerHold(), 0);
  EXPECT_EQ(panel_.Status().SquelchHold(), 1);
}

TEST_F(FrontPanel, SwitchesAndKnobsWaitForAConnection) {
  for (int tag = 1; tag <= 16; ++tag) EXPECT_FALSE(panel_.Button(tag)->isEnabled()) << tag;
  EXPECT_FALSE(panel_.KeyerKnob()->isEnabled());
  EXPECT_FALSE(panel_.RITKnob()->isEnabled());
  EXPECT_TRUE(panel_.K2Bitmap()->isEnabled());
  EXPECT_TRUE(panel_.DisplayPanel()->isHidden());
  EXPECT_EQ(panel_.size(), QSize(563, 235));
  // The window's shape: the corners are not part of it, the body is.
  EXPECT_FALSE(panel_.mask().contains(QPoint(0, 0)));
  EXPECT_FALSE(panel_.mask().contains(QPoint(562, 234)));
  EXPECT_TRUE(panel_.mask().contains(QPoint(281, 117)));
}

TEST_F(FrontPanel, PowerMenuAndAboutBox) {
  QStringList items;
  for (QAction* item : panel_.PowerPopup()->actions())
    if (!item->isSeparator()) items << item->text();
  EXPECT_EQ(items.join('|'), QStringLiteral("Power On|Close|RX Only|About Talvo"));

  std::string caption;
  platform::SetMessageBoxHook([&](const std::string&, const std::string& c) { caption = c; });
  panel_.PowerPopup()->actions().back()->trigger();
  platform::SetMessageBoxHook(nullptr);
  EXPECT_EQ(caption, "Talvo Client");
}

// Whether the frequency window comes up at the next connect is decided by the last session that
// was set up; a connection that ended before that (a refused login) leaves the choice alone.
TEST_F(FrontPanel, FrequencyWindowChoiceSurvivesAConnectionThatNeverCameUp) {
  const std::string ini = panel_.Session().ClientIniFile();
  auto visible = [&] { return ReadIniString(ini, "Frequency Window", "Visible", "?"); };
  auto closed = [&] {  // the session takes the close from the event loop
    panel_.Session().DataConnSessionClosed(0);
    platform::ProcessMessages();
  };
  WriteIniString(ini, "Frequency Window", "Visible", "1");
  closed();
  EXPECT_EQ(visible(), "1");

  panel_.PanelChanged(TPanelChange::PowerOn);
  closed();
  EXPECT_EQ(visible(), "");

  panel_.PanelChanged(TPanelChange::PowerOn);
  panel_.FreqCtrl()->show();
  closed();
  EXPECT_EQ(visible(), "1");
  EXPECT_TRUE(panel_.FreqCtrl()->isHidden());
}

// Lines that come with the server's close are handled first, in order; then the panel is reset,
// whatever those lines did to it: a "PRIV 0" that hides the tool windows included.
TEST_F(FrontPanel, TheLinesBeforeACloseAreHandledThenThePanelIsIdle) {
  FakeServer server;
  server.Run([](FakeServer::Conn& c) {
    c.SendLine("Talvo Server 1.0");
    c.WaitLine("AUTH");
    c.SendLine("PRIV 2");
    c.WaitLine("SM ON");
    c.Pause(500);  // the session is live
    c.Send("PRIV 0\r\n" + Report("@702500X", 6, 0xC5, 0xC5) + "\r\nSM 7\r\n");
    c.Close();
  });
  const std::string ini = panel_.Session().ClientIniFile();
  panel_.Session().SetOwnCall("DL1ABC");
  WriteIniString(ini, "Shack", "Addr", "127.0.0.1");
  WriteIniString(ini, "Shack", "Port", std::to_string(server.Port()));
  panel_.show();
  TClientSession& s = panel_.Session();
  ASSERT_TRUE(ConnectAndWait(s, "Shack"));
  ASSERT_TRUE(WaitFor([&] { return s.Idle(); }, 10000));
  EXPECT_TRUE(s.RxOnly());  // the PRIV 0 was handled
  EXPECT_TRUE(panel_.DisplayPanel()->isHidden());
  EXPECT_EQ(panel_.LEDMeter()->Position(), 0);
  EXPECT_FALSE(panel_.Button(7)->isEnabled());
  EXPECT_FALSE(s.DisplayLive());
  EXPECT_EQ(Marks(panel_), "........");
}

// The panel with the real server and the simulated radio.
class FrontPanelProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    sim_.Start();
    const TestIni server(home_ + "/TalvoServer.ini");
    server.UseRadio(sim_);
    server.Set("Control", "Port", std::to_string(port_));
    server.Set("Control", "Address", "127.0.0.1");
    server.AddUser(1, "op", "pw", 2);
    server.Set("Messages", "Welcome", "Welcome to the K2.");
    const TestIni client(clientIni_);
    client.Set("Settings", "Call", "op");
    client.Set("Shack", "Addr", "127.0.0.1");
    client.Set("Shack", "Port", std::to_string(port_));
    client.Set("Shack", "Passwd", Scramble("pw", TClientSettings::kPasswordSeed));
    StartTalvoProcess(server_, QStringLiteral(TALVO_SERVER_BINARY), home_);
  }
  void TearDown() override {
    if (server_.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
    if (!server_.waitForFinished(15000)) server_.kill();
  }

  const std::string home_ = TestHome();
  const std::string clientIni_ = home_ + "/TalvoClient.INI";
  const int port_ = FakeServer().Port();  // free again once its listener is gone
  k2sim::K2Simulator sim_;
  QProcess server_;
};

TEST_F(FrontPanelProgram, PressesReachTheRadioAndThePanelFollowsIt) {
  TK2FrontPanel panel(clientIni_, home_ + "/TalvoClient.log", nullptr, false);
  panel.show();
  TClientSession& s = panel.Session();
  bool live = false;  // the server may still be starting
  for (int attempt = 0; attempt < 20 && !live; ++attempt) {
    live = ConnectAndWait(s, "Shack");
    if (!live) platform::WaitMessages(250);
  }
  ASSERT_TRUE(live);
  ASSERT_TRUE(WaitFor([&] { return s.DisplayLive() && s.FreqKnown(); }, 20000));
  EXPECT_TRUE(panel.Button(7)->isEnabled());
  EXPECT_EQ(s.ModeGroup(), 1);  // the radio starts in CW

  // A tap of PRE and a hold of A/B.
  QTest::mouseClick(panel.Button(3), Qt::LeftButton);
  EXPECT_TRUE(sim_.WaitForCommand("SW03;", 10000));
  QTest::mousePress(panel.Button(9), Qt::LeftButton);
  platform::WaitMessages(700);
  QTest::mouseRelease(panel.Button(9), Qt::LeftButton);
  EXPECT_TRUE(sim_.WaitForCommand("SW25;", 10000));
  // The preamp's mark comes on with the next report and tick.
  EXPECT_TRUE(WaitFor([&] { return !panel.Annunc(3)->isHidden(); }, 15000));

  // The dial, right button: one step up at the radio's resolution (10 Hz steps on 7025 kHz).
  QTest::mousePress(panel.Dial(), Qt::RightButton);
  QTest::mouseRelease(panel.Dial(), Qt::RightButton);
  EXPECT_TRUE(sim_.WaitForCommand("FA00007025010;", 10000));
  EXPECT_TRUE(WaitFor([&] { return s.CurrentFreqText() == "7025.010"; }, 15000))
      << s.CurrentFreqText();
  EXPECT_TRUE(WaitFor([&] { return panel.LEDMeter()->Position() > 0; }, 15000));

  // The picture, its fuchsia corners made transparent.
  platform::WaitMessages(1200);
  QImage picture = panel.grab().toImage().convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      if (picture.pixel(x, y) == kPanelTransparent) picture.setPixel(x, y, 0);
  EXPECT_EQ(picture.size(), QSize(563, 235));
  EXPECT_TRUE(picture.save(QStringLiteral(TALVO_PANEL_PICTURE)));

  DisconnectAndWait(s);
  EXPECT_TRUE(panel.DisplayPanel()->isHidden());
  EXPECT_FALSE(panel.Button(7)->isEnabled());
  EXPECT_EQ(panel.LEDMeter()->Position(), 0);
}

// Audio both ways, with ALSA's file plugin as the sound card of the server and of the client.
class AudioProgram : public FrontPanelProgram {
 protected:
  void SetUp() override {
    using namespace audiotest;
    WriteFile(File("server-in.raw"), Bytes(Tone(8000 * 30, 1000, 8000)));
    WriteFile(File("client-in.raw"), Bytes(Tone(8000 * 30, 700, 8000)));
    UseCaptureFile(File("server-in.raw"));
    UsePlaybackFile(File("server-out.raw"));
    FrontPanelProgram::SetUp();  // the server takes the environment as it stands
    UseCaptureFile(File("client-in.raw"));
    UsePlaybackFile(File("client-out.raw"));
  }
  void TearDown() override {
    unsetenv("TALVO_ALSA_PCM_IN");
    unsetenv("TALVO_ALSA_PCM_OUT");
    FrontPanelProgram::TearDown();
  }

  // The strongest frequency of a second of the file's audio, from half a second after its onset;
  // 0 until the file holds that much.
  std::string File(const std::string& name) const { return home_ + "/" + name; }
  double HeardFrequency(const std::string& file) const {
    using namespace audiotest;
    const std::vector<std::int16_t> s = Samples(ReadFile(File(file)));
    const std::size_t onset = Onset(s, 1000);
    if (onset >= s.size() || s.size() - onset < 12000) return 0;
    return StrongestFrequency(s, onset + 4000, 8000, 300, 2000);
  }
};

TEST_F(AudioProgram, AToneCapturedAtTheServerIsHeardAndTheMicrophoneReachesTheRadio) {
  TK2FrontPanel panel(clientIni_, home_ + "/TalvoClient.log", nullptr, false);
  TClientSession& s = panel.Session();
  bool live = false;
  for (int attempt = 0; attempt < 20 && !live; ++attempt) {
    live = ConnectAndWait(s, "Shack");
    if (!live) platform::WaitMessages(250);
  }
  ASSERT_TRUE(live);
  ASSERT_TRUE(WaitFor([&] { return s.DisplayLive(); }, 20000));

  panel.AFGainKnobChange(3);
  ASSERT_TRUE(s.AudioOn());
  double rx = 0;
  EXPECT_TRUE(WaitFor([&] { return (rx = HeardFrequency("client-out.raw")) > 0; }, 30000));
  EXPECT_NEAR(rx, 1000, 5);

  panel.Audio().PTTButtonClick(false);
  EXPECT_TRUE(panel.Audio().ACMIn.Active());
  double tx = 0;
  EXPECT_TRUE(WaitFor([&] { return (tx = HeardFrequency("server-out.raw")) > 0; }, 30000));
  EXPECT_NEAR(tx, 700, 5);
  EXPECT_GT(panel.Audio().Level(), 0);

  // The disconnect ends transmitting and receive audio.
  DisconnectAndWait(s);
  EXPECT_FALSE(panel.Audio().Transmitting());
  EXPECT_FALSE(panel.Audio().ACMIn.Active());
  EXPECT_FALSE(panel.Audio().ACMOut.Active());
  EXPECT_FALSE(s.AudioOn());
}

}  // namespace
