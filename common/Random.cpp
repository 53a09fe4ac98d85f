#include "common/Random.h"

#include <chrono>

namespace {
std::uint32_t g_randSeed = 0;
}

std::uint32_t RandSeed() {
  return g_randSeed;
}
void SetRandSeed(std::uint32_t seed) {
  g_randSeed = seed;
}

std::uint32_t Random(std::uint32_t range) {
  g_randSeed = g_randSeed * 134775813u + 1u;
  return static_cast<std::uint32_t>((static_cast<std::uint64_t>(g_randSeed) * range) >> 32);
}

void Randomize() {
  g_randSeed =
      static_cast<std::uint32_t>(std::chrono::system_clock::now().time_since_epoch().count());
}
