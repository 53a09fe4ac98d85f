#pragma once

#include <array>
#include <cstdint>
#include <string>

// The radio's display report as the client reads it: eight display characters (bit 7 of a
// character carries the decimal point in front of it), then byte A with the annunciators and
// byte B with their blink flags. Qt-free.

// The eight annunciator marks under the display, in their order from the left.
inline constexpr int kAnnunciators = 8;
using TAnnunciatorRow = std::array<bool, kAnnunciators>;

struct TDisplayReport {
  std::string Text;            // the eight display characters as received
  TAnnunciatorRow Lit{};       // the steady phase
  TAnnunciatorRow Blink{};     // the blink phase
  bool HasPoint = false;       // a decimal point in places 1 to 7; only then the two below count
  int ResolutionIndex = 0;     // 0..3: the tuning resolution the display shows
  std::uint8_t ModeGroup = 0;  // from the mode character in place 8; 0 when it names none
};

// False, leaving report alone, unless the value has exactly ten characters.
bool DecodeDisplayReport(const std::string& value, TDisplayReport& report);

// The mode group of the display's mode character: "X" or "Z" 1 (Morse), "<" or "V" 2 (voice),
// "R" or "[" 3 (data), anything else 0.
std::uint8_t ModeGroupOf(char mode);

// Whether the report is one of the radio's own start-up texts (its first character is a
// capital letter) rather than a live reading.
bool IsStartupText(const std::string& value);
