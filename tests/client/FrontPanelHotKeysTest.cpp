// The panel on a real X display (xvfb-run), its hot keys typed and its Power button pressed
// through the XTest extension by a second X client, as an operator would.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>

#include "client/K2FrontPanel.h"
#include "client/PanelPicture.h"
#include "client/QSOPanel.h"
#include "common/Utils.h"
#include "controls/HotKeyManager.h"
#include "platform/Application.h"
#include "platform/ProgramWindow.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"
#include "tests/support/TalvoProcess.h"

namespace {

// One step of the display's keyboard or mouse: a key by its symbol, a button, or the pointer
// moved to x, y.
struct FakeStep {
  std::uint8_t type;
  xcb_keysym_t key = 0;
  std::int16_t x = 0, y = 0;
  std::uint8_t button = 1;
};

void FakeInput(std::initializer_list<FakeStep> steps) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
  auto code = [symbols](xcb_keysym_t sym) {
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols, sym), &std::free);
    return codes ? codes.get()[0] : xcb_keycode_t(0);
  };
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
  for (const FakeStep& s : steps) {
    const bool key = s.type == XCB_KEY_PRESS || s.type == XCB_KEY_RELEASE;
    const std::uint8_t detail = key ? code(s.key) : s.type == XCB_MOTION_NOTIFY ? 0 : s.button;
    xcb_test_fake_input(c, s.type, detail, XCB_CURRENT_TIME, root, s.x, s.y, 0);
  }
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  xcb_key_symbols_free(symbols);
  xcb_disconnect(c);
}

void Tap(xcb_keysym_t key) {
  FakeInput({{XCB_KEY_PRESS, key}, {XCB_KEY_RELEASE, key}});
}

// A click of the button at x, y of the screen.
void Click(QPoint at, std::uint8_t button) {
  const auto x = static_cast<std::int16_t>(at.x()), y = static_cast<std::int16_t>(at.y());
  FakeInput({{XCB_MOTION_NOTIFY, 0, x, y},
             {XCB_BUTTON_PRESS, 0, x, y, button},
             {XCB_BUTTON_RELEASE, 0, x, y, button}});
}

// The station "Shack" at the port, for the operator "op".
void WriteShack(const std::string& ini, int port) {
  WriteIniString(ini, "Settings", "Call", "op");
  WriteIniString(ini, "Shack", "Addr", "127.0.0.1");
  WriteIniString(ini, "Shack", "Port", std::to_string(port));
}

// Holds Ctrl, taps the key, lets go.
void TypeWithCtrl(xcb_keysym_t key) {
  FakeInput({{XCB_KEY_PRESS, XK_Control_L},
             {XCB_KEY_PRESS, key},
             {XCB_KEY_RELEASE, key},
             {XCB_KEY_RELEASE, XK_Control_L}});
}

TEST(FrontPanelHotKeys, RegisteredOnceAndSentOnceTheDisplayReports) {
  if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
  const std::string home = TestHome();
  const std::string ini = home + "/TalvoClient.INI";
  FakeServer server;
  WriteShack(ini, server.Port());
  server.Run([](FakeServer::Conn& c) {
    c.SendLine("Talvo Server 1.0 Date: 12/8/26 Time: 23:00:00");
    if (c.WaitLine("AUTH").rfind("AUTH", 0) != 0) return;
    c.SendLine("# Welcome");
    c.SendLine("PRIV 2");
    c.WaitLine("SM ON");
    c.WaitLine("<hot keys typed>", 60000);
  });

  // The welcome's box would wait for a click that never comes.
  std::vector<std::string> boxes;
  platform::SetMessageBoxHook(
      [&boxes](const std::string& text, const std::string&) { boxes.push_back(text); });
  TK2FrontPanel panel(ini, home + "/TalvoClient.log");
  panel.show();
  panel.hide();
  panel.show();
  // Registered at the first showing only; the second would have been refused and lost them.
  ASSERT_NE(panel.HotKeyManager(), nullptr);
  EXPECT_EQ(panel.HotKeyManager()->Registrations().size(), 3u);
  for (TPanelHotKey key : {TPanelHotKey::StepDown, TPanelHotKey::StepUp, TPanelHotKey::Rate})
    ASSERT_NE(panel.HotKeyId(key), 0);

  ASSERT_TRUE(ConnectAndWait(panel.Session(), "Shack"));
  // Before the display reports, the keys send nothing.
  TypeWithCtrl(XK_KP_Add);
  platform::WaitMessages(300);
  panel.Session().HandleServerLine(std::string("DISPLAY @70400") + char('0' | 0x80) + "X" +
                                   char(0x80) + char(0x80));  // resolution 2
  TypeWithCtrl(XK_KP_Add);
  TypeWithCtrl(XK_KP_Subtract);
  TypeWithCtrl(XK_r);
  EXPECT_TRUE(server.WaitForLine("CAT SW07;"));
  std::vector<std::string> keys;
  for (const std::string& line : server.Texts())
    if (line.rfind("CAT ", 0) == 0) keys.push_back(line);
  EXPECT_EQ(keys, (std::vector<std::string>{"CAT UP3;", "CAT DN3;", "CAT SW07;"}));
  panel.Session().DataConn.Close();
  platform::SetMessageBoxHook(nullptr);
  EXPECT_EQ(std::count(boxes.begin(), boxes.end(), "Unable to register hotkey(s)"), 0);
}

// The processor time, user and system, that the process has used, in clock ticks.
long CpuTicks(pid_t pid) {
  const std::string stat = FileText("/proc/" + std::to_string(pid) + "/stat");
  long user = 0, system = 0;  // fields 14 and 15, counted after the name's ")"
  std::sscanf(stat.c_str() + stat.rfind(')') + 1,
              " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %ld %ld", &user, &system);
  return user + system;
}

// The program itself, connected with its Power button and its dialog's Connect, ends after its
// farewell whichever way it is closed, when the server closes at "BYE". A contact begun and left
// unsaved is asked about after Power, and the question waits idle; SIGTERM saves the contact.
// A contact is saved once when the server closes during its eQSL question; Power waits for New's.
TEST(FrontPanelProgramOnDisplay, EveryWayOutEndsItWhileConnected) {
  if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
  enum class Way { Term, Int, WindowClose, MenuClose, TermAtContactQuestion, EqslClosed, PowerNew };
  const QPoint power = PanelLayout().Power.Rect.center();
  QPoint callAt, logStartAt, saveAt, newAt;  // in the program's contact window, laid out by a twin
  {
    TClientSession twinSession(TestHome() + "/twin.INI", TestHome() + "/twin.log");
    TQSOPanel twin(twinSession);
    twin.show();
    callAt = twin.edCall->mapToGlobal(twin.edCall->rect().center());
    logStartAt = twin.LogStartBtn->mapToGlobal(twin.LogStartBtn->rect().center());
    saveAt = twin.LogBtn->mapToGlobal(twin.LogBtn->rect().center());
    newAt = twin.NewBtn->mapToGlobal(twin.NewBtn->rect().center());
  }
  for (Way way : {Way::Term, Way::Int, Way::WindowClose, Way::MenuClose, Way::TermAtContactQuestion,
                  Way::EqslClosed, Way::PowerNew}) {
    SCOPED_TRACE("way " + std::to_string(static_cast<int>(way)));
    const std::string home = TestHome() + "/" + std::to_string(static_cast<int>(way));
    mkdir(home.c_str(), 0700);
    const std::string ini = home + "/TalvoClient.INI";
    FakeServer server;
    WriteShack(ini, server.Port());
    WriteIniString(ini, "Main Window", "Left", "0");
    WriteIniString(ini, "Main Window", "Top", "0");
    WriteIniString(ini, "Connections", "Connection 1", "Shack");
    WriteIniString(ini, "Shack", "EQSL Enabled", "1");
    WriteIniString(ini, "Settings", "eQSL Server",  // closed: an upload fails at once
                   "127.0.0.1:" + std::to_string(FakeServer().Port()));
    server.Run([way](FakeServer::Conn& c) {
      c.SendLine("Talvo Server 1.0");
      if (c.WaitLine("AUTH").rfind("AUTH", 0) != 0) return;
      c.SendLine("PRIV 2");
      c.WaitLine(way == Way::EqslClosed ? "LOG " : "BYE", 60000);
      c.Close();
    });
    QProcess client;
    StartTalvoProcess(client, QStringLiteral(TALVO_CLIENT_BINARY), home, QStringLiteral("xcb"));
    // Power, then Connect in its dialog; again while the program is still coming up.
    for (int attempt = 0; attempt < 10 && !server.Accepted(); ++attempt) {
      platform::WaitMessages(1000);
      Click(power, 1);
      platform::WaitMessages(1000);
      Tap(XK_Return);
      server.WaitMain([&] { return server.Accepted(); }, 2000);
    }
    ASSERT_TRUE(server.WaitForLine("SM ON", 20000)) << ::testing::PrintToString(server.Texts());
    platform::WaitMessages(500);
    const auto pid = static_cast<pid_t>(client.processId());
    switch (way) {
      case Way::Term:
        ::kill(pid, SIGTERM);
        break;
      case Way::Int:
        ::kill(pid, SIGINT);
        break;
      case Way::WindowClose:  // the close box, as a window manager sends it
        for (const auto& w : platform::FindProgramWindows(TClientSession::kTitle, {}))
          platform::CloseProgramWindow(w);
        break;
      case Way::MenuClose:  // the Power button's menu: "Power Off", then "Close"
        Click(power, 3);
        platform::WaitMessages(500);
        Tap(XK_Down);
        Tap(XK_Down);
        Tap(XK_Return);
        break;
      case Way::TermAtContactQuestion:
      case Way::EqslClosed:
      case Way::PowerNew: {
        Click(callAt, 1);
        for (xcb_keysym_t key : {XK_d, XK_l, XK_1, XK_a, XK_b, XK_c}) Tap(key);
        Click(logStartAt, 1);
        platform::WaitMessages(300);
        const std::size_t sent = server.Texts().size();
        if (way == Way::EqslClosed) {  // the server closes at "LOG": Yes to the boxes that follow
          Click(saveAt, 1);
          for (int box = 0; box < 3; ++box) {
            platform::WaitMessages(1000);
            Tap(XK_Return);
          }
        } else if (way == Way::PowerNew) {  // Power under New's question: nothing sent or shown
          Click(newAt, 1);
          platform::WaitMessages(1000);
          const std::size_t windows =
              platform::FindProgramWindows(TClientSession::kTitle, {}).size();
          Click(power, 1);
          platform::WaitMessages(1500);
          EXPECT_EQ(platform::FindProgramWindows(TClientSession::kTitle, {}).size(), windows);
        }
        if (way != Way::TermAtContactQuestion) {
          EXPECT_EQ(server.Texts().size(), sent + (way == Way::EqslClosed));
          ::kill(pid, SIGTERM);
          break;
        }
        Click(power, 1);
        ASSERT_TRUE(server.WaitForLine("BYE"));
        platform::WaitMessages(1500);
        const long before = CpuTicks(pid);
        platform::WaitMessages(2000);
        EXPECT_LT(CpuTicks(pid) - before, ::sysconf(_SC_CLK_TCK) / 5);
        EXPECT_EQ(FileText(home + "/TalvoClient.adi").find("DL1ABC"), std::string::npos);
        ::kill(pid, SIGTERM);
        break;
      }
    }
    EXPECT_TRUE(WaitTalvoProcessEnded(client, 5000));
    EXPECT_EQ(client.exitCode(), 0);
    const std::string adi = FileText(home + "/TalvoClient.adi");
    const std::size_t record = adi.find("<CALL:6>DL1ABC");
    EXPECT_EQ(way >= Way::TermAtContactQuestion, record != adi.npos);
    EXPECT_EQ(record, adi.rfind("<CALL:6>DL1ABC"));  // one record at most
    const std::vector<std::string> sent = server.Texts();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back().substr(0, 3), way == Way::EqslClosed ? "LOG" : "BYE")
        << ::testing::PrintToString(sent);
    if (client.state() != QProcess::NotRunning) client.kill();
    client.waitForFinished(5000);
  }
}

}  // namespace
