#include "sockets/SendBacklog.h"

#include <algorithm>

std::uint64_t TSendBacklog::Behind() const {
  const std::uint64_t notSent = std::min(NotSent, InFlight);
  const std::uint64_t sent = InFlight - notSent;
  std::uint64_t queuedOnPath = sent;
  if (RttUs > 0 && MinRttUs > 0) queuedOnPath = sent * (RttUs - std::min(MinRttUs, RttUs)) / RttUs;
  return Queued + notSent + queuedOnPath;
}
