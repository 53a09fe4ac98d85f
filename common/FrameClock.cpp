#include "common/FrameClock.h"

#include "platform/Tick.h"

using platform::TicksBetween;

void TFrameClock::Clear() {
  hasRef_ = false;
  refStamp_ = 0;
  refTick_ = 0;
  late_ = false;
}

void TFrameClock::Anchor(std::uint32_t stamp, std::uint32_t now) {
  hasRef_ = true;
  refStamp_ = stamp;
  refTick_ = now;
  late_ = false;
}

TFrameClock::TVerdict TFrameClock::Accept(std::uint32_t stamp, std::uint32_t now, bool cardShort) {
  const bool skip = hasRef_ && TicksBetween(lastStamp_, stamp) >= std::int32_t{kGapMs};
  lastStamp_ = stamp;
  if (!hasRef_) {
    Anchor(stamp, now);
    return TVerdict::OnTime;
  }
  // Wide enough that a stamp from anywhere cannot overflow the comparisons below.
  const std::int64_t lateBy = TicksBetween(stamp - refStamp_, now - refTick_);
  TVerdict verdict = TVerdict::OnTime;
  if (lateBy >= kLateMs) {
    if (skip && cardShort && lateBy < kRestartMaxMs) {
      verdict = TVerdict::Restarted;
    } else {
      if (!late_) {
        swing_ = 0;
        burstMost_ = lateBy;
      } else if (lateBy > lateLast_) {
        // A burst arrives together, so it falls within itself by as much as it spans; the one
        // before tells how far a burst falls on this path.
        swing_ = burstMost_ - lateLast_;
        burstMost_ = lateBy;
      }
      lateLast_ = lateBy;
      // Late frames that catch up by more than a burst falls are a backlog draining: the run's
      // time starts anew.
      if (!late_ || lateBy + kLateMs + swing_ <= lateMost_) {
        late_ = true;
        lateSince_ = now;
        lateStamp_ = stamp;
        lateMost_ = lateBy;
      }
      if (lateBy > lateMost_) lateMost_ = lateBy;
      if (now - lateSince_ < kReanchorMs || TicksBetween(lateStamp_, stamp) < std::int32_t{kReanchorMs})
        return TVerdict::Late;
      verdict = TVerdict::Reanchored;
    }
  }
  Anchor(stamp, now);
  return verdict;
}
