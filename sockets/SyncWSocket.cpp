#include "sockets/SyncWSocket.h"

#include <algorithm>

#include "platform/MessagePump.h"
#include "platform/Tick.h"

namespace {
// Longest sleep between two looks at the terminate flag, which may be set without a message.
constexpr std::uint32_t kLookMs = 100;
}  // namespace

int TCustomSyncWSocket::CallAndWait(const std::function<void()>& proc, bool& done) {
  done = false;
  if (proc) proc();
  return WaitUntilReady(done);
}

int TCustomSyncWSocket::WaitUntilReady(bool& done) {
  const bool limited = timeout_ > 0;
  const std::uint32_t stop = platform::GetTickCount() + static_cast<std::uint32_t>(timeout_);
  while (!done) {
    auto left = platform::TicksBetween(platform::GetTickCount(), stop);
    if (limited && left < 0) return kWaitTimedOut;
    // The socket's own pump (with MultiThreaded) notes an end request for good.
    MessagePump();
    if (done) break;
    if (platform::Terminated() || Terminated()) return kWaitTimedOut;
    // Sleeps in the event loop until something arrives, instead of spinning.
    std::uint32_t slice = kLookMs;
    if (limited) slice = std::min<std::uint32_t>(slice, static_cast<std::uint32_t>(left) + 1);
    platform::WaitMessage(slice);
  }
  return 0;
}
