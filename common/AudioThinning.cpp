#include "common/AudioThinning.h"

TAudioThinning::TDecision TAudioThinning::Decide(std::uint32_t behindMs, std::uint32_t now) {
  TDecision decision;
  const bool hold = behindMs == kHold;
  const bool full = !hold && behindMs > kMaxBehindMs;
  if (full) {
    if (!thinning_) decision.Change = TChange::Thinned;
    thinning_ = true;
    lastSkip_ = now;
  } else if (thinning_ && now - lastSkip_ >= kWholeAfterMs) {
    thinning_ = false;
    decision.Change = TChange::Whole;
  }
  if (hold || full)
    decision.Send = false;
  else if (thinning_ && now - lastSkip_ < kPatternMs)
    decision.Send = skipping_ ? count_ >= skipBlocks_ : count_ < runBlocks_;
  if (decision.Send == skipping_) {
    skipping_ = !decision.Send;
    count_ = 0;
  }
  ++count_;
  return decision;
}
