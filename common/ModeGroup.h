#pragma once

#include <cstdint>

// The radio's modes in groups, as the display report gives them; 0 while unknown.
enum TModeGroup : std::uint8_t {
  kModeGroupNone = 0,
  kModeGroupMorse = 1,  // CW, CW-R
  kModeGroupVoice = 2,  // LSB, USB
  kModeGroupData = 3,   // RTTY, RTTY-R
};
