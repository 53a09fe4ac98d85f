#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/HotKey.h"

// A hot key value: the virtual key (platform/VirtualKeys.h) in the low byte, plus these bits for
// the modifiers held with it. Values above 0xFFFFFF are outside the encoding.
constexpr std::uint32_t kHotKeyShift = 0x2000;
constexpr std::uint32_t kHotKeyCtrl = 0x4000;
constexpr std::uint32_t kHotKeyAlt = 0x8000;
constexpr std::uint32_t kHotKeyWin = 0x10000;

// Modifiers: platform::MOD_ALT, MOD_CONTROL, MOD_SHIFT and MOD_WIN; EncodeHotKey(MOD_CONTROL,
// 0x6B) is 0x406B.
std::uint32_t EncodeHotKey(std::uint16_t Modifiers, std::uint16_t Key);
// Key is the low byte of Value; bits of Value outside the encoding are ignored.
void DecodeHotKey(std::uint32_t Value, std::uint16_t& Modifiers, std::uint16_t& Key);
// "Ctrl+R": the names of the modifiers held, each followed by "+", in the order Ctrl, Shift,
// Alt, Win, then the key's name (empty for a key without one). Localized: the names in the
// user's language; otherwise the fixed English ones.
std::string DescribeHotKey(std::uint32_t Value, bool Localized);

// The window system's hot keys, as the manager uses them (platform/HotKey.h); tests may put a
// recorder in their place.
class IHotKeyRegistrar {
 public:
  virtual ~IHotKeyRegistrar() = default;
  virtual bool Register(platform::HWND window, int id, unsigned modifiers, unsigned vk) = 0;
  virtual bool Unregister(platform::HWND window, int id) = 0;
};

// System-wide hot keys: key combinations that reach the program whichever program has the
// keyboard focus, each reported as OnHotKeyPressed on the main thread. Every registered value
// is named by a global atom "HotKeyManagerHotKey" + the value in decimal, whose number
// identifies it in the event. The manager holds its keys until it is destroyed. Main thread only.
class THotKeyManager {
 public:
  // HotKey: the value pressed; Index: its identifier, as RegisterKey returned it.
  using TOnHotKeyPressed = std::function<void(std::uint32_t HotKey, std::uint16_t Index)>;

  struct THotKeyRegistration {
    std::uint32_t HotKey;
    std::uint16_t KeyIndex;
  };

  // registrar: nullptr for the window system's hot keys; otherwise it must outlive the manager.
  explicit THotKeyManager(IHotKeyRegistrar* registrar = nullptr);
  // Unregisters every key (UnregisterAllKeys).
  ~THotKeyManager();
  THotKeyManager(const THotKeyManager&) = delete;
  THotKeyManager& operator=(const THotKeyManager&) = delete;

  // The key's identifier (the atom, 0xC000 or above), or 0 when the window system refuses the
  // combination (another program holds it, no X display) or the value names no key. A value
  // this manager holds already gives its existing identifier again.
  std::uint16_t RegisterKey(std::uint32_t HotKey);
  // Unregisters every key, the last registered first, and empties the list.
  void UnregisterAllKeys();

  // The registrations, in the order they were made.
  const std::vector<THotKeyRegistration>& Registrations() const { return registrations_; }
  // The hidden window that the presses (platform::WM_HOTKEY) reach.
  platform::HWND Handle() const { return window_->Handle(); }

  TOnHotKeyPressed OnHotKeyPressed;

 private:
  // Unregisters one key and deletes its atom; false when the window system did not know it.
  bool UnregisterKey(const THotKeyRegistration& registration);
  platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);

  IHotKeyRegistrar* registrar_;
  std::vector<THotKeyRegistration> registrations_;
  std::unique_ptr<platform::MessageWindow> window_;
};
