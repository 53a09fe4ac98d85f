#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, from a monotonic clock, as a 32-bit number that wraps
// after about 49.7 days. Compare ticks by unsigned subtraction, or with TicksBetween.
std::uint32_t GetTickCount();

// How many milliseconds later than earlier the tick later is; negative when it comes before. Only
// ticks less than about 24.8 days apart are told apart this way, so what keeps a tick to compare
// with must let it go well before that.
inline std::int32_t TicksBetween(std::uint32_t earlier, std::uint32_t later) {
  return static_cast<std::int32_t>(later - earlier);
}

// For tests: a number added to every tick (modulo 2^32), to bring the wrap near.
void SetTickOffset(std::uint32_t offset);

}  // namespace platform
