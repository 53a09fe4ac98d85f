#include "platform/VirtualKeys.h"

#include <X11/keysym.h>

#include <QKeySequence>
#include <array>

#include "platform/Latin1.h"

namespace platform {
namespace {

// count consecutive codes from vk map to consecutive keysyms and Qt keys.
struct KeyRow {
  unsigned vk;
  unsigned count;
  std::uint32_t keysym;
  int qtKey;  // a Qt::Key, with Qt::KeypadModifier for the keypad's keys
};

constexpr int kKeypad = Qt::KeypadModifier;

constexpr std::array kKeys{
    KeyRow{0x08, 1, XK_BackSpace, Qt::Key_Backspace},
    KeyRow{0x09, 1, XK_Tab, Qt::Key_Tab},
    KeyRow{0x0D, 1, XK_Return, Qt::Key_Return},
    KeyRow{0x10, 1, XK_Shift_L, Qt::Key_Shift},
    KeyRow{0x11, 1, XK_Control_L, Qt::Key_Control},
    KeyRow{0x12, 1, XK_Alt_L, Qt::Key_Alt},
    KeyRow{0x13, 1, XK_Pause, Qt::Key_Pause},
    KeyRow{0x14, 1, XK_Caps_Lock, Qt::Key_CapsLock},
    KeyRow{0x1B, 1, XK_Escape, Qt::Key_Escape},
    KeyRow{0x20, 1, XK_space, Qt::Key_Space},
    KeyRow{0x21, 1, XK_Prior, Qt::Key_PageUp},
    KeyRow{0x22, 1, XK_Next, Qt::Key_PageDown},
    KeyRow{0x23, 1, XK_End, Qt::Key_End},
    KeyRow{0x24, 1, XK_Home, Qt::Key_Home},
    KeyRow{0x25, 1, XK_Left, Qt::Key_Left},
    KeyRow{0x26, 1, XK_Up, Qt::Key_Up},
    KeyRow{0x27, 1, XK_Right, Qt::Key_Right},
    KeyRow{0x28, 1, XK_Down, Qt::Key_Down},
    KeyRow{0x2C, 1, XK_Print, Qt::Key_Print},
    KeyRow{0x2D, 1, XK_Insert, Qt::Key_Insert},
    KeyRow{0x2E, 1, XK_Delete, Qt::Key_Delete},
    KeyRow{0x30, 10, XK_0, Qt::Key_0},
    KeyRow{0x41, 26, XK_a, Qt::Key_A},
    KeyRow{0x5B, 1, XK_Super_L, Qt::Key_Meta},
    KeyRow{0x5C, 1, XK_Super_R, Qt::Key_Meta},
    KeyRow{0x5D, 1, XK_Menu, Qt::Key_Menu},
    KeyRow{0x60, 10, XK_KP_0, kKeypad | Qt::Key_0},
    KeyRow{0x6A, 1, XK_KP_Multiply, kKeypad | Qt::Key_Asterisk},
    KeyRow{0x6B, 1, XK_KP_Add, kKeypad | Qt::Key_Plus},
    KeyRow{0x6C, 1, XK_KP_Separator, kKeypad | Qt::Key_Comma},
    KeyRow{0x6D, 1, XK_KP_Subtract, kKeypad | Qt::Key_Minus},
    KeyRow{0x6E, 1, XK_KP_Decimal, kKeypad | Qt::Key_Period},
    KeyRow{0x6F, 1, XK_KP_Divide, kKeypad | Qt::Key_Slash},
    KeyRow{0x70, 24, XK_F1, Qt::Key_F1},
    KeyRow{0x90, 1, XK_Num_Lock, Qt::Key_NumLock},
    KeyRow{0x91, 1, XK_Scroll_Lock, Qt::Key_ScrollLock},
    KeyRow{0xBA, 1, XK_semicolon, Qt::Key_Semicolon},
    KeyRow{0xBB, 1, XK_equal, Qt::Key_Equal},
    KeyRow{0xBC, 1, XK_comma, Qt::Key_Comma},
    KeyRow{0xBD, 1, XK_minus, Qt::Key_Minus},
    KeyRow{0xBE, 1, XK_period, Qt::Key_Period},
    KeyRow{0xBF, 1, XK_slash, Qt::Key_Slash},
    KeyRow{0xC0, 1, XK_grave, Qt::Key_QuoteLeft},
    KeyRow{0xDB, 1, XK_bracketleft, Qt::Key_BracketLeft},
    KeyRow{0xDC, 1, XK_backslash, Qt::Key_Backslash},
    KeyRow{0xDD, 1, XK_bracketright, Qt::Key_BracketRight},
    KeyRow{0xDE, 1, XK_apostrophe, Qt::Key_Apostrophe},
};

// The row's keysym and Qt key for vk; false when no row covers it.
bool Lookup(unsigned vk, std::uint32_t& keysym, int& qtKey) {
  for (const KeyRow& row : kKeys) {
    if (vk >= row.vk && vk < row.vk + row.count) {
      keysym = row.keysym + (vk - row.vk);
      qtKey = row.qtKey + static_cast<int>(vk - row.vk);
      return true;
    }
  }
  return false;
}

// Key sequences write a modifier key by its modifier's name ("Ctrl+R"), not by the key's own
// name ("Control"): the name is what stands before the key in such a combination.
QString ModifierName(Qt::KeyboardModifier modifier, QKeySequence::SequenceFormat format) {
  QString combination = QKeySequence(modifier | Qt::Key_A).toString(format);
  QString key = QKeySequence(Qt::Key_A).toString(format);
  if (!combination.endsWith(key)) return combination;
  combination.chop(key.size());
  if (combination.endsWith(QLatin1Char('+'))) combination.chop(1);
  return combination;
}

struct ModifierKey {
  int key;
  Qt::KeyboardModifier modifier;
};

constexpr std::array kModifierKeys{
    ModifierKey{Qt::Key_Shift, Qt::ShiftModifier},
    ModifierKey{Qt::Key_Control, Qt::ControlModifier},
    ModifierKey{Qt::Key_Alt, Qt::AltModifier},
    ModifierKey{Qt::Key_Meta, Qt::MetaModifier},
};

}  // namespace

std::uint32_t VirtualKeyToKeysym(unsigned vk) {
  std::uint32_t keysym = 0;
  int qtKey = 0;
  return Lookup(vk, keysym, qtKey) ? keysym : 0;
}

std::string VirtualKeyName(unsigned vk, bool localized) {
  std::uint32_t keysym = 0;
  int qtKey = 0;
  if (!Lookup(vk, keysym, qtKey)) return {};
  auto format = localized ? QKeySequence::NativeText : QKeySequence::PortableText;
  for (const ModifierKey& m : kModifierKeys) {
    if (m.key == qtKey) return ToLatin1(ModifierName(m.modifier, format));
  }
  return ToLatin1(QKeySequence(qtKey).toString(format));
}

}  // namespace platform
