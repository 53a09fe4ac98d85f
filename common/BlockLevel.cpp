#include "common/BlockLevel.h"

#include <algorithm>
#include <cstring>

TBlockLevel MeasureBlock(const void* data, std::int32_t size) {
  TBlockLevel level;
  level.Samples = size > 0 ? size / 2 : 0;
  if (level.Samples == 0) return level;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::int64_t sum = 0;
  for (std::int64_t i = 0; i < level.Samples; ++i) {
    std::int16_t s;
    std::memcpy(&s, bytes + 2 * i, 2);
    const std::int32_t a = s < 0 ? -static_cast<std::int32_t>(s) : s;
    sum += a;
    level.Peak = std::max(level.Peak, a);
  }
  level.Average = sum / level.Samples;
  return level;
}
