#pragma once

#include <cstdint>
#include <functional>

#include "platform/MessagePump.h"
#include "platform/Tick.h"

namespace testsupport {

// Dispatches messages until cond holds or ms milliseconds have passed; the result of cond.
inline bool WaitFor(const std::function<bool()>& cond, std::uint32_t ms = 10000) {
  const std::uint32_t start = platform::GetTickCount();
  while (!cond()) {
    if (platform::GetTickCount() - start >= ms) return cond();
    platform::WaitMessages(10);
  }
  return true;
}

}  // namespace testsupport
