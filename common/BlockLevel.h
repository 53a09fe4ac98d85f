#pragma once

#include <cstdint>

// The loudness of one block of 16-bit little-endian mono samples: the average and the largest
// absolute sample value. A block of fewer than two bytes has no samples: both 0.
struct TBlockLevel {
  std::int64_t Samples = 0;
  std::int64_t Average = 0;
  std::int32_t Peak = 0;
};

TBlockLevel MeasureBlock(const void* data, std::int32_t size);
