// Real hot keys on a real X display (xvfb-run): key presses are made by a second X client
// through the XTest extension, as a user at the keyboard would make them.
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xtest.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "controls/HotKeyManager.h"
#include "platform/GlobalAtom.h"
#include "tests/support/WaitFor.h"

using platform::MOD_ALT;
using platform::MOD_CONTROL;
using platform::MOD_SHIFT;
using platform::MOD_WIN;
using testsupport::WaitFor;

namespace {

struct Press {
  std::uint32_t hotKey;
  std::uint16_t index;
  bool operator==(const Press&) const = default;
};

// Another X client on the same display: types through XTest and grabs keys of its own.
class OtherClient {
 public:
  OtherClient() : c_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(c_)) return;
    symbols_ = xcb_key_symbols_alloc(c_);
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  }
  ~OtherClient() {
    if (symbols_) xcb_key_symbols_free(symbols_);
    xcb_disconnect(c_);
  }
  OtherClient(const OtherClient&) = delete;
  OtherClient& operator=(const OtherClient&) = delete;

  bool Usable() const {
    return !xcb_connection_has_error(c_) && symbols_ &&
           xcb_get_extension_data(c_, &xcb_test_id)->present;
  }

  xcb_keycode_t Key(xcb_keysym_t keysym) const {
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols_, keysym), &std::free);
    return codes ? codes.get()[0] : 0;
  }

  // Holds the modifiers, taps the key, lets go of the modifiers; returns once the server has
  // taken it all.
  void Type(std::initializer_list<xcb_keysym_t> modifiers, xcb_keysym_t key) {
    for (xcb_keysym_t m : modifiers) Fake(XCB_KEY_PRESS, m);
    Fake(XCB_KEY_PRESS, key);
    Fake(XCB_KEY_RELEASE, key);
    for (xcb_keysym_t m : modifiers) Fake(XCB_KEY_RELEASE, m);
    Sync();
  }

  // The modifier and lock state of the keyboard.
  std::uint16_t State() {
    std::unique_ptr<xcb_query_pointer_reply_t, decltype(&std::free)> reply(
        xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr), &std::free);
    return reply ? reply->mask : 0;
  }

  // Grabs the key on the root window; false on X's BadAccess.
  bool Grab(xcb_keysym_t keysym, std::uint16_t state) {
    auto cookie = xcb_grab_key_checked(c_, 1, root_, state, Key(keysym), XCB_GRAB_MODE_ASYNC,
                                       XCB_GRAB_MODE_ASYNC);
    xcb_generic_error_t* error = xcb_request_check(c_, cookie);
    std::free(error);
    return error == nullptr;
  }
  void Ungrab(xcb_keysym_t keysym, std::uint16_t state) {
    std::free(xcb_request_check(c_, xcb_ungrab_key_checked(c_, Key(keysym), root_, state)));
  }
  // Whether any client but this one holds a grab of the key, with any modifiers.
  bool SomeoneHolds(xcb_keysym_t keysym) {
    if (!Grab(keysym, XCB_MOD_MASK_ANY)) return true;
    Ungrab(keysym, XCB_MOD_MASK_ANY);
    return false;
  }

 private:
  void Fake(std::uint8_t type, xcb_keysym_t keysym) {
    xcb_test_fake_input(c_, type, Key(keysym), XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
  }
  void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

  xcb_connection_t* c_;
  xcb_key_symbols_t* symbols_ = nullptr;
  xcb_window_t root_ = 0;
};

class HotKeysOnX : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
    ASSERT_TRUE(other_.Usable()) << "no second X connection with the XTest extension";
  }
  void TearDown() override {
    // Leave the locks off for the next test.
    std::uint16_t state = other_.State();
    if (state & XCB_MOD_MASK_LOCK) other_.Type({}, XK_Caps_Lock);
    if (state & XCB_MOD_MASK_2) other_.Type({}, XK_Num_Lock);
  }

  void Listen(THotKeyManager& manager) {
    manager.OnHotKeyPressed = [this](std::uint32_t k, std::uint16_t i) {
      presses_.push_back({k, i});
    };
  }
  // Types Ctrl+R after what was typed and waits for it: the X server delivers events in order,
  // so everything typed before has arrived by then.
  std::vector<Press> Settle(std::uint16_t ctrlR) {
    other_.Type({XK_Control_L}, XK_r);
    EXPECT_TRUE(WaitFor([&] { return !presses_.empty() && presses_.back().index == ctrlR; }))
        << "the Ctrl+R press did not arrive";
    std::vector<Press> got = presses_;
    if (!got.empty()) got.pop_back();
    presses_.clear();
    return got;
  }

  OtherClient other_;
  std::vector<Press> presses_;
};

TEST_F(HotKeysOnX, CtrlKeypadPlusArrivesOnceWhateverTheLocks) {
  THotKeyManager manager;
  Listen(manager);
  std::uint16_t plus = manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x6B));
  std::uint16_t r = manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x52));
  ASSERT_NE(plus, 0);
  ASSERT_NE(r, 0);
  const std::vector<Press> once{{0x406B, plus}};

  other_.Type({XK_Control_L}, XK_KP_Add);
  EXPECT_EQ(Settle(r), once);

  other_.Type({}, XK_Num_Lock);
  ASSERT_TRUE(other_.State() & XCB_MOD_MASK_2) << "Num Lock did not turn on";
  other_.Type({XK_Control_L}, XK_KP_Add);
  EXPECT_EQ(Settle(r), once) << "with Num Lock on";

  other_.Type({}, XK_Caps_Lock);
  ASSERT_TRUE(other_.State() & XCB_MOD_MASK_LOCK) << "Caps Lock did not turn on";
  other_.Type({XK_Control_L}, XK_KP_Add);
  EXPECT_EQ(Settle(r), once) << "with Num Lock and Caps Lock on";

  // The key alone, or with more modifiers, is not the hot key.
  other_.Type({}, XK_KP_Add);
  other_.Type({XK_Control_L, XK_Shift_L}, XK_KP_Add);
  EXPECT_EQ(Settle(r), std::vector<Press>{});
}

TEST_F(HotKeysOnX, EachModifierCombinationArrivesAsItsValue) {
  struct Row {
    std::uint16_t modifiers;
    std::uint16_t vk;
    std::initializer_list<xcb_keysym_t> held;
    xcb_keysym_t key;
  };
  const Row rows[] = {
      {MOD_SHIFT, 0x41, {XK_Shift_L}, XK_a},
      {MOD_ALT, 0x74, {XK_Alt_L}, XK_F5},
      {MOD_WIN, 0x24, {XK_Super_L}, XK_Home},
      {MOD_CONTROL | MOD_SHIFT, 0x35, {XK_Control_L, XK_Shift_L}, XK_5},
      {MOD_CONTROL, 0x6D, {XK_Control_L}, XK_KP_Subtract},
      {MOD_CONTROL | MOD_ALT, 0x2E, {XK_Control_L, XK_Alt_L}, XK_Delete},
  };
  THotKeyManager manager;
  Listen(manager);
  std::uint16_t r = manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x52));
  ASSERT_NE(r, 0);
  for (const Row& row : rows) {
    std::uint32_t value = EncodeHotKey(row.modifiers, row.vk);
    std::uint16_t id = manager.RegisterKey(value);
    ASSERT_NE(id, 0) << DescribeHotKey(value, false);
    other_.Type(row.held, row.key);
    EXPECT_EQ(Settle(r), (std::vector<Press>{{value, id}})) << DescribeHotKey(value, false);
  }
}

TEST_F(HotKeysOnX, AKeyAnotherClientHoldsIsRefusedWithNothingLeftGrabbed) {
  // The other client holds Ctrl+keypad minus only with Caps Lock on: the manager's grab without
  // the lock succeeds before the one with it fails.
  ASSERT_TRUE(other_.Grab(XK_KP_Subtract, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK));
  THotKeyManager manager;
  Listen(manager);
  EXPECT_EQ(manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x6D)), 0);
  EXPECT_TRUE(manager.Registrations().empty());
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16493"), 0);
  other_.Ungrab(XK_KP_Subtract, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_LOCK);
  EXPECT_FALSE(other_.SomeoneHolds(XK_KP_Subtract));

  // Once the other client lets go, the key can be had and works.
  std::uint16_t minus = manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x6D));
  std::uint16_t r = manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x52));
  ASSERT_NE(minus, 0);
  ASSERT_NE(r, 0);
  EXPECT_TRUE(other_.SomeoneHolds(XK_KP_Subtract));
  other_.Type({XK_Control_L}, XK_KP_Subtract);
  EXPECT_EQ(Settle(r), (std::vector<Press>{{0x406D, minus}}));
}

TEST_F(HotKeysOnX, ASecondManagerCannotTakeAKeyTheFirstHolds) {
  THotKeyManager first;
  std::uint16_t id = first.RegisterKey(0x406B);
  ASSERT_NE(id, 0);
  {
    THotKeyManager second;
    EXPECT_EQ(second.RegisterKey(0x406B), 0);
  }
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16491"), id);
  EXPECT_TRUE(other_.SomeoneHolds(XK_KP_Add));
}

// Records the calls and passes them on to the window system's hot keys.
class Recorder : public IHotKeyRegistrar {
 public:
  bool Register(platform::HWND window, int id, unsigned modifiers, unsigned vk) override {
    return platform::RegisterHotKey(window, id, modifiers, vk);
  }
  bool Unregister(platform::HWND window, int id) override {
    unregistered.push_back(id);
    return platform::UnregisterHotKey(window, id);
  }
  std::vector<int> unregistered;
};

TEST_F(HotKeysOnX, DestroyingTheManagerReleasesEveryKeyLastFirst) {
  Recorder recorder;
  std::vector<int> ids;
  {
    THotKeyManager manager(&recorder);
    for (std::uint32_t value : {0x406Du, 0x406Bu, 0x4052u}) {
      ids.push_back(manager.RegisterKey(value));
      ASSERT_NE(ids.back(), 0);
    }
    for (xcb_keysym_t key : {XK_KP_Subtract, XK_KP_Add, XK_r})
      EXPECT_TRUE(other_.SomeoneHolds(key));
  }
  EXPECT_EQ(recorder.unregistered, (std::vector<int>{ids[2], ids[1], ids[0]}));
  for (xcb_keysym_t key : {XK_KP_Subtract, XK_KP_Add, XK_r}) EXPECT_FALSE(other_.SomeoneHolds(key));
  for (int id : ids) EXPECT_TRUE(platform::GlobalAtomName(static_cast<platform::ATOM>(id)).empty());

  // Presses of released keys reach nobody, and the keyboard is free again.
  THotKeyManager later;
  Listen(later);
  std::uint16_t r = later.RegisterKey(0x4052);
  ASSERT_NE(r, 0);
  other_.Type({XK_Control_L}, XK_KP_Add);
  EXPECT_EQ(Settle(r), std::vector<Press>{});
}

}  // namespace
