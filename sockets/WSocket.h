#pragma once

#include "sockets/SyncWSocket.h"

// The socket that the programs and the HTTP client use: the whole chain, core, proxy layer,
// line mode and synchronous wait. See CustomWSocket.h for the contract.
//
// The close on destruction runs in this destructor, while every layer of the object still
// exists (C++ would not reach the overrides of the layers from the base destructor).
class TWSocket : public TCustomSyncWSocket {
 public:
  TWSocket() = default;
  ~TWSocket() override { DestroySocket(); }
};
