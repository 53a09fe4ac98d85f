// The client's session against the real TalvoServer program with the simulated K2, and the
// TalvoClient program itself, offscreen.
#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "client/ClientSession.h"
#include "common/Utils.h"
#include "platform/MessagePump.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/client/Recorder.h"
#include "tests/support/k2sim/K2Simulator.h"

namespace {

template <class Pred>
bool WaitFor(Pred pred, int timeoutMs) {
  for (int waited = 0; !pred(); waited += 20) {
    if (waited >= timeoutMs) return false;
    platform::WaitMessages(20);
  }
  return true;
}

class ClientProgram : public ::testing::Test {
 protected:
  void TearDown() override { Stop(server_); }

  void StartServer() {
    sim_.Start();
    WriteIniString(serverIni_, "COMM", "Port", sim_.SlavePath());
    WriteIniString(serverIni_, "Control", "Port", std::to_string(port_));
    WriteIniString(serverIni_, "Control", "Address", "127.0.0.1");
    WriteIniString(serverIni_, "Users", "User 1", "alice");
    WriteIniString(serverIni_, "Passwords", "alice", Scramble("secret", 2958));
    WriteIniString(serverIni_, "Privileges", "alice", "1");
    WriteIniString(serverIni_, "Messages", "Welcome",
                   "You are connected to my K2.||You have %p access.");
    WriteIniString(serverIni_, "Messages", "Logging Out", "Logging out. 73!");
    Start(server_, TALVO_SERVER_BINARY);
  }

  void Start(QProcess& process, const char* binary) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TALVO_HOME", QString::fromStdString(home_));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(env);
    process.setProgram(QString::fromLatin1(binary));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start();
    ASSERT_TRUE(process.waitForStarted(10000));
  }

  static int Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return process.exitCode();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    if (!process.waitForFinished(15000)) {
      process.kill();
      process.waitForFinished(5000);
      return -1;
    }
    return process.exitCode();
  }

  const std::string home_ = TestHome();
  const std::string serverIni_ = home_ + "/TalvoServer.ini";
  const std::string clientIni_ = home_ + "/TalvoClient.INI";
  const int port_ = FakeServer().Port();  // free again once its listener is gone
  k2sim::K2Simulator sim_;
  QProcess server_;
};

TEST_F(ClientProgram, ConnectsLogsInFollowsTheRadioAndLogsOut) {
  StartServer();
  WriteIniString(clientIni_, "Settings", "Call", "alice");
  WriteIniString(clientIni_, "Local K2", "Addr", "127.0.0.1");
  WriteIniString(clientIni_, "Local K2", "Port", std::to_string(port_));
  WriteIniString(clientIni_, "Local K2", "Passwd", Scramble("secret", 3716));
  Recorder rec;
  TClientSession session(clientIni_, home_ + "/TalvoClient.log", rec.Views());

  // The server may still be starting: a refused first attempt is retried.
  bool live = false;
  for (int attempt = 0; attempt < 20 && !live; ++attempt) {
    live = session.ConnectTo("Local K2");
    if (!live) platform::WaitMessages(250);
  }
  ASSERT_TRUE(live) << ::testing::PrintToString(rec.notices);
  EXPECT_EQ(session.Greeting().rfind("Talvo Server 1.0 Date: ", 0), 0u) << session.Greeting();
  EXPECT_EQ(session.AccessLevel(), 1);
  EXPECT_EQ(session.PendingMessage(), "You are connected to my K2.\rYou have TX/RX access.");

  // "DISP ON" makes the server poll the radio: its frequency arrives.
  ASSERT_TRUE(WaitFor([&] { return session.FreqKnown(); }, 15000));
  session.SendCommand("FREQ 14060");
  EXPECT_TRUE(sim_.WaitForCommand("FA00014060000;", 10000));
  EXPECT_TRUE(WaitFor([&] { return session.CurrentFreqText() == "14060.000"; }, 10000))
      << session.CurrentFreqText();
  bool displayed = false;
  for (const auto& [word, value] : rec.status) displayed |= word == TServerWord::Display;
  EXPECT_TRUE(displayed);

  session.Disconnect();
  EXPECT_FALSE(session.Connected());
  EXPECT_EQ(session.StationName(), "");
  EXPECT_TRUE(sim_.WaitForCommand("RX;", 10000));
  EXPECT_TRUE(WaitFor(
      [&] {
        return FileText(home_ + "/TalvoServer.log").find("] Disconnected") != std::string::npos;
      },
      10000));
  std::string log = FileText(home_ + "/TalvoServer.log");
  EXPECT_NE(log.find("\t[127.0.0.1] Connection from alice\r\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("Invalid command"), std::string::npos) << log;
}

TEST_F(ClientProgram, TheProgramStartsOffscreenAndKeepsItsSettings) {
  WriteIniString(clientIni_, "Main Window", "Left", "12");
  WriteIniString(clientIni_, "Main Window", "Top", "34");
  WriteIniString(clientIni_, "Settings", "RX Only", "1");
  QProcess client;
  Start(client, TALVO_CLIENT_BINARY);
  platform::WaitMessages(1500);
  ASSERT_EQ(client.state(), QProcess::Running);
  EXPECT_EQ(Stop(client), 0);
  EXPECT_EQ(ReadIniString(clientIni_, "Main Window", "Left", ""), "12");
  EXPECT_EQ(ReadIniString(clientIni_, "Main Window", "Top", ""), "34");
  EXPECT_EQ(ReadIniString(clientIni_, "Settings", "RX Only", ""), "1");
}

}  // namespace
