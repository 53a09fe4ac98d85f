#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary start, from a monotonic clock, as a 32-bit number that wraps
// after about 49.7 days. Compare ticks by unsigned subtraction.
std::uint32_t GetTickCount();

// For tests: a number added to every tick (modulo 2^32), to bring the wrap near.
void SetTickOffset(std::uint32_t offset);

}  // namespace platform
