#pragma once

#include "sockets/LineWSocket.h"

// The layer that will let a caller wait, handling messages, until an asynchronous operation has
// finished. It adds nothing yet.
class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  TCustomSyncWSocket() = default;
  ~TCustomSyncWSocket() override { DestroySocket(); }
};
