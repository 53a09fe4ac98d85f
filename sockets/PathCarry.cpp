#include "sockets/PathCarry.h"

#include <algorithm>
#include <cstdint>

namespace {

std::int32_t Signed(std::uint32_t difference) {
  return static_cast<std::int32_t>(difference);
}

// a - b in milliseconds, 0 when b comes after a.
std::uint32_t Since(std::uint32_t a, std::uint32_t b) {
  return static_cast<std::uint32_t>(std::max(Signed(a - b), 0));
}

}  // namespace

void TPathCarry::Reset() {
  *this = TPathCarry();
}

void TPathCarry::Wrote(std::uint32_t now, std::uint64_t written) {
  if (written <= written_) return;
  written_ = written;
  if (marks_.size() > judged_ && Since(now, marks_.back().tick) < kStepMs)
    marks_.back() = {now, written};
  else
    marks_.push_back({now, written});
}

void TPathCarry::Sample(std::uint32_t now, const TSendBacklog& system) {
  const std::uint32_t minRttMs = system.MinRttUs / 1000, rttMs = system.RttUs / 1000;
  const std::uint32_t acked = now - system.SinceAckMs;
  // Everything delivered since the last sample was acknowledged by the latest acknowledgement: a
  // byte's delay is known to within the samples' pace, and never taken for less than it was.
  while (judged_ < marks_.size() && marks_[judged_].bytes <= system.Delivered)
    Measured(now, marks_[judged_++], acked, minRttMs);
  const std::uint64_t fresh = system.Delivered > delivered_ ? system.Delivered - delivered_ : 0;
  delivered_ += fresh;
  TSendBacklog seen = system;
  seen.OwnDelayMs = own_;
  CountBusy(now, fresh, seen.LossOnly());

  if (known_) own_ = std::max(own_, minRttMs);
  // The system's round trip, unlike what was written, takes no wait of small writes for others.
  const bool over = known_ && rttMs > own_ + kDoubtMs;
  if (over && !doubt_) doubtSince_ = now;
  doubt_ = over;
  Probe(now, rttMs, minRttMs);
  const std::uint32_t own = known_ ? own_ : minRttMs;
  // Until the bytes written after a probe's pause tell what the path is, they are not overdue.
  std::uint64_t due = WrittenBy(now - own);
  if (phase_ == TPhase::Testing) due = std::min(due, testFrom_);
  overdue_ = due > delivered_ ? due - delivered_ : 0;
  const std::uint64_t rate = Rate();
  overdueMs_ =
      static_cast<std::uint32_t>(std::min<std::uint64_t>(overdue_ * 1000 / rate, UINT32_MAX));
  const bool noQueue = known_ && rttMs <= own_ + TSendBacklog::kQueueMs;
  // A loss counts once it is mended and the round trip still shows no queue: when a link slows,
  // the system's timer may run out before the first acknowledgement, and that shows a queue.
  if (system.Retransmitting) {
    mending_ = true;
  } else if (mending_) {
    mending_ = false;
    if (noQueue) lost_ = true, lastLoss_ = now;
  }
  carries_ = noQueue && own_ >= kLongPathMs;
  atOnce_ = carries_ || (noQueue && lost_ && Since(now, lastLoss_) < kLossMemoryMs);
  Prune(now, own);
}

void TPathCarry::Measured(std::uint32_t now, const TCount& mark, std::uint32_t at,
                          std::uint32_t minRttMs) {
  const std::uint32_t delay = std::max(Since(at, mark.tick), minRttMs);
  lastDelay_ = delay;
  lastMeasured_ = now;
  recent_.push_back({now, delay});
  while (Since(now, recent_.front().tick) > 1000) recent_.pop_front();
  if (phase_ == TPhase::Testing && mark.bytes > testFrom_) {
    // As slow after the pause as before it, the delay is the path's own; quicker by half of what
    // it had beyond the own delay or more, it was a queue of ours. More than twice as slow is a
    // link that stalled meanwhile, which tells nothing.
    const std::uint64_t excess = delayBefore_ > own_ ? delayBefore_ - own_ : 0;
    const bool longer = holdWhole_ && delay > own_ + kDoubtMs &&
                        2 * std::uint64_t{delay - own_} >= excess &&
                        delay <= 2 * std::uint64_t{delayBefore_} + kDoubtMs;
    if (longer) own_ = delay;
    probeEvery_ = longer ? kProbeEveryMs : std::min(probeEvery_ * 2, kProbeRarestMs);
    phase_ = TPhase::Idle;
    probed_ = true;
    lastProbe_ = now;
    return;
  }
  own_ = known_ ? std::min(own_, delay) : delay;
  known_ = true;
}

void TPathCarry::Probe(std::uint32_t now, std::uint32_t rttMs, std::uint32_t minRttMs) {
  switch (phase_) {
    case TPhase::Idle: {
      if (!doubt_ || Since(now, doubtSince_) < kDoubtForMs) return;
      if (probed_ && Since(now, lastProbe_) < probeEvery_) return;
      // Only while the path delivers: a link that is down tells nothing.
      if (Since(now, lastMeasured_) >= 1000) return;
      // What waits takes no longer to deliver than at the rate the path delivered while behind,
      // and a queue of ours holds no more than the last delay beyond the least round trip.
      const std::uint64_t drain = (written_ - delivered_) * 1000 / Rate();
      const std::uint64_t need =
          std::max<std::uint64_t>(drain, lastDelay_ > minRttMs ? lastDelay_ - minRttMs : 0);
      holdWhole_ = need <= kProbeMaxMs;
      holdMs_ =
          static_cast<std::uint32_t>(std::clamp<std::uint64_t>(need, kProbeMinMs, kProbeMaxMs));
      // Small writes may wait for others before they go (the system gathers them), the system's
      // round trip lags a queue: the least delay of the last second, or the round trip if longer.
      std::uint32_t least = UINT32_MAX;
      for (const TDelay& d : recent_) least = std::min(least, d.ms);
      delayBefore_ = recent_.empty() ? rttMs : std::max(rttMs, least);
      phase_ = TPhase::Holding;
      phaseSince_ = now;
      return;
    }
    case TPhase::Holding:
      if (Since(now, phaseSince_) < holdMs_) return;
      phase_ = TPhase::Testing;
      phaseSince_ = now;
      testFrom_ = written_;
      return;
    case TPhase::Testing:
      // Nothing written after the pause came back as soon as it could tell: try again later.
      if (Since(now, phaseSince_) <= 2 * delayBefore_ + kDoubtMs) return;
      phase_ = TPhase::Idle;
      probed_ = true;
      lastProbe_ = now;
      probeEvery_ = std::min(probeEvery_ * 2, kProbeRarestMs);
      return;
  }
}

void TPathCarry::CountBusy(std::uint32_t now, std::uint64_t fresh, bool lossOnly) {
  // Only while something was overdue did the path deliver all it could, unless what was
  // overdue waited for the system to send again what the path lost.
  if (sampled_ && overdue_ > 0 && !lossOnly) {
    busy_.push_back({now, Since(now, lastSample_), fresh});
    busyMs_ += busy_.back().ms;
    busyBytes_ += fresh;
  }
  sampled_ = true;
  lastSample_ = now;
  while (!busy_.empty() && Since(now, busy_.front().tick) > kRateOfMs) {
    busyMs_ -= busy_.front().ms;
    busyBytes_ -= busy_.front().bytes;
    busy_.pop_front();
  }
  busyPerSec_ = busyMs_ < kRateOfMs / 4 ? 0 : busyBytes_ * 1000 / busyMs_;
  if (writes_.empty() || Since(now, writes_.back().tick) >= 250) writes_.push_back({now, written_});
  while (writes_.size() > 1 && Since(now, writes_[1].tick) >= kRateOfMs) writes_.pop_front();
  const std::uint32_t span = Since(now, writes_.front().tick);
  writtenPerSec_ = span < 1000 ? 0 : (written_ - writes_.front().bytes) * 1000 / span;
}

std::uint64_t TPathCarry::Rate() const {
  const std::uint64_t rate = busyPerSec_ != 0      ? busyPerSec_
                             : writtenPerSec_ != 0 ? writtenPerSec_
                                                   : kNominalPerSec;
  return std::max(rate, kSlowestPerSec);
}

std::uint64_t TPathCarry::WrittenBy(std::uint32_t tick) const {
  for (auto mark = marks_.rbegin(); mark != marks_.rend(); ++mark)
    if (Signed(tick - mark->tick) >= 0) return mark->bytes;
  return before_;
}

void TPathCarry::Prune(std::uint32_t now, std::uint32_t own) {
  // The first mark stays while WrittenBy may still look back to it.
  while (marks_.size() > 1 && judged_ > 0 && Signed(now - own - marks_[1].tick) >= 0) {
    before_ = marks_.front().bytes;
    marks_.pop_front();
    --judged_;
  }
  // A link down for minutes: the oldest writes go unmeasured.
  while (marks_.size() > kMaxMarks) {
    before_ = marks_.front().bytes;
    marks_.pop_front();
    if (judged_ > 0) --judged_;
  }
}
