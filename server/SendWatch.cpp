#include "server/SendWatch.h"

void TSendWatch::Reset(std::uint32_t now) {
  since_ = now;
  delivered_ = 0;
}

TSendWatch::TVerdict TSendWatch::Sample(std::uint32_t now, std::uint64_t queued,
                                        std::uint64_t inFlight, std::uint64_t delivered) {
  if (queued + inFlight == 0 || delivered != delivered_) {
    since_ = now;
    delivered_ = delivered;
  }
  if (queued > maxQueued_) return TVerdict::Overfull;
  if (now - since_ >= stallMs_) return TVerdict::Stalled;
  return TVerdict::Flowing;
}
