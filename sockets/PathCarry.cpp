#include "sockets/PathCarry.h"

#include <algorithm>
#include <limits>

#include "platform/Tick.h"

namespace {
constexpr std::uint32_t kForever = std::numeric_limits<std::uint32_t>::max();
}  // namespace

void TPathCarry::Wrote(std::uint32_t now, std::uint64_t written) {
  if (written <= written_) return;
  if (marks_.empty() || now - marks_.back().tick >= kStepMs)
    marks_.push_back({now, written_, written, written_ - std::min(delivered_, written_), drained_});
  drained_ = false;
  marks_.back().bytes = written_ = written;
  // A link down for minutes: the oldest writes go untimed.
  while (marks_.size() > kMaxMarks) marks_.pop_front();
}

void TPathCarry::Sample(std::uint32_t now, const TSendBacklog& system) {
  // Everything delivered since the last sample was acknowledged by the latest acknowledgement at
  // the latest: a delay is known to within the samples' pace, and never taken for less than it was.
  const std::uint32_t acked = now - system.SinceAckMs;
  for (; !marks_.empty() && marks_.front().bytes <= system.Delivered; marks_.pop_front()) {
    const TMark& mark = marks_.front();
    const std::int32_t delay = platform::TicksBetween(mark.tick, acked);
    const std::uint64_t size = mark.bytes - mark.from;
    const auto ms = static_cast<std::uint32_t>(std::max(delay, 0));
    delays_.push_back({now, ms, mark.drained || mark.ahead + size <= kAloneBytes});
  }
  mending_ = system.Retransmitting;
  sinceAck_ = system.SinceAckMs;
  const std::uint64_t fresh = system.Delivered - std::min(delivered_, system.Delivered);
  delivered_ += fresh;
  if (!known_ && system.MinRttUs != 0) {
    own_ = system.MinRttUs / 1000;
    known_ = true;
  }
  Learn(now);
  CountBusy(now, fresh);
  const bool behind = Behind(now, delivered_);
  if (behind && !behind_) drainTo_ = written_;
  // The next write finds nothing ahead of it that waited when the path was behind.
  if (behind_ && !behind) drained_ = true;
  behind_ = behind;
  if (behind) {
    if (!slow_) slowSince_ = now;
    slow_ = true;
    lastBehind_ = now;
  } else if (slow_ && now - lastBehind_ >= kSlowForMs) {
    slow_ = false;
  }
}

void TPathCarry::Learn(std::uint32_t now) {
  while (!delays_.empty() && now - delays_.front().tick > kOwnSpanMs) delays_.pop_front();
  std::uint32_t least = kForever;
  for (const TDelay& d : delays_)
    if (!slow_ || (d.alone && platform::TicksBetween(slowSince_, d.tick) >= 0))
      least = std::min(least, d.ms);
  if (least == kForever) return;
  // What queued was judged against an own delay much shorter than the path's: the rate it
  // delivered then was no slow link's.
  if (least > own_ + kBehindMs) {
    busy_.clear();
    busyBytes_ = 0;
    busyMs_ = 0;
  }
  own_ = least;
  known_ = true;
}

void TPathCarry::CountBusy(std::uint32_t now, std::uint64_t fresh) {
  if (sampled_ && queued_) {
    busy_.push_back({now, now - lastSample_, fresh});
    busyMs_ += busy_.back().ms;
    busyBytes_ += fresh;
  }
  while (!busy_.empty() && now - busy_.front().tick > kRateSpanMs) {
    busyMs_ -= busy_.front().ms;
    busyBytes_ -= busy_.front().bytes;
    busy_.pop_front();
  }
  sampled_ = true;
  lastSample_ = now;
  queued_ = WaitedMs(now, delivered_) > kQueueMs;
  if (!mending_) queuedBeforeLoss_ = queued_;
}

bool TPathCarry::Behind(std::uint32_t now, std::uint64_t delivered) const {
  if (behind_ && delivered < drainTo_) return true;
  const std::uint32_t waited = WaitedMs(now, delivered);
  // What waits for a loss to be sent again on a path that showed no queue, nothing acknowledged
  // meanwhile, comes all at once after.
  const bool stalled = mending_ && sinceAck_ >= kStallMs && !queuedBeforeLoss_;
  const std::uint32_t enter = kEnterMs + (stalled ? kLossGraceMs : 0);
  if (waited > enter) return true;
  return slow_ && waited > kQueueMs && DrainMs(delivered) > kBehindMs;
}

std::uint32_t TPathCarry::WaitedMs(std::uint32_t now, std::uint64_t delivered) const {
  const auto waiting = std::find_if(marks_.begin(), marks_.end(),
                                    [&](const TMark& m) { return m.bytes > delivered; });
  if (waiting == marks_.end()) return 0;
  const std::uint32_t waited = now - waiting->tick;
  return waited > own_ ? waited - own_ : 0;
}

std::uint32_t TPathCarry::DrainMs(std::uint64_t delivered) const {
  const std::uint64_t waiting = written_ - std::min(delivered, written_);
  if (waiting == 0 || busyMs_ < kRateLeastMs) return 0;
  // A peer that takes nothing takes forever.
  if (busyBytes_ == 0) return kForever;
  const std::uint64_t ms = waiting * busyMs_ / busyBytes_;
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(ms - std::min<std::uint64_t>(ms, own_), kForever));
}

TLinkState TPathCarry::Link(std::uint32_t now, std::uint64_t delivered) const {
  if (Behind(now, delivered)) return TLinkState::Behind;
  return slow_ ? TLinkState::Slow : TLinkState::Carries;
}
