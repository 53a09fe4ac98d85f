#include "sockets/SendBacklog.h"

#include <algorithm>
#include <limits>

std::uint32_t TSendBacklog::BehindMs() const {
  if (Probing) return std::numeric_limits<std::uint32_t>::max();
  std::uint32_t grace = Carries ? OwnDelayMs : 0;
  if (LossOnly()) grace = std::max(grace, kLossGraceMs);
  return OverdueMs - std::min(OverdueMs, grace);
}
