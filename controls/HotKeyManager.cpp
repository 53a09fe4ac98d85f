#include "controls/HotKeyManager.h"

#include <algorithm>

#include "platform/GlobalAtom.h"
#include "platform/VirtualKeys.h"

namespace {

constexpr unsigned kVkShift = 0x10, kVkControl = 0x11, kVkMenu = 0x12;
constexpr std::size_t kMaxKeyName = 255;

class SystemHotKeys : public IHotKeyRegistrar {
 public:
  bool Register(platform::HWND window, int id, unsigned modifiers, unsigned vk) override {
    return platform::RegisterHotKey(window, id, modifiers, vk);
  }
  bool Unregister(platform::HWND window, int id) override {
    return platform::UnregisterHotKey(window, id);
  }
};

SystemHotKeys g_systemHotKeys;

struct ModifierNames {
  std::string shift = "Shift", ctrl = "Ctrl", alt = "Alt", win = "Win";
};

// The names of the keyboard in use, taken once.
const ModifierNames& LocalizedNames() {
  static const ModifierNames names = [] {
    ModifierNames n;
    n.shift = platform::VirtualKeyName(kVkShift, true);
    n.ctrl = platform::VirtualKeyName(kVkControl, true);
    n.alt = platform::VirtualKeyName(kVkMenu, true);
    // A keyboard that writes its modifiers in capitals gets "WIN" to match.
    if (std::all_of(n.alt.begin(), n.alt.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
      n.win = "WIN";
    return n;
  }();
  return names;
}

std::string AtomName(std::uint32_t hotKey) {
  return "HotKeyManagerHotKey" + std::to_string(hotKey);
}

}  // namespace

std::uint32_t EncodeHotKey(std::uint16_t Modifiers, std::uint16_t Key) {
  std::uint32_t value = Key;
  if (Modifiers & platform::MOD_ALT) value += kHotKeyAlt;
  if (Modifiers & platform::MOD_CONTROL) value += kHotKeyCtrl;
  if (Modifiers & platform::MOD_SHIFT) value += kHotKeyShift;
  if (Modifiers & platform::MOD_WIN) value += kHotKeyWin;
  return value;
}

void DecodeHotKey(std::uint32_t Value, std::uint16_t& Modifiers, std::uint16_t& Key) {
  Key = static_cast<std::uint16_t>(Value & 0xFF);
  Modifiers = 0;
  if (Value & kHotKeyWin) Modifiers |= platform::MOD_WIN;
  if (Value & kHotKeyAlt) Modifiers |= platform::MOD_ALT;
  if (Value & kHotKeyCtrl) Modifiers |= platform::MOD_CONTROL;
  if (Value & kHotKeyShift) Modifiers |= platform::MOD_SHIFT;
}

std::string DescribeHotKey(std::uint32_t Value, bool Localized) {
  static const ModifierNames kFixed;
  const ModifierNames& names = Localized ? LocalizedNames() : kFixed;
  std::string text;
  if (Value & kHotKeyCtrl) text += names.ctrl + "+";
  if (Value & kHotKeyShift) text += names.shift + "+";
  if (Value & kHotKeyAlt) text += names.alt + "+";
  if (Value & kHotKeyWin) text += names.win + "+";
  std::string key = platform::VirtualKeyName(Value & 0xFF, Localized);
  if (key.size() > kMaxKeyName) key.resize(kMaxKeyName);
  return text + key;
}

THotKeyManager::THotKeyManager(IHotKeyRegistrar* registrar)
    : registrar_(registrar ? registrar : &g_systemHotKeys),
      window_(std::make_unique<platform::MessageWindow>(
          [this](unsigned msg, platform::WPARAM w, platform::LPARAM l) {
            return WndProc(msg, w, l);
          })) {}

THotKeyManager::~THotKeyManager() {
  window_->SetWndProc({});
  UnregisterAllKeys();
}

std::uint16_t THotKeyManager::RegisterKey(std::uint32_t HotKey) {
  // The client registers its keys each time its window is shown: a key held already keeps
  // working under the identifier the caller has.
  for (const THotKeyRegistration& r : registrations_)
    if (r.HotKey == HotKey) return r.KeyIndex;
  std::uint16_t modifiers = 0, key = 0;
  DecodeHotKey(HotKey, modifiers, key);
  platform::ATOM atom = platform::AddGlobalAtom(AtomName(HotKey));
  if (atom == 0) return 0;
  if (!registrar_->Register(window_->Handle(), atom, modifiers, key)) {
    platform::DeleteGlobalAtom(atom);
    return 0;
  }
  registrations_.push_back({HotKey, atom});
  return atom;
}

bool THotKeyManager::UnregisterKey(const THotKeyRegistration& registration) {
  bool ok = registrar_->Unregister(window_->Handle(), registration.KeyIndex);
  platform::DeleteGlobalAtom(registration.KeyIndex);
  return ok;
}

void THotKeyManager::UnregisterAllKeys() {
  while (!registrations_.empty()) {
    UnregisterKey(registrations_.back());
    registrations_.pop_back();
  }
}

platform::LRESULT THotKeyManager::WndProc(unsigned msg, platform::WPARAM wParam,
                                          platform::LPARAM lParam) {
  if (msg != platform::WM_HOTKEY || !OnHotKeyPressed) return 0;
  const auto modifiers = static_cast<std::uint16_t>(lParam & 0xFFFF);
  const auto key = static_cast<std::uint16_t>((lParam >> 16) & 0xFFFF);
  const std::uint32_t value = EncodeHotKey(modifiers, key);
  const bool held =
      std::any_of(registrations_.begin(), registrations_.end(),
                  [value](const THotKeyRegistration& r) { return r.HotKey == value; });
  if (!held) return 0;
  // The handler may destroy this manager.
  TOnHotKeyPressed handler = OnHotKeyPressed;
  handler(value, static_cast<std::uint16_t>(wParam));
  return 0;
}
