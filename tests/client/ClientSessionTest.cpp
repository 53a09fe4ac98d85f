// The client's session: its dispatcher fed with byte streams, and its side of the protocol
// against a scripted server on loopback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "client/ClientSession.h"
#include "common/Utils.h"
#include "platform/Paths.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/client/Recorder.h"

namespace {

using Status = std::vector<std::pair<TServerWord, std::string>>;
using Texts = std::vector<std::string>;

void Feed(TClientSession& s, const std::string& bytes) {
  s.DataReceived(bytes.data(), bytes.size());
}

long Ms(FakeServer::Clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

const char kBanner[] = "Talvo Server 1.0 Date: 12/8/26 Time: 22:00:00";

class ClientSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = TestHome();
    ini_ = home_ + "/TalvoClient.INI";
    trace_ = home_ + "/TalvoClient.log";
    Ini("Settings", "Call", "DL1ABC");
    Station("Test", "127.0.0.1", server_.Port(), "secret");
  }
  void Ini(const std::string& section, const std::string& key, const std::string& value) {
    WriteIniString(ini_, section, key, value);
  }
  void Station(const std::string& name, const std::string& addr, int port,
               const std::string& password) {
    Ini(name, "Addr", addr);
    Ini(name, "Port", std::to_string(port));
    Ini(name, "Passwd", Scramble(password, 3716));
  }
  std::unique_ptr<TClientSession> NewSession() {
    auto s = std::make_unique<TClientSession>(ini_, trace_, rec_.Views());
    s->SetWaitLimitMs(wait_);
    rec_.session = s.get();
    return s;
  }
  // A server that logs the caller in: banner, then after "AUTH" the welcome (if any) and PRIV.
  void LoginScript(const std::string& welcome, int level) {
    server_.Run([welcome, level](FakeServer::Conn& c) {
      c.SendLine(kBanner);
      if (c.WaitLine("AUTH").rfind("AUTH", 0) != 0) return;
      if (!welcome.empty()) c.SendLine("# " + welcome);
      c.Pause(200);
      c.SendLine("PRIV " + std::to_string(level));
    });
  }
  std::vector<std::string> TextsAfter(const std::string& first) {
    Texts all = server_.Texts(), after;
    bool on = false;
    for (const std::string& t : all) {
      if (on) after.push_back(t);
      if (t == first) on = true;
    }
    return after;
  }

  std::string home_, ini_, trace_;
  std::uint32_t wait_ = 10000;
  FakeServer server_;
  Recorder rec_;
};

// --- The dispatcher ---------------------------------------------------------------------------

TEST_F(ClientSessionTest, DispatcherTable) {
  struct Row {
    const char* name;
    Texts chunks;  // after the greeting
    std::string pending;
    int level;
    Status status;
    Texts chat, rx;
  };
  const Row rows[] = {
      {"message with line breaks", {"# Hello||World\r\n"}, "Hello\rWorld", 0, {}, {}, {}},
      {"only the second message waits", {"# one\r\n# two\r\n"}, "two", 0, {}, {}, {}},
      {"split over reads",
       {"FR", "EQ 7040.5", "0\r", "\n"},
       "",
       0,
       {{TServerWord::Freq, "7040.50"}},
       {},
       {}},
      {"A CR LF CR LF B CR",
       {"SM 1\r\n\r\nSM 2\r"},
       "",
       0,
       {{TServerWord::SMeter, "1"}, {TServerWord::SMeter, "2"}},
       {},
       {}},
      {"short and long forms",
       {"SMETER 3\r\nKS 20\r\nKSPEED 21\r\nPW 5.0\r\nRIT -120\r\nSQ 2\r\nSQUELCH OFF\r\n"
        "DISP 0014060000\r\nAU 00000000\r\n"},
       "",
       0,
       {{TServerWord::SMeter, "3"},
        {TServerWord::KSpeed, "20"},
        {TServerWord::KSpeed, "21"},
        {TServerWord::Pwr, "5.0"},
        {TServerWord::Rit, "-120"},
        {TServerWord::Squelch, "2"},
        {TServerWord::Squelch, "OFF"},
        {TServerWord::Display, "0014060000"},
        {TServerWord::Audio, "00000000"}},
       {},
       {}},
      {"chat and received text",
       {"CHAT DL2XYZ> hi there\r\nRXT CQ CQ\r\nCH \r\nRX\r\n"},
       "",
       0,
       {},
       {"DL2XYZ> hi there"},
       {"CQ CQ"}},
      {"ignored words",
       {"TX\r\nMODE CW\r\n## FA00014060000;\r\nALTVFO 1\r\nS 5\r\nfreq 1\r\n SM 5\r\n"},
       "",
       0,
       {},
       {},
       {}},
      {"PRIV", {"PRIV 2\r\n"}, "", 2, {}, {}, {}},
      {"PRIV no number", {"PRIV x\r\n"}, "", 0, {}, {}, {}},
      {"FREQ no number changes nothing", {"FREQ abc\r\nFREQ 7,1\r\n"}, "", 0, {}, {}, {}},
  };
  for (const Row& row : rows) {
    Recorder rec;
    TClientSession s(ini_, trace_, rec.Views());
    s.SetRxOnly(false);
    const std::string greeting = std::string(kBanner) + "\r\n";
    s.DataReceived(greeting.data(), greeting.size());
    for (const std::string& chunk : row.chunks) s.DataReceived(chunk.data(), chunk.size());
    EXPECT_EQ(s.Greeting(), kBanner) << row.name;
    EXPECT_EQ(s.PendingMessage(), row.pending) << row.name;
    EXPECT_EQ(s.AccessLevel(), row.level) << row.name;
    EXPECT_EQ(rec.status, row.status) << row.name;
    EXPECT_EQ(rec.chat.lines, row.chat) << row.name;
    EXPECT_EQ(rec.rx.lines, row.rx) << row.name;
  }
}

TEST_F(ClientSessionTest, FirstLineIsTheGreetingEvenWhenItLooksLikeAKeyword) {
  auto s = NewSession();
  Feed(*s, "\nPRIV 2\r\nPRIV 1\r\n");
  EXPECT_EQ(s->Greeting(), "PRIV 2");
  EXPECT_EQ(s->AccessLevel(), 1);
}

TEST_F(ClientSessionTest, FreqSetsTheFrequencyAndMakesItKnown) {
  auto s = NewSession();
  Feed(*s, "banner\r\n");
  EXPECT_FALSE(s->FreqKnown());
  Feed(*s, "FREQ 7040.10\r\n");
  EXPECT_TRUE(s->FreqKnown());
  EXPECT_DOUBLE_EQ(s->CurrentFreq(), 7040.1);
  EXPECT_EQ(s->CurrentFreqText(), "7040.10");
}

TEST_F(ClientSessionTest, AccessLevelZeroForcesReceiveOnly) {
  auto s = NewSession();
  s->SetModeGroup(2);
  Feed(*s, "banner\r\nPRIV x\r\n");
  EXPECT_TRUE(s->RxOnly());
  EXPECT_EQ(rec_.panel,
            (std::vector<TPanelChange>{TPanelChange::HideTxWindows, TPanelChange::RxOnlyLocked}));
  rec_.panel.clear();
  Feed(*s, "PRIV 0\r\n");  // already receive-only: only the item is locked
  EXPECT_EQ(rec_.panel, (std::vector<TPanelChange>{TPanelChange::RxOnlyLocked}));
}

TEST_F(ClientSessionTest, LinesArrivingDuringAPassWaitForIt) {
  struct Reentrant : ITextView {
    TClientSession* s = nullptr;
    std::vector<std::string> lines;
    void AddText(const std::string& text) override {
      lines.push_back(text);
      if (text == "first") Feed(*s, "CHAT second\r\nCHAT third\r\n");
      lines.push_back("end of " + text);
    }
  } chat;
  TClientSession s(ini_, trace_, {nullptr, nullptr, &chat, nullptr, nullptr});
  chat.s = &s;
  Feed(s, "banner\r\nCHAT first\r\n");
  EXPECT_EQ(chat.lines,
            (Texts{"first", "end of first", "second", "end of second", "third", "end of third"}));
}

// --- Login and the lines after it
// -----------------------------------------------------------------

TEST_F(ClientSessionTest, LoginDigestAndTheLinesAfterLoginInOrderWithTheirPauses) {
  LoginScript("Welcome||to my K2.", 2);
  auto s = NewSession();
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  EXPECT_TRUE(s->Connected());
  EXPECT_EQ(s->StationName(), "Test");
  EXPECT_EQ(s->AccessLevel(), 2);
  EXPECT_EQ(s->PendingMessage(), "Welcome\rto my K2.");
  EXPECT_EQ(s->Greeting(), kBanner);

  auto lines = server_.Lines();
  ASSERT_EQ(lines.size(), 6u) << ::testing::PrintToString(server_.Texts());
  // The digest of banner + password, checked with md5sum.
  EXPECT_EQ(lines[0].text, "AUTH DL1ABC " + OutsideMd5(std::string(kBanner) + "secret"));
  const char* after[] = {"KSPEED ?", "SQ ?", "MO ?", "DISP ON", "SM ON"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(lines[static_cast<std::size_t>(i) + 1].text, after[i]);
  // The pause for "PRIV" (1000 ms) and the panel's (500 ms) come first, then 200 ms each.
  EXPECT_GE(Ms(lines[1].at - lines[0].at), 1400);
  for (std::size_t i = 2; i < lines.size(); ++i)
    EXPECT_GE(Ms(lines[i].at - lines[i - 1].at), 150) << lines[i].text;

  EXPECT_EQ(rec_.panel,
            (std::vector<TPanelChange>{TPanelChange::RxOnlyLocked, TPanelChange::PowerOn,
                                       TPanelChange::ShowToolWindows, TPanelChange::StartTimer,
                                       TPanelChange::StationShown, TPanelChange::AccessKnown}));
  EXPECT_TRUE(rec_.notices.empty()) << ::testing::PrintToString(rec_.notices);
}

TEST_F(ClientSessionTest, AServerThatClosesDuringTheSetUpLeavesTheSessionIdle) {
  // The server closes this long after the line that starts so; the rows run side by side.
  const struct {
    const char* after;
    int pauseMs;
  } rows[] = {{"AUTH", 300}, {"AUTH", 1200}, {"KSPEED ?", 0}, {"SQ ?", 0},
              {"MO ?", 0},   {"DISP ON", 0}, {"SM ON", 0}};
  const std::size_t n = std::size(rows);
  std::vector<std::unique_ptr<FakeServer>> servers;
  std::vector<std::unique_ptr<Recorder>> recs;
  std::vector<std::unique_ptr<TClientSession>> sessions;
  std::vector<int> outcome(n, -1);  // -1 until the connect ends, then whether it went live
  for (std::size_t i = 0; i < n; ++i) {
    const std::string name = "Row" + std::to_string(i);
    servers.push_back(std::make_unique<FakeServer>());
    Station(name, "127.0.0.1", servers[i]->Port(), "secret");
    Ini(name, "EQSL Enabled", "1");
    servers[i]->Run([row = rows[i]](FakeServer::Conn& c) {
      c.SendLine(kBanner);
      c.WaitLine("AUTH");
      c.SendLine("PRIV 2");
      c.WaitLine(row.after);
      c.Pause(row.pauseMs);
      c.Close();
    });
    recs.push_back(std::make_unique<Recorder>());
    sessions.push_back(std::make_unique<TClientSession>(ini_, trace_, recs[i]->Views()));
    sessions[i]->ConnectTo(name, [&outcome, i](bool live) { outcome[i] = live; });
  }
  ASSERT_TRUE(
      server_.WaitMain([&] { return std::count(outcome.begin(), outcome.end(), -1) == 0; }));
  server_.WaitMain([] { return false; }, 1200);  // time for any step that was left
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(std::string(rows[i].after) + " " + std::to_string(rows[i].pauseMs));
    EXPECT_EQ(outcome[i], 0);
    EXPECT_FALSE(sessions[i]->Connected());
    EXPECT_FALSE(sessions[i]->Busy());
    EXPECT_EQ(sessions[i]->StationName(), "");
    EXPECT_FALSE(sessions[i]->EqslEnabled());
    ASSERT_FALSE(recs[i]->panel.empty());
    EXPECT_EQ(recs[i]->panel.back(), TPanelChange::PowerOff);
  }
}

TEST_F(ClientSessionTest, AServerWithoutWelcomeTextLetsTheClientInOnPriv) {
  Ini("Test", "Passwd", "");  // a guest: the call alone
  LoginScript("", 1);
  auto s = NewSession();
  auto start = FakeServer::Clock::now();
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  EXPECT_LT(Ms(FakeServer::Clock::now() - start), 9000);
  EXPECT_EQ(s->AccessLevel(), 1);
  EXPECT_EQ(server_.Texts().at(0), "AUTH DL1ABC");
}

TEST_F(ClientSessionTest, ARefusedLoginShowsTheServersText) {
  server_.Run([](FakeServer::Conn& c) {
    c.SendLine(kBanner);
    c.WaitLine("AUTH");
    c.SendLine("# Authentication failed");
    c.Pause(200);
    c.Close();
  });
  auto s = NewSession();
  EXPECT_FALSE(ConnectAndWait(*s, "Test"));
  EXPECT_FALSE(s->Connected());
  EXPECT_EQ(rec_.notices, Texts{"Talvo Client: Authentication failed"});
  EXPECT_TRUE(rec_.Saw(TPanelChange::PowerOff));
  EXPECT_FALSE(rec_.Saw(TPanelChange::PowerOn));
  EXPECT_EQ(s->PendingMessage(), "");
}

TEST_F(ClientSessionTest, ClosedWithoutAnyTextIsUnableToConnect) {
  server_.Run([](FakeServer::Conn& c) {
    c.SendLine(kBanner);
    c.WaitLine("AUTH");
    c.Close();
  });
  auto s = NewSession();
  EXPECT_FALSE(ConnectAndWait(*s, "Test"));
  EXPECT_EQ(rec_.notices, Texts{"Talvo Client: Unable to connect to K2"});
}

TEST_F(ClientSessionTest, TheThreeWaitsEachHaveTheirBox) {
  wait_ = 700;
  {  // a server that accepts and says nothing
    server_.Run([](FakeServer::Conn& c) { c.Pause(5000); });
    auto s = NewSession();
    EXPECT_FALSE(ConnectAndWait(*s, "Test"));
    EXPECT_EQ(rec_.notices, Texts{"Talvo Client: No response from Test"});
    EXPECT_FALSE(s->Connected());
  }
  rec_.notices.clear();
  FakeServer mute;
  Station("Mute", "127.0.0.1", mute.Port(), "secret");
  mute.Run([](FakeServer::Conn& c) {
    c.SendLine(kBanner);
    c.Pause(5000);
  });
  auto s = NewSession();
  EXPECT_FALSE(ConnectAndWait(*s, "Mute"));
  EXPECT_EQ(rec_.notices, Texts{"Talvo Client: Mute's K2 is not responding"});
  EXPECT_TRUE(mute.WaitMain([&] { return mute.PeerClosed(); }));
}

TEST_F(ClientSessionTest, UnreachableStationsCannotBeConnected) {
  int closedPort;
  {
    FakeServer gone;
    closedPort = gone.Port();
  }
  Station("Refused", "127.0.0.1", closedPort, "");
  Station("Unknown", "no-such-host.invalid", 6110, "");
  auto s = NewSession();
  for (const char* name : {"Refused", "Unknown"}) {
    rec_.notices.clear();
    EXPECT_FALSE(ConnectAndWait(*s, name));
    EXPECT_EQ(rec_.notices, Texts{std::string("Talvo Client: Cannot connect to ") + name});
    EXPECT_EQ(s->DataConn.State(), wsClosed) << name;
  }
}

TEST_F(ClientSessionTest, AConnectThatTimesOutIsAborted) {
  HangingListener listener;
  Station("Full", "127.0.0.1", listener.Port(), "");
  wait_ = 1500;
  auto s = NewSession();
  auto start = FakeServer::Clock::now();
  EXPECT_FALSE(ConnectAndWait(*s, "Full"));
  EXPECT_GE(Ms(FakeServer::Clock::now() - start), 1400);
  EXPECT_EQ(rec_.notices, Texts{"Talvo Client: Cannot connect to Full"});
  EXPECT_EQ(s->DataConn.State(), wsClosed);
}

TEST_F(ClientSessionTest, AnOwnCallThatIsEmptyOrHoldsBlanksIsRefusedBeforeConnecting) {
  server_.Run([](FakeServer::Conn&) {});
  auto s = NewSession();
  for (const char* call : {"", "DL1 ABC", " DL1ABC", "DL1ABC\t"}) {
    rec_.notices.clear();
    s->SetOwnCall(call);
    EXPECT_FALSE(ConnectAndWait(*s, "Test"));
    ASSERT_EQ(rec_.notices.size(), 1u);
    EXPECT_NE(rec_.notices[0].find("own call"), std::string::npos);
  }
  server_.WaitMain([] { return false; }, 300);
  EXPECT_FALSE(server_.Accepted());
}

// --- Keep-alive, raw writes, disconnect, trace
// ------------------------------------------------------

TEST_F(ClientSessionTest, KeepAliveAfterSixtyQuietTicks) {
  LoginScript("", 2);
  auto s = NewSession();
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  for (int i = 0; i < 59; ++i) s->OneSecondTick();
  EXPECT_EQ(s->KeepAliveCountdown(), 1);
  server_.WaitMain([] { return false; }, 300);
  EXPECT_EQ(server_.Texts().back(), "SM ON");
  s->OneSecondTick();
  EXPECT_TRUE(server_.WaitForLine("NOOP"));
  EXPECT_EQ(s->KeepAliveCountdown(), 60);

  // A received line resets the count; a raw write does not, a command does.
  for (int i = 0; i < 10; ++i) s->OneSecondTick();
  s->SendRaw("TX");
  EXPECT_EQ(s->KeepAliveCountdown(), 50);
  Feed(*s, "SM 4\r\n");
  EXPECT_EQ(s->KeepAliveCountdown(), 60);
  s->OneSecondTick();
  s->SendCommand("FREQ 7040");
  EXPECT_EQ(s->KeepAliveCountdown(), 60);
}

TEST_F(ClientSessionTest, NothingIsSteppedFromAnUnknownFrequency) {
  server_.Run([](FakeServer::Conn& c) {
    c.SendLine(kBanner);
    c.WaitLine("AUTH");
    c.SendLine("PRIV 2");
    c.WaitLine("NOOP");
    c.SendLine("FREQ 7040.00");
  });
  auto s = NewSession();
  Feed(*s, "banner\r\nFREQ 14060.00\r\n");  // a frequency of an earlier connection
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  EXPECT_FALSE(s->FreqKnown());
  EXPECT_FALSE(s->SendFreqStep(0.1));
  s->SendCommand("NOOP");
  ASSERT_TRUE(server_.WaitMain([&] { return s->FreqKnown(); }));
  EXPECT_TRUE(s->SendFreqStep(0.1));
  EXPECT_TRUE(s->SendFreqStep(-2));
  EXPECT_TRUE(server_.WaitForLine("FREQ 7038.00"));
  EXPECT_EQ(TextsAfter("SM ON"), (Texts{"NOOP", "FREQ 7040.10", "FREQ 7038.00"}));
}

TEST_F(ClientSessionTest, PendingMessageIsShownByTheTickOnce) {
  auto s = NewSession();
  Feed(*s, "banner\r\n# one\r\n# two\r\n");
  s->OneSecondTick();
  s->OneSecondTick();
  EXPECT_EQ(rec_.notices, Texts{"Message: two"});
  EXPECT_EQ(s->PendingMessage(), "");
}

TEST_F(ClientSessionTest, OrderlyDisconnectInOrderWithItsPauses) {
  LoginScript("Hi", 2);
  auto s = NewSession();
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  s->SetAudioOn(true);
  rec_.panel.clear();
  DisconnectAndWait(*s);
  EXPECT_FALSE(s->Connected());
  EXPECT_TRUE(server_.WaitMain([&] { return server_.PeerClosed(); }));
  auto all = server_.Lines();
  std::vector<FakeServer::Line> lines;
  bool on = false;
  for (const auto& l : all) {
    if (on) lines.push_back(l);
    if (l.text == "SM ON") on = true;
  }
  ASSERT_EQ(lines.size(), 5u) << ::testing::PrintToString(server_.Texts());
  const char* expected[] = {"RX", "AU OFF", "DISP OFF", "SM OFF", "BYE"};
  for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(lines[i].text, expected[i]);
  EXPECT_GE(Ms(lines[1].at - lines[0].at), 1100);  // 200 ms, then 1000 ms after the audio
  EXPECT_GE(Ms(lines[2].at - lines[1].at), 150);
  EXPECT_GE(Ms(lines[3].at - lines[2].at), 150);
  EXPECT_GE(Ms(lines[4].at - lines[3].at), 350);
  EXPECT_EQ(rec_.panel,
            (std::vector<TPanelChange>{TPanelChange::StopTimers, TPanelChange::StopAudio,
                                       TPanelChange::PowerOff}));
  EXPECT_FALSE(s->AudioOn());
  EXPECT_EQ(s->StationName(), "");
  EXPECT_EQ(s->ModeGroup(), 0);
}

TEST_F(ClientSessionTest, WritesOnAClosedConnectionAreDropped) {
  auto s = NewSession();
  s->SendRaw("TX");
  s->SendCommand("RX");
  EXPECT_EQ(s->DataConn.State(), wsClosed);
  EXPECT_TRUE(rec_.notices.empty());
}

TEST_F(ClientSessionTest, TraceFileListsWhatWasSentAndReceived) {
  Ini("Debug", "Trace", "1");
  std::ofstream(trace_) << "old contents\r\n";
  LoginScript("Hi", 1);
  auto s = NewSession();
  ASSERT_TRUE(s->TraceEnabled());
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  s->SendRaw("TX");  // raw writes are not traced
  DisconnectAndWait(*s);
  std::string trace = FileText(trace_);
  EXPECT_EQ(trace.find("old contents"), std::string::npos);
  std::istringstream in(trace);
  std::string line;
  Texts texts;
  const std::regex time("^[0-2][0-9]:[0-5][0-9]:[0-5][0-9] (SENT|RCVD): .*\r$");
  while (std::getline(in, line)) {
    EXPECT_TRUE(std::regex_match(line, time)) << line;
    texts.push_back(line.substr(9, line.size() - 10));
  }
  ASSERT_GE(texts.size(), 5u);
  EXPECT_EQ(texts[0], std::string("RCVD: ") + kBanner);
  EXPECT_EQ(texts[1].rfind("SENT: AUTH DL1ABC ", 0), 0u);
  EXPECT_EQ(texts[2], "RCVD: # Hi");
  EXPECT_EQ(texts[3], "RCVD: PRIV 1");
  EXPECT_EQ(texts[4], "SENT: KSPEED ?");
  EXPECT_EQ(texts.back(), "SENT: RX");
  EXPECT_EQ(trace.find("TX"), std::string::npos);
  EXPECT_EQ(trace.find("BYE"), std::string::npos);
}

TEST_F(ClientSessionTest, AFailedTraceWriteTurnsTracingOffOnceAndTheLinesStillGo) {
  Ini("Debug", "Trace", "1");
  LoginScript("Hi", 1);
  TClientSession s(ini_, "/dev/full", rec_.Views());  // opens, but every write fails
  ASSERT_TRUE(ConnectAndWait(s, "Test"));
  EXPECT_FALSE(s.TraceEnabled());
  server_.WaitMain([&] { return !rec_.notices.empty(); }, 5000);
  ASSERT_EQ(rec_.notices.size(), 1u);
  EXPECT_NE(rec_.notices[0].find("Tracing is off"), std::string::npos) << rec_.notices[0];
  EXPECT_EQ(server_.Texts().size(), 6u);
}

TEST_F(ClientSessionTest, ATraceFileThatCannotBeCreatedIsReportedAtConnect) {
  Ini("Debug", "Trace", "1");
  mkdir(trace_.c_str(), 0700);  // a folder where the file should be
  LoginScript("", 1);
  auto s = NewSession();
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  ASSERT_EQ(rec_.notices.size(), 1u);
  EXPECT_NE(rec_.notices[0].find("Tracing is off"), std::string::npos);
}

TEST_F(ClientSessionTest, TheServerClosingResetsTheSession) {
  server_.Run([](FakeServer::Conn& c) {
    c.SendLine(kBanner);
    c.WaitLine("AUTH");
    c.SendLine("PRIV 2");
    c.WaitLine("SM ON");
    c.SendLine("FREQ 7040.00");
    c.Pause(300);
    c.Close();
  });
  Ini("Test", "EQSL Enabled", "1");
  Ini("Test", "EQSL Password", Scramble("qsl", 6402));
  auto s = NewSession();
  ASSERT_TRUE(ConnectAndWait(*s, "Test"));
  EXPECT_TRUE(s->EqslEnabled());
  EXPECT_EQ(s->EqslPassword(), "qsl");
  ASSERT_TRUE(server_.WaitMain([&] { return s->Idle(); }));
  EXPECT_TRUE(rec_.Saw(TPanelChange::PowerOff));
  EXPECT_EQ(s->StationName(), "");
  EXPECT_FALSE(s->EqslEnabled());
  EXPECT_EQ(s->EqslPassword(), "");
  EXPECT_TRUE(s->FreqKnown());  // the last frequency stays until the next connect
  rec_.panel.clear();
  DisconnectAndWait(*s);  // nothing left to say
  EXPECT_EQ(rec_.panel, std::vector<TPanelChange>{TPanelChange::StopTimers});
}

}  // namespace
