#pragma once

#include <cstdint>

// A user's access to the radio: the number [Privileges] stores and "PRIV" sends.
enum TAccessLevel : std::int32_t {
  kAccessRxOnly = 0,  // "RX only"
  kAccessTxRx = 1,    // "TX/RX": may transmit
  kAccessFull = 2,    // "Full": may also change the radio's set-up and close the server
};

// The access a switch press needs (its code: the switch's number, plus 16 for a hold): Full for
// those that change the radio's set-up, TX/RX for those that transmit, RX only for the others.
constexpr TAccessLevel SwitchAccess(std::int32_t code) {
  switch (code) {
    case 5:   // 5 tapped
    case 19:  // 3 held
    case 21:  // 5 held
    case 30:  // 14 held
    case 31:  // 15 held
      return kAccessFull;
    case 16:  // 16 tapped: transmit
    case 20:  // 4 held
    case 32:  // 16 held: tune
      return kAccessTxRx;
    default:
      return kAccessRxOnly;
  }
}
