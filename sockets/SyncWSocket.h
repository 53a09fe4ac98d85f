#pragma once

#include <cstdint>
#include <functional>

#include "sockets/LineWSocket.h"

// Waiting for an asynchronous operation: the caller blocks while the thread keeps handling its
// messages, so the socket's events (and every other window's) run meanwhile; an event handler of
// the caller's sets the done flag when the awaited operation has finished. Handlers run inside
// the wait and may start another wait of their own.
class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  // The result of a wait that ended without the flag: time-out or the application's end.
  static constexpr int kWaitTimedOut = 12001;

  TCustomSyncWSocket() = default;
  ~TCustomSyncWSocket() override { DestroySocket(); }

  // Longest wait in milliseconds; 0 or less waits without limit.
  std::int32_t Timeout() const { return timeout_; }
  void SetTimeout(std::int32_t ms) { timeout_ = ms; }

  // Clears done, calls proc (when given; it should start the operation), then WaitUntilReady.
  virtual int CallAndWait(const std::function<void()>& proc, bool& done);
  // 0 once done is true (at once when it already is), kWaitTimedOut when Timeout passes first
  // or the application is asked to end (with MultiThreaded: once the socket's own pump has seen
  // that, for every later wait too).
  virtual int WaitUntilReady(bool& done);

 private:
  std::int32_t timeout_ = 0;
};
