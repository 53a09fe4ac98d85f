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

TFrameClock::TVerdict TFrameClock::Accept(std::uint32_t stamp, std::uint32_t now) {
  if (!hasRef_) {
    hasRef_ = true;
    refStamp_ = stamp;
    refTick_ = now;
  }
  TVerdict verdict = TVerdict::OnTime;
  if (!InTime(stamp, refStamp_, now, refTick_, lateMs_)) {
    if (!late_) {
      late_ = true;
      lateSince_ = now;
      return TVerdict::Late;
    }
    if (now - lateSince_ < reanchorMs_) return TVerdict::Late;
    verdict = TVerdict::Reanchored;
  }
  late_ = false;
  refStamp_ = stamp;
  refTick_ = now;
  return verdict;
}
