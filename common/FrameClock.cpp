#include "common/FrameClock.h"

void TFrameClock::Clear() {
  hasRef_ = false;
  refStamp_ = 0;
  refTick_ = 0;
  late_ = false;
}

bool TFrameClock::InTime(std::uint32_t stamp, std::uint32_t refStamp, std::uint32_t now,
                         std::uint32_t refTick, std::uint32_t lateMs) {
  return now - refTick < stamp - refStamp + lateMs;
}

TFrameClock::TVerdict TFrameClock::Accept(std::uint32_t stamp, std::uint32_t now, bool starving) {
  // A stamp behind the one before is no gap: the difference is read as signed.
  const bool gap =
      hasRef_ && static_cast<std::int32_t>(stamp - lastStamp_) >= static_cast<std::int32_t>(gapMs_);
  lastStamp_ = stamp;
  if (!hasRef_ || gap) {
    hasRef_ = true;
    refStamp_ = stamp;
    refTick_ = now;
  }
  TVerdict verdict = TVerdict::OnTime;
  if (!InTime(stamp, refStamp_, now, refTick_, lateMs_)) {
    if (!late_) {
      late_ = true;
      lateSince_ = now;
    }
    if (now - lateSince_ < reanchorMs_) return starving ? TVerdict::Kept : TVerdict::Late;
    verdict = TVerdict::Reanchored;
  }
  late_ = false;
  refStamp_ = stamp;
  refTick_ = now;
  return verdict;
}
