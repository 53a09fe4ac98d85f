#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The other desktop's virtual-key codes (0x41 for the A key, 0x6B for the keypad's plus), which
// hot-key values carry, translated for X11 and Qt by one table: letters, digits, function keys,
// the keypad, navigation and editing keys, the modifier and lock keys and the US punctuation keys.

// The X keysym of the key, 0 for a code that the table does not know.
std::uint32_t VirtualKeyToKeysym(unsigned vk);

// The key's name as Qt's key sequences write it: "R", "F5", "PgUp", "Num++"; the modifier keys
// as they appear in a combination ("Ctrl", "Shift", "Alt", "Meta"). Localized: in the user's
// language, as far as Qt's translations go; otherwise always in English. Empty for a code that
// the table does not know.
std::string VirtualKeyName(unsigned vk, bool localized);

}  // namespace platform
