#include "server/SendWatch.h"

void TSendWatch::Reset(std::uint32_t now) {
  since_ = now;
  delivered_ = 0;
}

TSendWatch::TVerdict TSendWatch::Sample(std::uint32_t now, const TSendBacklog& sample) {
  if (sample.Waiting() == 0 || sample.Delivered != delivered_) {
    since_ = now;
    delivered_ = sample.Delivered;
  }
  if (sample.Queued > maxQueued_) return TVerdict::Overfull;
  const std::uint32_t waited = now - since_;
  const bool answers = sample.SinceAckMs + kAnswerSlackMs < waited;
  if (answers && waited >= stallMs_) return TVerdict::Stalled;
  if (waited >= unansweredMs_ && waited >= stallMs_) return TVerdict::Unanswered;
  return TVerdict::Flowing;
}
