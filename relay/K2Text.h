#pragma once

#include <cstdint>
#include <string>

// Fixed texts and small conversions of the K2's command set, shared by the command translator,
// the reply parser and the server.

// The commands written to the K2 right after a successful login.
std::string K2StartupCommands();

// "RX only" (0), "TX/RX" (1), "Full" (2), "Unknown" for any other level.
std::string AccessLevelName(std::int32_t level);

// The "#" message, CR LF included, that refuses an action to a client of the given access level.
std::string AccessDeniedText(std::int32_t level);

// The K2's name of a mode number: 1 "LSB", 2 "USB", 3 "CW", 6 "RTTY", 7 "CW-R", 9 "RTTY-R"; the
// empty text for every other number.
std::string ModeName(std::int32_t mode);

// 1 for the voice modes (1, 2), 2 for the Morse modes (3, 7), 3 for the data modes (6, 9), 0 for
// all others.
std::uint8_t ModeClass(std::int32_t mode);

// The characters read as a decimal number of hertz (each counts its character code minus 48,
// without any check), in kilohertz.
long double DigitsToKHz(const std::string& digits);

// Morse text prepared for the K2's keyer buffer: upper case; "@" spelled " AT "; the prosigns
// KN, AR, BT, AS and SK standing alone become the K2's "(", "+", "=", "%" and "*"; the characters
// that the K2 would take for a prosign or a command end (<, >, (, ), %, *, ";") and control
// characters removed; no spaces at either end.
std::string CWTextToKeyer(const std::string& text);
