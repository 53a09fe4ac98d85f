#include "sockets/SendBacklog.h"

#include <algorithm>

std::uint64_t TSendBacklog::Behind() const {
  const std::uint64_t notSent = std::min(NotSent, InFlight);
  const std::uint64_t sent = InFlight - notSent;
  if (Carries) {
    const std::uint64_t roundTrip = DeliveredPerSec * RttUs / 1000000;
    return Queued + notSent - std::min(notSent, roundTrip);
  }
  std::uint64_t queuedOnPath = sent;
  if (RttUs > 0 && MinRttUs > 0) queuedOnPath = sent * (RttUs - std::min(MinRttUs, RttUs)) / RttUs;
  return Queued + notSent + queuedOnPath;
}
