#include "common/AudioThinning.h"

TAudioThinning::TDecision TAudioThinning::Decide(std::uint64_t waiting, std::uint32_t now) {
  TDecision decision;
  if (waiting > kMaxWaitingBytes) {
    decision.Send = false;
    if (!thinning_) decision.Change = TChange::Thinned;
    thinning_ = true;
    lastSkip_ = now;
  } else if (thinning_ && now - lastSkip_ >= kWholeAfterMs) {
    thinning_ = false;
    decision.Change = TChange::Whole;
  }
  return decision;
}
