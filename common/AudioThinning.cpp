#include "common/AudioThinning.h"

TAudioThinning::TDecision TAudioThinning::Decide(TLinkState link, std::uint32_t now) {
  TDecision decision;
  const bool thinned = link != TLinkState::Carries;
  if (thinned != thinned_) decision.Change = thinned ? TChange::Thinned : TChange::Whole;
  thinned_ = thinned;
  if (!thinned) wasBehind_ = false;
  if (link == TLinkState::Behind) {
    wasBehind_ = true;
    lastBehind_ = now;
    decision.Send = false;
  } else if (wasBehind_ && now - lastBehind_ < kPatternMs) {
    decision.Send = skipping_ ? count_ >= skipBlocks_ : count_ < runBlocks_;
  }
  if (decision.Send == skipping_) {
    skipping_ = !decision.Send;
    count_ = 0;
  }
  ++count_;
  return decision;
}
