#pragma once

#include "platform/MessageWindow.h"

namespace platform {

// The message that a hot key's press posts to the window that registered it: wParam is the
// hot key's id, lParam holds the modifier flags in its low 16 bits and the virtual key (see
// VirtualKeys.h) in its high 16 bits.
constexpr unsigned WM_HOTKEY = 0x0312;

// Modifier flags of a hot key.
constexpr unsigned MOD_ALT = 0x1;
constexpr unsigned MOD_CONTROL = 0x2;
constexpr unsigned MOD_SHIFT = 0x4;
constexpr unsigned MOD_WIN = 0x8;

// System-wide hot keys: key combinations that reach this program whatever window has the
// keyboard focus. They live on the X display of Qt's xcb platform: each is a passive grab of the
// key on every root window, once for each state of Caps Lock and Num Lock, so that the locks do
// not matter. Presses arrive through the application's native event filter, which posts
// WM_HOTKEY to the window; auto-repeat posts one message per repeated press. Main thread only.

// False, leaving nothing registered, when: the program has no X display (Qt's offscreen or
// Wayland platform), the modifiers hold other flags, the virtual key is unknown or has no key on
// the keyboard, this process has the combination registered already, the window has a hot key
// with this id already, or another X client holds any of the grabs (X's BadAccess).
bool RegisterHotKey(HWND window, int id, unsigned modifiers, unsigned vk);

// Releases the grabs of the window's hot key with this id. False when there is none.
bool UnregisterHotKey(HWND window, int id);

}  // namespace platform
