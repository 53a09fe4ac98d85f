// The client's session against the real TalvoServer program with the simulated K2, and the
// TalvoClient program itself, offscreen.
#include <gtest/gtest.h>
#include <signal.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "client/ClientSession.h"
#include "client/K2FrontPanel.h"
#include "client/QSOPanel.h"
#include "client/TAMemo.h"
#include "common/Adif.h"
#include "common/Utils.h"
#include "controls/KelmKnob.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/client/Recorder.h"
#include "tests/logbook/AdifReader.h"
#include "tests/logbook/FakeEqsl.h"
#include "tests/support/Loopback.h"
#include "tests/support/TalvoProcess.h"
#include "tests/support/WaitFor.h"
#include "tests/support/k2sim/K2Simulator.h"
#include "web/Url.h"

namespace {

using testsupport::WaitFor;

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
    StartTalvoProcess(process, QString::fromLatin1(binary), home_);
  }

  // The client's own call and the station "Local K2" for the server that StartServer runs.
  void WriteAliceStation() {
    const std::pair<const char*, std::string> keys[] = {{"Addr", "127.0.0.1"},
                                                        {"Port", std::to_string(port_)},
                                                        {"Passwd", Scramble("secret", 3716)}};
    WriteIniString(clientIni_, "Settings", "Call", "alice");
    for (const auto& [key, value] : keys) WriteIniString(clientIni_, "Local K2", key, value);
  }

  // The server may still be starting: a refused first attempt is retried.
  static bool ConnectWithRetries(TClientSession& session) {
    for (int attempt = 0; attempt < 20; ++attempt) {
      if (ConnectAndWait(session, "Local K2")) return true;
      platform::WaitMessages(250);
    }
    return false;
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
    live = ConnectAndWait(session, "Local K2");
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

  DisconnectAndWait(session);
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

// A contact saved in the contact window goes to the client's ADIF file, to the server's (through
// "LOG"), to the worked-before list and to eQSL; both ADIF files are read back by an outside
// reader. An unreachable eQSL service is reported in the failure box.
TEST_F(ClientProgram, SavesAContactEverywhereAndUploadsItToEqsl) {
  StartServer();
  FakeEqsl eqsl("200 OK", "<HTML><BODY>\nResult: 1 out of 1 records added<BR></BODY></HTML>");
  const std::string eqslPassword = "eqsl-pw-4711";
  WriteIniString(clientIni_, "Settings", "Call", "alice");
  WriteIniString(clientIni_, "Settings", "eQSL Server", eqsl.Server());
  WriteIniString(clientIni_, "Debug", "Trace", "1");
  WriteIniString(clientIni_, "Local K2", "Addr", "127.0.0.1");
  WriteIniString(clientIni_, "Local K2", "Port", std::to_string(port_));
  WriteIniString(clientIni_, "Local K2", "Passwd", Scramble("secret", 3716));
  WriteIniString(clientIni_, "Local K2", "EQSL Enabled", "1");
  WriteIniString(clientIni_, "Local K2", "EQSL Password", Scramble(eqslPassword, 6402));
  std::vector<std::string> asked, shown;
  platform::SetQuestionHook([&](const std::string& text, const std::string& caption) {
    asked.push_back(caption + "|" + text);
    return true;
  });
  platform::SetMessageBoxHook([&](const std::string& text, const std::string& caption) {
    shown.push_back(caption + "|" + text);
  });
  struct HooksReset {  // also when a check ends the test early: the hooks point into it
    ~HooksReset() {
      platform::SetQuestionHook(nullptr);
      platform::SetMessageBoxHook(nullptr);
    }
  } hooksReset;
  std::remove(AdifPath().c_str());
  Recorder rec;
  TClientSession session(clientIni_, home_ + "/TalvoClient.log", rec.Views());
  TQSOPanel panel(session);
  bool live = false;
  for (int attempt = 0; attempt < 20 && !live; ++attempt) {
    live = ConnectAndWait(session, "Local K2");
    if (!live) platform::WaitMessages(250);
  }
  ASSERT_TRUE(live) << ::testing::PrintToString(rec.notices);
  ASSERT_TRUE(WaitFor([&] { return session.FreqKnown(); }, 15000));
  session.SendCommand("FREQ 14060");
  ASSERT_TRUE(WaitFor([&] { return session.CurrentFreqText() == "14060.000"; }, 10000));

  panel.show();
  panel.edCall->setText(QStringLiteral("dl1abc"));
  panel.edName->setText(QString::fromLatin1("J\xE9r\xF4me"));
  panel.edSerS->setText(QStringLiteral("041"));
  panel.edComment->setText(QStringLiteral("tnx"));
  panel.LogStartBtnClick();
  panel.LogBtnClick();
  EXPECT_EQ(asked, std::vector<std::string>{"eQSL contact?|eQSL contact with DL1ABC?"});
  EXPECT_TRUE(shown.empty()) << ::testing::PrintToString(shown);
  EXPECT_EQ(panel.edCall->text(), QString());
  EXPECT_EQ(panel.edSerS->text(), QStringLiteral("042"));
  ASSERT_EQ(eqsl.Requests().size(), 1u);
  EXPECT_NE(eqsl.Requests()[0].find("ADIFData=Talvo%20v1.0%20"), std::string::npos);
  EXPECT_NE(eqsl.Requests()[0].find(PercentEncode("<EQSL_USER:8>Local K2<EQSL_PSWD:12>" +
                                                  eqslPassword + "<EOH><CALL:6>DL1ABC")),
            std::string::npos)
      << eqsl.Requests()[0];

  const std::string serverAdif = home_ + "/TalvoServer.adi";
  ASSERT_TRUE(WaitFor(
      [&] { return FileText(serverAdif).find("Op: alice. tnx<EOR>") != std::string::npos; }, 10000))
      << FileText(serverAdif);
  std::map<std::string, std::string> expected = {
      {"call", "DL1ABC"},  {"freq", "14.060000"}, {"band", "20m"},          {"rst_rcvd", "599"},
      {"rst_sent", "599"}, {"stx", "041"},        {"name", "J\xE9r\xF4me"}, {"comment", "tnx"}};
  for (const std::string& file : {AdifPath(), serverAdif}) {
    TAdifReading reading = ReadAdifOutside(file);
    ASSERT_TRUE(reading.Error.empty()) << reading.Error;
    ASSERT_EQ(reading.Records.size(), 2u) << file;
    std::map<std::string, std::string>& record = reading.Records["0"];
    for (const auto& [field, value] : expected)
      EXPECT_EQ(record[field], field == "comment" && file == serverAdif ? "Op: alice. tnx" : value)
          << file << " " << field;
    EXPECT_EQ(record["qso_date"].size(), 8u);
    EXPECT_EQ(record["time_on"], record["time_off"]);
  }
  const std::string worked = FileText(platform::ProgramFolder() + "qso.log");
  EXPECT_NE(worked.find("DL1ABC\t20m\t"), std::string::npos) << worked;
  EXPECT_EQ(worked.substr(worked.size() - 2), "\r\n");
  const std::string trace = FileText(home_ + "/TalvoClient.log");
  EXPECT_NE(trace.find("LOG DL1ABC <CALL:6>DL1ABC"), std::string::npos) << trace;
  EXPECT_EQ(trace.find(eqslPassword), std::string::npos);
  EXPECT_EQ(FileText(home_ + "/TalvoServer.log").find(eqslPassword), std::string::npos);

  // The same call again on the same band: the worked-before box.
  panel.edCall->setText(QStringLiteral("DL1ABC"));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("Worked before|Worked DL1ABC before on 20m at ", 0), 0u) << shown[0];

  // The service cannot be reached: the failure box; the contact is saved all the same.
  shown.clear();
  WriteIniString(clientIni_, "Settings", "eQSL Server",
                 "127.0.0.1:" + std::to_string(FakeServer().Port()));
  panel.edCall->setText(QStringLiteral("G4XYZ"));
  panel.LogBtnClick();
  ASSERT_EQ(shown.size(), 1u) << ::testing::PrintToString(shown);
  EXPECT_EQ(shown[0].rfind("eQSL real-time logging error|EQSL real-time logging failed. Status "
                           "code: 404. Reason: ",
                           0),
            0u)
      << shown[0];
  EXPECT_NE(FileText(AdifPath()).find("<CALL:5>G4XYZ"), std::string::npos);

  panel.hide();
  DisconnectAndWait(session);
}

// Text typed into the contact window's Morse keyboard goes word by word through the real server
// into the simulated K2's keyer; Esc empties the keyer.
TEST_F(ClientProgram, TypedMorseReachesTheKeyer) {
  StartServer();
  WriteAliceStation();
  Recorder rec;
  TClientSession session(clientIni_, home_ + "/TalvoClient.log", rec.Views());
  TQSOPanel panel(session);
  ASSERT_TRUE(ConnectWithRetries(session)) << ::testing::PrintToString(rec.notices);

  auto keyed = [this] {
    std::string text;
    for (const std::string& command : sim_.CommandLog())
      if (command.rfind("KY ", 0) == 0)
        for (char c : command.substr(3, command.size() - 4))
          if (c != ' ') text += c;
    return text;
  };
  panel.show();
  panel.cbUpperCase->setChecked(true);
  auto type = [&panel](int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(panel.TypeAhead, &press);
  };
  for (QChar c : QStringLiteral("cq de alice")) type(0, QString(c));
  panel.SendBtn->click();
  for (QChar c : QStringLiteral(" test k")) type(0, QString(c));
  type(Qt::Key_Return, QStringLiteral("\r"));
  EXPECT_TRUE(WaitFor([&] { return keyed().find("CQDEALICETESTK") != std::string::npos; }, 20000))
      << keyed();
  const std::size_t before = sim_.CommandCount();
  type(Qt::Key_Escape, QStringLiteral("\x1b"));
  EXPECT_TRUE(sim_.WaitForCommand("KY @;", 10000, before));
  EXPECT_EQ(panel.SendBtn->text(), QStringLiteral("Send"));
  panel.hide();
  DisconnectAndWait(session);
  EXPECT_EQ(FileText(home_ + "/TalvoServer.log").find("Invalid command"), std::string::npos);
}

// The ways out of the program, in every state of its connection: the panel as the program runs
// it, with the program's signal handling and its event loop, against a server that closes at
// "BYE" as TalvoServer does. Each way must end the event loop within seconds, and "BYE" must be
// the last line sent whenever a farewell was due; with receive audio on (ALSA's null device),
// the farewell says "AU OFF" too.
TEST(ClientWaysOut, EveryWayOutEndsTheProgramInEveryState) {
  enum class Way { Term, Int, MenuClose, WindowClose, PowerYes };
  using S = TSessionState;
  struct Row {
    Way way;
    S state;
    bool audio = false;
  };
  std::vector<Row> rows;
  for (Way way : {Way::Term, Way::Int, Way::MenuClose, Way::WindowClose})
    for (S state : {S::Idle, S::Connecting, S::LoggingIn, S::SettingUp, S::Live, S::Disconnecting})
      rows.push_back({way, state});
  rows.push_back({Way::PowerYes, S::Live});
  rows.push_back({Way::Term, S::Live, true});
  setenv("TALVO_ALSA_PCM_OUT", "null", 1);

  static TK2FrontPanel* current = nullptr;  // as the program's main holds its panel
  platform::OnTerminationSignal([](int) {
    if (current != nullptr) current->CloseProgram();
  });
  platform::SetQuestionHook([](const std::string&, const std::string&) { return true; });
  const std::string home = TestHome();
  const std::string ini = home + "/TalvoClient.INI";
  WriteIniString(ini, "Settings", "Call", "DL1ABC");
  for (const Row& row : rows) {
    SCOPED_TRACE("way " + std::to_string(static_cast<int>(row.way)) + ", state " +
                 std::to_string(static_cast<int>(row.state)));
    HangingListener hanging;
    FakeServer server;
    const bool mute = row.state == S::LoggingIn;
    server.Run([mute](FakeServer::Conn& c) {
      c.SendLine("Talvo Server 1.0");
      c.WaitLine("AUTH");
      if (mute) return void(c.WaitLine("BYE", 15000));
      c.SendLine("# Welcome");
      c.SendLine("PRIV 2");
      c.WaitLine("BYE", 30000);
      c.Close();
    });
    const int port = row.state == S::Connecting ? hanging.Port() : server.Port();
    WriteIniString(ini, "Station", "Addr", "127.0.0.1");
    WriteIniString(ini, "Station", "Port", std::to_string(port));
    TK2FrontPanel panel(ini, home + "/TalvoClient.log", nullptr, false);
    panel.show();
    current = &panel;
    struct Ended {  // also when a check ends the row early
      ~Ended() { current = nullptr; }
    } ended;
    TClientSession& session = panel.Session();
    const S reach = row.state == S::Disconnecting ? S::Live : row.state;
    if (reach != S::Idle) session.ConnectTo("Station");
    ASSERT_TRUE(WaitFor([&] { return session.State() == reach; }, 15000));
    if (row.audio) {
      panel.AFGainKnob()->SetPosition(3);
      ASSERT_TRUE(server.WaitForLine("AU ON"));
    }
    if (row.state == S::Disconnecting) {
      panel.PowerBtnClick();
      ASSERT_TRUE(
          WaitFor([&] { return !server.Texts().empty() && server.Texts().back() == "RX"; }));
    }
    QTimer::singleShot(0, &panel, [&] {
      switch (row.way) {
        case Way::Term:
          ::kill(::getpid(), SIGTERM);
          break;
        case Way::Int:
          ::kill(::getpid(), SIGINT);
          break;
        case Way::MenuClose:
          for (QAction* item : panel.PowerPopup()->actions())
            if (item->text() == QStringLiteral("Close")) item->trigger();
          break;
        case Way::WindowClose:
          panel.close();
          break;
        case Way::PowerYes:
          panel.PowerBtnClick();
          break;
      }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(8000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "the program did not end";
    EXPECT_TRUE(panel.isHidden());
    EXPECT_TRUE(session.Idle());
    const bool farewell = row.state >= S::SettingUp;
    const std::vector<std::string> sent = server.Texts();
    EXPECT_EQ(farewell, !sent.empty() && sent.back() == "BYE") << ::testing::PrintToString(sent);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "BYE"), farewell ? 1 : 0);
    const std::vector<std::string> audioOff = {"RX", "AU OFF", "DISP OFF", "SM OFF", "BYE"};
    EXPECT_EQ(row.audio,
              std::search(sent.begin(), sent.end(), audioOff.begin(), audioOff.end()) != sent.end())
        << ::testing::PrintToString(sent);
  }
  unsetenv("TALVO_ALSA_PCM_OUT");
  platform::SetQuestionHook(nullptr);
}

}  // namespace
