// Hot key values, and the manager over a recording window system (and over the real one without
// an X display).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "controls/HotKeyManager.h"
#include "platform/GlobalAtom.h"

using platform::MOD_ALT;
using platform::MOD_CONTROL;
using platform::MOD_SHIFT;
using platform::MOD_WIN;

namespace {

struct CodeRow {
  std::uint16_t modifiers;
  std::uint16_t key;
  std::uint32_t value;
};

TEST(HotKeyValue, EncodesModifiersAsBitsAboveTheKey) {
  const CodeRow rows[] = {
      {MOD_CONTROL, 0x6B, 0x406B},  // 16491: Ctrl and the keypad's plus
      {MOD_CONTROL, 0x6D, 0x406D},
      {MOD_CONTROL, 0x52, 16466},
      {0, 0x6D, 0x6D},
      {MOD_SHIFT, 0x41, 0x2041},
      {MOD_ALT | MOD_SHIFT, 0x41, 0xA041},
      {MOD_WIN, 0x70, 0x10070},
      {MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, 0x70, 0x1E070},
  };
  for (const CodeRow& r : rows) {
    EXPECT_EQ(EncodeHotKey(r.modifiers, r.key), r.value) << std::hex << r.modifiers << " " << r.key;
  }
}

TEST(HotKeyValue, DecodesTheLowByteAndTheModifierBits) {
  const CodeRow rows[] = {
      {MOD_CONTROL, 0x6B, 0x406B},
      {MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, 0x70, 0x1E070},
      {MOD_WIN, 0x6B, 0x1006B},
      {0, 0x52, 0x1152},  // 0x1000 carries nothing
      {MOD_CONTROL, 0xFF, 0x40FF},
      {MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN, 0xFF, 0xFFFFFF},
      {0, 0, 0},
  };
  for (const CodeRow& r : rows) {
    std::uint16_t modifiers = 0xFFFF, key = 0xFFFF;
    DecodeHotKey(r.value, modifiers, key);
    EXPECT_EQ(modifiers, r.modifiers) << std::hex << r.value;
    EXPECT_EQ(key, r.key) << std::hex << r.value;
  }
}

TEST(HotKeyValue, EveryModifierSetAndKeySurvivesTheRoundTrip) {
  for (std::uint16_t modifiers = 0; modifiers < 16; ++modifiers) {
    for (std::uint16_t key = 0; key < 256; ++key) {
      std::uint16_t m = 0, k = 0;
      DecodeHotKey(EncodeHotKey(modifiers, key), m, k);
      ASSERT_EQ(m, modifiers);
      ASSERT_EQ(k, key);
    }
  }
}

struct DescribeRow {
  std::uint32_t value;
  const char* text;
};

TEST(HotKeyValue, DescribesModifiersInTheirOrderThenTheKey) {
  const DescribeRow rows[] = {
      {0x4052, "Ctrl+R"},
      {0x406B, "Ctrl+Num++"},
      {0x406D, "Ctrl+Num+-"},
      {0x2041, "Shift+A"},
      {0x1E070, "Ctrl+Shift+Alt+Win+F1"},
      {0x18087, "Alt+Win+F24"},
      {0x6035, "Ctrl+Shift+5"},
      {0x21, "PgUp"},
      {0x28, "Down"},
      {0x2E, "Del"},
      {0x64, "Num+4"},
      {0xBA, ";"},
      {0x11, "Ctrl"},
      {0x5B, "Meta"},
      {0x1152, "R"},      // a bit outside the encoding
      {0x40FF, "Ctrl+"},  // a key without a name
      {0x07, ""},
      {0, ""},
  };
  for (const DescribeRow& r : rows) {
    EXPECT_EQ(DescribeHotKey(r.value, false), r.text) << std::hex << r.value;
  }
}

TEST(HotKeyValue, LocalizedNamesFollowTheKeyboardInUse) {
  // The tests run without translations, so the user's language is English here.
  EXPECT_EQ(DescribeHotKey(0x4052, true), "Ctrl+R");
  EXPECT_EQ(DescribeHotKey(0x1E070, true), "Ctrl+Shift+Alt+Win+F1");
  EXPECT_EQ(DescribeHotKey(0x406B, true), "Ctrl+Num++");
}

// The window system's side, recorded; refuses what it is told to refuse.
class Recorder : public IHotKeyRegistrar {
 public:
  bool Register(platform::HWND window, int id, unsigned modifiers, unsigned vk) override {
    log.push_back("register " + std::to_string(id) + " " + std::to_string(modifiers) + " " +
                  std::to_string(vk));
    lastWindow = window;
    return !refuse;
  }
  bool Unregister(platform::HWND window, int id) override {
    log.push_back("unregister " + std::to_string(id));
    lastWindow = window;
    return true;
  }
  std::vector<std::string> log;
  platform::HWND lastWindow = 0;
  bool refuse = false;
};

struct Press {
  std::uint32_t hotKey;
  std::uint16_t index;
  bool operator==(const Press&) const = default;
};

// A press as the window system reports it.
void SendHotKey(const THotKeyManager& m, unsigned id, unsigned modifiers, unsigned vk) {
  platform::MessageWindow::Send(m.Handle(), platform::WM_HOTKEY, id,
                                static_cast<platform::LPARAM>(modifiers | (vk << 16)));
}

TEST(HotKeyManager, RegistersUnderAnAtomNamedAfterTheValue) {
  Recorder recorder;
  auto manager = std::make_unique<THotKeyManager>(&recorder);
  std::uint16_t id = manager->RegisterKey(EncodeHotKey(MOD_CONTROL, 0x52));
  ASSERT_GE(id, 0xC000);
  EXPECT_EQ(platform::GlobalAtomName(id), "HotKeyManagerHotKey16466");
  EXPECT_EQ(recorder.lastWindow, manager->Handle());
  EXPECT_EQ(recorder.log, std::vector<std::string>{"register " + std::to_string(id) + " 2 82"});
  ASSERT_EQ(manager->Registrations().size(), 1u);
  EXPECT_EQ(manager->Registrations()[0].HotKey, 16466u);
  EXPECT_EQ(manager->Registrations()[0].KeyIndex, id);

  manager.reset();
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16466"), 0);
  EXPECT_EQ(recorder.log.back(), "unregister " + std::to_string(id));
}

TEST(HotKeyManager, AValueHeldAlreadyKeepsItsIdentifier) {
  Recorder recorder;
  {
    THotKeyManager manager(&recorder);
    std::uint16_t first = manager.RegisterKey(0x406B);
    ASSERT_NE(first, 0);
    EXPECT_EQ(manager.RegisterKey(0x406B), first);
    EXPECT_EQ(manager.RegisterKey(0x406B), first);
    EXPECT_EQ(recorder.log.size(), 1u);
    EXPECT_EQ(manager.Registrations().size(), 1u);

    std::vector<Press> presses;
    manager.OnHotKeyPressed = [&](std::uint32_t k, std::uint16_t i) { presses.push_back({k, i}); };
    SendHotKey(manager, first, MOD_CONTROL, 0x6B);
    EXPECT_EQ(presses, (std::vector<Press>{{0x406B, first}}));
  }
  // One registration, one atom reference: none is left behind.
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16491"), 0);
}

TEST(HotKeyManager, ARefusedCombinationLeavesNoAtomAndNoRecord) {
  Recorder recorder;
  THotKeyManager manager(&recorder);
  recorder.refuse = true;
  EXPECT_EQ(manager.RegisterKey(0x406D), 0);
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16493"), 0);
  EXPECT_TRUE(manager.Registrations().empty());
  // A later try may succeed.
  recorder.refuse = false;
  EXPECT_NE(manager.RegisterKey(0x406D), 0);
}

TEST(HotKeyManager, UnregistersTheLastRegisteredFirst) {
  Recorder recorder;
  std::vector<std::uint16_t> ids;
  {
    THotKeyManager manager(&recorder);
    for (std::uint32_t value : {0x406Du, 0x406Bu, 0x4052u})
      ids.push_back(manager.RegisterKey(value));
    recorder.log.clear();
    manager.UnregisterAllKeys();
    EXPECT_TRUE(manager.Registrations().empty());
    EXPECT_EQ(recorder.log, (std::vector<std::string>{"unregister " + std::to_string(ids[2]),
                                                      "unregister " + std::to_string(ids[1]),
                                                      "unregister " + std::to_string(ids[0])}));
    for (std::uint16_t id : ids) EXPECT_TRUE(platform::GlobalAtomName(id).empty());
    recorder.log.clear();
  }
  EXPECT_TRUE(recorder.log.empty());  // nothing left for the destructor
}

TEST(HotKeyManager, OnlyHeldValuesFireTheEvent) {
  Recorder recorder;
  THotKeyManager manager(&recorder);
  std::uint16_t plus = manager.RegisterKey(0x406B);
  std::uint16_t r = manager.RegisterKey(0x4052);
  std::vector<Press> presses;

  SendHotKey(manager, plus, MOD_CONTROL, 0x6B);  // no handler: ignored
  manager.OnHotKeyPressed = [&](std::uint32_t k, std::uint16_t i) { presses.push_back({k, i}); };
  SendHotKey(manager, r, MOD_CONTROL, 0x52);
  SendHotKey(manager, plus, MOD_CONTROL | MOD_SHIFT, 0x6B);  // not held
  SendHotKey(manager, plus, MOD_CONTROL, 0x6D);              // not held
  SendHotKey(manager, plus, MOD_CONTROL, 0x6B);
  platform::MessageWindow::Send(manager.Handle(), platform::WM_USER, plus,
                                MOD_CONTROL | 0x6B << 16);
  EXPECT_EQ(presses, (std::vector<Press>{{0x4052, r}, {0x406B, plus}}));
}

TEST(HotKeyManager, TheHandlerMayDestroyTheManager) {
  Recorder recorder;
  auto manager = std::make_unique<THotKeyManager>(&recorder);
  std::uint16_t id = manager->RegisterKey(0x4052);
  int calls = 0;
  manager->OnHotKeyPressed = [&](std::uint32_t, std::uint16_t) {
    ++calls;
    manager.reset();
  };
  SendHotKey(*manager, id, MOD_CONTROL, 0x52);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(manager, nullptr);
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16466"), 0);
}

TEST(HotKeyManager, WithoutAnXDisplayRegistrationFailsCleanly) {
  THotKeyManager manager;  // the window system's hot keys, on Qt's offscreen platform
  EXPECT_EQ(manager.RegisterKey(EncodeHotKey(MOD_CONTROL, 0x6B)), 0);
  EXPECT_EQ(platform::FindGlobalAtom("HotKeyManagerHotKey16491"), 0);
  EXPECT_TRUE(manager.Registrations().empty());
}

}  // namespace
