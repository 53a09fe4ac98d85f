#include "platform/Tick.h"

#include <atomic>
#include <chrono>

namespace platform {
namespace {
std::atomic<std::uint32_t> g_offset{0};
}

std::uint32_t GetTickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms)) + g_offset.load();
}

void SetTickOffset(std::uint32_t offset) {
  g_offset.store(offset);
}

}  // namespace platform
