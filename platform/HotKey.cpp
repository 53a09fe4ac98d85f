#include "platform/HotKey.h"

#include <X11/keysym.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/VirtualKeys.h"

namespace platform {
namespace {

struct Grab {
  xcb_window_t root;
  xcb_keycode_t keycode;
  std::uint16_t state;
};

struct HotKeyEntry {
  HWND window;
  int id;
  unsigned modifiers;
  unsigned vk;
  std::uint16_t xState;       // the modifier masks X reports for the combination
  std::uint16_t significant;  // the masks that tell combinations apart (not the locks)
  std::vector<Grab> grabs;
};

std::vector<HotKeyEntry>& Entries() {
  static std::vector<HotKeyEntry> entries;
  return entries;
}

template <class T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_connection_t* Connection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  auto* x11 = gui ? gui->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (connection == nullptr || xcb_connection_has_error(connection)) return nullptr;
  return connection;
}

class KeySymbols {
 public:
  explicit KeySymbols(xcb_connection_t* c) : symbols_(xcb_key_symbols_alloc(c)) {}
  ~KeySymbols() {
    if (symbols_) xcb_key_symbols_free(symbols_);
  }
  KeySymbols(const KeySymbols&) = delete;
  KeySymbols& operator=(const KeySymbols&) = delete;

  // Every key that carries the keysym, at any level.
  std::vector<xcb_keycode_t> KeysOf(xcb_keysym_t keysym) const {
    std::vector<xcb_keycode_t> keys;
    if (!symbols_) return keys;
    std::unique_ptr<xcb_keycode_t, decltype(&std::free)> codes(
        xcb_key_symbols_get_keycode(symbols_, keysym), &std::free);
    for (xcb_keycode_t* k = codes.get(); k && *k != XCB_NO_SYMBOL; ++k) keys.push_back(*k);
    return keys;
  }
  bool KeyCarries(xcb_keycode_t key, std::initializer_list<xcb_keysym_t> keysyms) const {
    if (!symbols_) return false;
    for (int column = 0; column < 4; ++column) {
      xcb_keysym_t sym = xcb_key_symbols_get_keysym(symbols_, key, column);
      for (xcb_keysym_t wanted : keysyms)
        if (sym == wanted) return true;
    }
    return false;
  }

 private:
  xcb_key_symbols_t* symbols_;
};

// Which of Mod1 to Mod5 the Alt, Windows (Super) and Num Lock keys set on this display. Alt and
// Super are Mod1 and Mod4 almost everywhere; Num Lock may be on none.
struct ModifierMasks {
  std::uint16_t alt = XCB_MOD_MASK_1;
  std::uint16_t super = XCB_MOD_MASK_4;
  std::uint16_t numLock = 0;
};

ModifierMasks ReadModifierMasks(xcb_connection_t* c, const KeySymbols& symbols) {
  ModifierMasks masks;
  XcbReply<xcb_get_modifier_mapping_reply_t> reply(
      xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr), &std::free);
  if (!reply) return masks;
  const xcb_keycode_t* keys = xcb_get_modifier_mapping_keycodes(reply.get());
  const int perModifier = reply->keycodes_per_modifier;
  bool altFound = false, superFound = false, numLockFound = false;
  for (int modifier = 3; modifier < 8; ++modifier) {  // Mod1 .. Mod5
    auto mask = static_cast<std::uint16_t>(1u << modifier);
    for (int i = 0; i < perModifier; ++i) {
      xcb_keycode_t key = keys[modifier * perModifier + i];
      if (key == 0) continue;
      if (!altFound && symbols.KeyCarries(key, {XK_Alt_L, XK_Alt_R, XK_Meta_L})) {
        masks.alt = mask;
        altFound = true;
      }
      if (!superFound && symbols.KeyCarries(key, {XK_Super_L, XK_Super_R})) {
        masks.super = mask;
        superFound = true;
      }
      if (!numLockFound && symbols.KeyCarries(key, {XK_Num_Lock})) {
        masks.numLock = mask;
        numLockFound = true;
      }
    }
  }
  return masks;
}

std::vector<xcb_window_t> Roots(xcb_connection_t* c) {
  std::vector<xcb_window_t> roots;
  for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
    roots.push_back(it.data->root);
  return roots;
}

// The lock states a grab must cover so that Caps Lock and Num Lock do not matter.
std::vector<std::uint16_t> LockStates(std::uint16_t numLock) {
  std::vector<std::uint16_t> states{0, XCB_MOD_MASK_LOCK};
  if (numLock != 0 && numLock != XCB_MOD_MASK_LOCK) {
    states.push_back(numLock);
    states.push_back(static_cast<std::uint16_t>(numLock | XCB_MOD_MASK_LOCK));
  }
  return states;
}

void Ungrab(xcb_connection_t* c, const std::vector<Grab>& grabs) {
  std::vector<xcb_void_cookie_t> cookies;
  for (const Grab& g : grabs)
    cookies.push_back(xcb_ungrab_key_checked(c, g.keycode, g.root, g.state));
  for (xcb_void_cookie_t cookie : cookies) std::free(xcb_request_check(c, cookie));
}

// Grabs every (root, key, lock state); on the first refusal (another client holds one: X's
// BadAccess) releases what it took, so that nothing stays grabbed.
bool GrabAll(xcb_connection_t* c, const std::vector<xcb_keycode_t>& keys,
             const ModifierMasks& masks, HotKeyEntry& entry) {
  std::vector<std::pair<Grab, xcb_void_cookie_t>> pending;
  for (xcb_window_t root : Roots(c)) {
    for (xcb_keycode_t key : keys) {
      for (std::uint16_t lock : LockStates(masks.numLock)) {
        Grab g{root, key, static_cast<std::uint16_t>(entry.xState | lock)};
        pending.emplace_back(g, xcb_grab_key_checked(c, 1, root, g.state, key, XCB_GRAB_MODE_ASYNC,
                                                     XCB_GRAB_MODE_ASYNC));
      }
    }
  }
  bool refused = false;
  for (const auto& [grab, cookie] : pending) {
    if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
      std::free(error);
      refused = true;
    } else {
      entry.grabs.push_back(grab);
    }
  }
  if (!refused) return true;
  Ungrab(c, entry.grabs);
  entry.grabs.clear();
  return false;
}

// Turns the presses of grabbed combinations into WM_HOTKEY for the registering window. Their
// releases are taken too: they belong to no window of Qt's.
class HotKeyFilter : public QAbstractNativeEventFilter {
 public:
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const std::uint8_t kind = event->response_type & 0x7F;
    if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE) return false;
    // Presses and releases share one layout.
    auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
    for (const HotKeyEntry& entry : Entries()) {
      if ((key->state & entry.significant) != entry.xState) continue;
      for (const Grab& g : entry.grabs) {
        if (g.root != key->event || g.keycode != key->detail) continue;
        if (kind == XCB_KEY_PRESS) {
          MessageWindow::Post(entry.window, WM_HOTKEY, static_cast<WPARAM>(entry.id),
                              static_cast<LPARAM>(entry.modifiers | (entry.vk << 16)));
        }
        return true;
      }
    }
    return false;
  }
};

// Installed while any hot key is registered. Kept on the heap, never destroyed at exit: the
// event dispatcher may be gone by then.
HotKeyFilter* g_filter = nullptr;

void UpdateFilter() {
  if (!Entries().empty() && !g_filter) {
    g_filter = new HotKeyFilter;
    QCoreApplication::instance()->installNativeEventFilter(g_filter);
  } else if (Entries().empty() && g_filter) {
    QCoreApplication::instance()->removeNativeEventFilter(g_filter);
    delete g_filter;
    g_filter = nullptr;
  }
}

}  // namespace

bool RegisterHotKey(HWND window, int id, unsigned modifiers, unsigned vk) {
  if ((modifiers & ~(MOD_ALT | MOD_CONTROL | MOD_SHIFT | MOD_WIN)) != 0) return false;
  for (const HotKeyEntry& e : Entries()) {
    if (e.window == window && e.id == id) return false;
    if (e.modifiers == modifiers && e.vk == vk) return false;
  }
  const std::uint32_t keysym = VirtualKeyToKeysym(vk);
  if (keysym == 0) return false;
  xcb_connection_t* c = Connection();
  if (c == nullptr) return false;
  KeySymbols symbols(c);
  const std::vector<xcb_keycode_t> keys = symbols.KeysOf(keysym);
  if (keys.empty()) return false;
  const ModifierMasks masks = ReadModifierMasks(c, symbols);

  HotKeyEntry entry{window, id, modifiers, vk, 0, 0, {}};
  if (modifiers & MOD_SHIFT) entry.xState |= XCB_MOD_MASK_SHIFT;
  if (modifiers & MOD_CONTROL) entry.xState |= XCB_MOD_MASK_CONTROL;
  if (modifiers & MOD_ALT) entry.xState |= masks.alt;
  if (modifiers & MOD_WIN) entry.xState |= masks.super;
  entry.significant = static_cast<std::uint16_t>(XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL |
                                                 masks.alt | masks.super);
  if (!GrabAll(c, keys, masks, entry)) return false;
  Entries().push_back(std::move(entry));
  UpdateFilter();
  return true;
}

bool UnregisterHotKey(HWND window, int id) {
  auto& entries = Entries();
  for (auto it = entries.begin(); it != entries.end(); ++it) {
    if (it->window != window || it->id != id) continue;
    if (xcb_connection_t* c = Connection()) Ungrab(c, it->grabs);
    entries.erase(it);
    UpdateFilter();
    return true;
  }
  return false;
}

}  // namespace platform
