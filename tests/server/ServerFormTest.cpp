// The server window in process: its settings, its timer and its session reset.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <cstdio>
#include <filesystem>

#include "common/ChatWin.h"
#include "common/Utils.h"
#include "controls/LEDMeter.h"
#include "desktop/ThemeManager.h"
#include "desktop/TrayIcon.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "platform/Tick.h"
#include "server/ServerForm.h"
#include "server/SettingsDialog.h"
#include "server/UserDialog.h"
#include "sockets/MD5.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/FileContents.h"
#include "tests/support/ServerFixtures.h"

namespace {

class ServerFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_unique<TEventLog>(platform::ChangeFileExt(platform::ProgramFile(), ".log"));
  }
  void Ini(const std::string& section, const std::string& key, const std::string& value) {
    ini_.Set(section, key, value);
  }
  TestIni ini_{platform::ChangeFileExt(platform::ProgramFile(), ".ini")};
  std::unique_ptr<TEventLog> log_;
};

TEST_F(ServerFormTest, DefaultsWithoutAnIniFile) {
  Ini("Control", "Port", "0");  // the default 6110 may be taken on a test machine
  TServerForm form(*log_);
  EXPECT_EQ(form.StationCall(), "MYCALL");
  EXPECT_FALSE(form.BusyFlag());
  EXPECT_EQ(form.windowTitle().toStdString(), "Talvo Server 1.0");
  form.FormShow();
  EXPECT_EQ(form.Session().ServerWSocket.Addr(), "0.0.0.0");
  EXPECT_TRUE(form.Listening());
  EXPECT_EQ(form.StatusText(), "Listening for connection");
  EXPECT_EQ(form.Session().SerialPort.CommPort(), "COM1");
  EXPECT_EQ(form.Session().SerialPort.BaudRate(), 4800u);
  EXPECT_EQ(form.Session().SerialPort.StopBits(), 2);
  EXPECT_EQ(form.Session().SoundCard(), -1);
  EXPECT_EQ(form.Session().SquelchLevel(), 20);
  EXPECT_FALSE(form.StartMinimized());
}

TEST_F(ServerFormTest, DefaultListeningAddressAndPort) {
  TServerForm form(*log_);
  std::string shown;
  platform::SetMessageBoxHook([&](const std::string& t, const std::string&) { shown = t; });
  form.FormShow();
  platform::SetMessageBoxHook(nullptr);
  // Either it listens on the default port, or the port was taken and the error was shown.
  if (form.Listening()) {
    EXPECT_EQ(form.Session().ServerWSocket.Port(), "6110");
  } else {
    EXPECT_NE(shown.find("6110"), std::string::npos) << shown;
  }
}

TEST_F(ServerFormTest, StoredValuesAndBadNumbers) {
  Ini("Identification", "Call", "DL1ABC");
  Ini("Access Control", "K2 Busy", "1");
  Ini("Audio", "Sound card", "abc");
  Ini("Audio", "Squelch", "abc");
  Ini("Control", "Port", "0");
  Ini("COMM", "Port", "/dev/ttyUSB7");
  Ini("General", "Minimized", "1");
  TServerForm form(*log_);
  EXPECT_EQ(form.StationCall(), "DL1ABC");
  EXPECT_TRUE(form.BusyFlag());
  form.FormShow();
  EXPECT_EQ(form.Session().SoundCard(), -1);
  EXPECT_EQ(form.Session().SquelchLevel(), 0);
  EXPECT_EQ(form.Session().SerialPort.CommPort(), "/dev/ttyUSB7");
  EXPECT_TRUE(form.StartMinimized());
  form.TimerTimer();
  EXPECT_FALSE(form.StartMinimized());  // the first tick acted on it

  form.SetBusyFlag(false);
  EXPECT_EQ(ini_.Get("Access Control", "K2 Busy", "x"), "");
}

TEST_F(ServerFormTest, StoredPositionFromMinusSevenOnly) {
  Ini("General", "Left", "-8");
  Ini("General", "Top", "100");
  {
    TServerForm form(*log_);
    EXPECT_NE(form.pos().y(), 100);  // centred
  }
  Ini("General", "Left", "-7");
  {
    TServerForm form(*log_);
    EXPECT_EQ(form.pos().x(), -7);
    EXPECT_EQ(form.pos().y(), 100);
  }
}

TEST_F(ServerFormTest, TimerResetsTheWindowAfterASessionAndRunsARequestedShutdown) {
  Ini("Control", "Port", "0");
  TServerForm form(*log_);
  TChatWin chat;
  form.SetChatWin(&chat);
  form.FormShow();
  EXPECT_FALSE(chat.SendBtn()->isEnabled());
  // A session that ends by the client's close: the window returns to idle on the next tick.
  form.Session().CliWSocketSessionClosed(0);
  EXPECT_TRUE(form.Session().SessionEnded());
  form.TimerTimer();
  EXPECT_FALSE(form.Session().SessionEnded());
  EXPECT_FALSE(form.Session().SessionStarted());
  EXPECT_EQ(form.StatusText(), "Listening for connection");
  EXPECT_EQ(form.TrayIcon()->Hint(), "Talvo Server");
}

TEST_F(ServerFormTest, TheThemeManagerLooksAfterTheWindowsControls) {
  Ini("Control", "Port", "0");
  TServerForm form(*log_);
  TThemeManager* manager = form.ThemeManager();
  ASSERT_NE(manager, nullptr);
  EXPECT_TRUE(manager->IsMainManager());
  EXPECT_EQ(manager->Options(), kDefaultThemeOptions);
  form.show();
  QWidget* central = form.centralWidget();
  std::uint32_t start = platform::GetTickCount();
  while (!manager->IsRegistered(central) && platform::GetTickCount() - start < 5000)
    platform::WaitMessages(5);
  EXPECT_TRUE(manager->IsRegistered(&form));
  EXPECT_TRUE(manager->IsRegistered(central));
}

TEST_F(ServerFormTest, TheWindowAndItsDialogsTakeTheDesktopsMessageFont) {
  const QFont saved = QApplication::font("QMessageBox");
  QFont message(QStringLiteral("Serif"));
  message.setPointSize(QApplication::font().pointSize() + 5);
  QApplication::setFont(message, "QMessageBox");
  TServerForm form(*log_);
  TSettings settings(&form, form.IniPath(), false);
  TUsrDlg user(&settings);
  QApplication::setFont(saved, "QMessageBox");
  EXPECT_EQ(form.font().pointSize(), message.pointSize());
  EXPECT_EQ(settings.font().pointSize(), message.pointSize());
  EXPECT_EQ(user.font().pointSize(), message.pointSize());
}

// "Talvo Help" writes its page beside the settings file; without a browser to open it (as on the
// offscreen platform), or without a page to open, a box gives the page's path.
TEST_F(ServerFormTest, TheHelpPageIsWrittenBesideTheSettingsAndABoxGivesItsPath) {
  TServerForm form(*log_);
  const std::string path = platform::ProgramFolder() + "TalvoServerHelp.html";
  EXPECT_EQ(form.HelpPagePath(), path);
  QAction* help = nullptr;
  for (QAction* a : form.menuBar()->findChildren<QAction*>())
    if (a->text() == QStringLiteral("Talvo Help")) help = a;
  ASSERT_NE(help, nullptr);
  for (const bool writable : {true, false}) {
    std::filesystem::remove_all(path);
    if (!writable) std::filesystem::create_directory(path);
    std::string shown;
    platform::SetMessageBoxHook([&](const std::string& t, const std::string&) { shown = t; });
    help->trigger();
    platform::SetMessageBoxHook(nullptr);
    EXPECT_NE(shown.find(path), std::string::npos) << shown;
    EXPECT_EQ(FileContents(path).find("<h1>Talvo Server</h1>") != std::string::npos, writable);
    EXPECT_EQ(shown.find("could not be written") != std::string::npos, !writable) << shown;
  }
  std::filesystem::remove_all(path);
}

TEST_F(ServerFormTest, ClosingAsksAndNoKeepsTheServerRunning) {
  Ini("Control", "Port", "0");
  TServerForm form(*log_);
  form.show();
  bool asked = false;
  platform::SetQuestionHook([&](const std::string& text, const std::string&) {
    asked = text == "Close Talvo Server?";
    return false;
  });
  form.close();
  platform::SetQuestionHook(nullptr);
  EXPECT_TRUE(asked);
  EXPECT_FALSE(form.Closing());
  EXPECT_EQ(ini_.Get("General", "Minimized"), "1");
  EXPECT_TRUE(form.Listening());
}

}  // namespace

namespace {

// A whole session in process: the chat reaches the operator's window, and the session end
// releases the radio with "RX;" in a voice mode.
TEST_F(ServerFormTest, ChatReachesTheOperatorAndTheEndReleasesTheRadio) {
  k2sim::K2State radio;
  radio.mode = 2;  // USB
  k2sim::K2Simulator sim(radio);
  sim.Start();
  ini_.LoopbackServer(sim);
  TServerForm form(*log_);
  TChatWin chat;
  form.SetChatWin(&chat);
  form.FormShow();
  ASSERT_TRUE(form.Listening());
  int port = std::stoi(form.Session().ServerWSocket.GetBoundPort());

  LineClient client;
  EXPECT_EQ(LogIn(client, port, "alice", "secret"), form.Session().LoginBanner());
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 1");
  EXPECT_TRUE(form.Session().SessionStarted());
  EXPECT_EQ(form.StatusText(), "Connected: alice");
  EXPECT_TRUE(chat.SendBtn()->isEnabled());

  client.SendLine("CHAT K1ABC> good evening");
  for (int i = 0; i < 200 && chat.Conversation().empty(); ++i) platform::WaitMessages(10);
  EXPECT_EQ(chat.Conversation(), "K1ABC> good evening\n");

  client.SendLine("DISP ON");
  EXPECT_EQ(client.WaitFor("MODE", 10000), "MODE USB");
  sim.ClearCommandLog();
  client.Close();  // the client goes away without BYE
  for (int i = 0; i < 500 && !form.Session().SessionEnded(); ++i) platform::WaitMessages(10);
  EXPECT_TRUE(form.Session().SessionEnded());
  EXPECT_TRUE(sim.WaitForCommand("RX;", 10000));
  for (int i = 0; i < 100 && form.Session().SessionEnded(); ++i) platform::WaitMessages(10);
  EXPECT_EQ(form.StatusText(), "Listening for connection");
  EXPECT_FALSE(chat.SendBtn()->isEnabled());

  // The operator can disconnect a caller that has not logged in.
  ASSERT_TRUE(client.Connect(port));
  EXPECT_EQ(client.ReadLine().rfind("Talvo Server 1.0", 0), 0u);
  form.DisconnectMenuClick();
  EXPECT_TRUE(client.WaitClosed(5000));
}

}  // namespace

namespace {

// A form listening on loopback with the simulated K2 as its radio and one TX/RX user.
class ServerSessionTest : public ServerFormTest {
 protected:
  void SetUp() override {
    ServerFormTest::SetUp();
    sim_.Start();
    ini_.LoopbackServer(sim_);
  }

  // Starts the form and logs a client in until its session has started.
  void StartSession(TServerForm& form, LineClient& client) {
    form.FormShow();
    ASSERT_TRUE(form.Listening());
    port_ = std::stoi(form.Session().ServerWSocket.GetBoundPort());
    ASSERT_NE(LogIn(client, port_, "alice", "secret"), "");
    ASSERT_EQ(client.WaitFor("PRIV", 10000), "PRIV 1");
    ASSERT_TRUE(form.Session().SessionStarted());
  }

  std::vector<std::string> LogTail(std::size_t n) const {
    const auto& lines = log_->Lines();
    std::vector<std::string> tail;
    for (std::size_t i = lines.size() > n ? lines.size() - n : 0; i < lines.size(); ++i)
      tail.push_back(lines[i].substr(lines[i].find('\t') + 1));
    return tail;
  }

  k2sim::K2Simulator sim_;
  int port_ = 0;
};

TEST_F(ServerSessionTest, OperatorDisconnectSendsTheDisconnectionTextThenCloses) {
  Ini("Messages", "Disconnection", "Bye %u, you had %p access.");
  TServerForm form(*log_);
  LineClient client;
  StartSession(form, client);
  form.DisconnectMenuClick();
  EXPECT_EQ(client.WaitFor("# ", 5000), "# Bye alice, you had TX/RX access.");
  EXPECT_TRUE(client.WaitClosed(5000));
  EXPECT_TRUE(form.Session().SessionEnded());
  EXPECT_EQ(LogTail(1), std::vector<std::string>{"[127.0.0.1] Disconnected"});
}

TEST_F(ServerSessionTest, ShutDownSendsNothingButAConfirmedCloseSendsTheShuttingDownText) {
  Ini("Messages", "Shutting Down", "The server is shutting down. Goodbye!");
  {
    TServerForm form(*log_);
    LineClient client;
    StartSession(form, client);
    form.CloseServer();
    EXPECT_TRUE(form.Closing());
    EXPECT_EQ(client.WaitFor("# ", 1500), "<closed>");  // the session ends before the program
  }
  {
    TServerForm form(*log_);
    LineClient client;
    StartSession(form, client);
    platform::SetQuestionHook([](const std::string&, const std::string&) { return true; });
    form.close();
    platform::SetQuestionHook(nullptr);
    EXPECT_EQ(client.WaitFor("# ", 5000), "# The server is shutting down. Goodbye!");
    EXPECT_NE(ini_.Get("General", "Left"), "");
    EXPECT_TRUE(client.WaitClosed(5000));
    EXPECT_EQ(LogTail(1), std::vector<std::string>{"[127.0.0.1] Disconnected"});
  }
}

}  // namespace

namespace {

// A termination signal that arrives while the operator is being asked closes the program even
// when the answer is No, and without the shutdown message, as "Shut down" does.
TEST_F(ServerSessionTest, SignalDuringTheCloseQuestionStillCloses) {
  Ini("Messages", "Shutting Down", "The server is shutting down. Goodbye!");
  TServerForm form(*log_);
  LineClient client;
  StartSession(form, client);
  platform::SetQuestionHook([&](const std::string&, const std::string&) {
    form.CloseServer();
    return false;
  });
  form.close();
  platform::SetQuestionHook(nullptr);
  EXPECT_TRUE(form.Closing());
  EXPECT_NE(ini_.Get("General", "Minimized"), "1");
  EXPECT_NE(ini_.Get("General", "Left"), "");
  EXPECT_EQ(client.WaitFor("# ", 1500), "<closed>");
}

TEST_F(ServerSessionTest, TheAudioMetersFollowTheStreamAndBothDirectionsCloseWithTheSession) {
  using namespace audiotest;
  const std::string in = HomeFile("meters-in.raw");
  WriteFile(in, Bytes(Tone(80000, 1000, 8000)));
  UseCaptureFile(in);
  UsePlaybackFile(HomeFile("meters-out.raw"));
  TServerForm form(*log_);
  LineClient client;
  StartSession(form, client);
  TLEDMeter* rx = form.RXAudio();
  TLEDMeter* tx = form.TXAudio();
  EXPECT_EQ(rx->Hint(), "RX audio bytes sent (0 - 16Kb/s)");
  EXPECT_EQ(tx->Hint(), "TX audio bytes sent (0 - 16Kb/s)");
  for (TLEDMeter* m : {rx, tx}) {
    EXPECT_EQ(m->Max(), 2000);
    EXPECT_EQ(m->NumDigits(), 20);
    EXPECT_EQ(m->StartColor2(), 500);
    EXPECT_EQ(m->StartColor3(), 1500);
  }
  client.SendLine("AU ON");
  EXPECT_EQ(client.WaitFor("AU ", 10000).substr(0, 3), "AU ");
  EXPECT_TRUE(WaitFor([&] { return rx->Position() > 0; }, 5000));
  EXPECT_EQ(rx->Position(), form.Session().Audio.RxAudio());
  client.SendLine("AU DATA 0000000100000028" + std::string(40, 'A'));
  EXPECT_TRUE(WaitFor([&] { return tx->Position() == 40; }, 5000));

  // The session ends without AU OFF: capture and playback close at once.
  client.Close();
  EXPECT_TRUE(WaitFor([&] { return !form.Session().Audio.RxRunning(); }, 10000));
  EXPECT_FALSE(form.Session().Audio.ACMIn.Active());
  EXPECT_FALSE(form.Session().Audio.TxRunning() || form.Session().Audio.ACMConv2.Active());
  EXPECT_TRUE(WaitFor([&] { return rx->Position() == 0 && tx->Position() == 0; }, 5000));
  // The next tick resets the window for the next caller.
  EXPECT_TRUE(WaitFor([&] { return form.Session().TxRefStamp() == 0u; }, 5000));
  unsetenv("TALVO_ALSA_PCM_IN");
  unsetenv("TALVO_ALSA_PCM_OUT");
}

}  // namespace
