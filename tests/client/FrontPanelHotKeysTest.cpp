// The panel's hot keys on a real X display (xvfb-run), typed through the XTest extension by a
// second X client, as an operator at the keyboard would type them.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "client/K2FrontPanel.h"
#include "common/Utils.h"
#include "controls/HotKeyManager.h"
#include "platform/Application.h"
#include "tests/client/ClientTestSupport.h"
#include "tests/client/FakeServer.h"

namespace {

// Holds Ctrl, taps the key, lets go, on the display's keyboard.
void TypeWithCtrl(xcb_keysym_t key) {
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(c);
  auto code = [symbols](xcb_keysym_t sym) {
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols, sym), &std::free);
    return codes ? codes.get()[0] : xcb_keycode_t(0);
  };
  const std::pair<std::uint8_t, xcb_keysym_t> steps[] = {{XCB_KEY_PRESS, XK_Control_L},
                                                         {XCB_KEY_PRESS, key},
                                                         {XCB_KEY_RELEASE, key},
                                                         {XCB_KEY_RELEASE, XK_Control_L}};
  for (const auto& [type, sym] : steps)
    xcb_test_fake_input(c, type, code(sym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  xcb_key_symbols_free(symbols);
  xcb_disconnect(c);
}

TEST(FrontPanelHotKeys, RegisteredOnceAndSentOnceTheDisplayReports) {
  if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
  const std::string home = TestHome();
  const std::string ini = home + "/TalvoClient.INI";
  FakeServer server;
  WriteIniString(ini, "Settings", "Call", "op");
  WriteIniString(ini, "Shack", "Addr", "127.0.0.1");
  WriteIniString(ini, "Shack", "Port", std::to_string(server.Port()));
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

}  // namespace
