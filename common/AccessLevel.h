#pragma once

#include <cstdint>

// A user's access to the radio: the number [Privileges] stores and "PRIV" sends.
enum TAccessLevel : std::int32_t {
  kAccessRxOnly = 0,  // "RX only"
  kAccessTxRx = 1,    // "TX/RX": may transmit
  kAccessFull = 2,    // "Full": may also change the radio's set-up and close the server
};
