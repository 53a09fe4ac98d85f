#pragma once

#include <cstdint>

// The timing of received audio frames against the sender's clock. The first frame sets the
// reference (its stamp and local arrival tick). A frame is late when it arrives LateMs or more
// after the sender's clock says it should, measured from the reference; late frames are to be
// dropped and leave the reference alone, frames on time move it. After ReanchorMs of nothing but
// late frames the next late frame becomes the reference, so that one lasting step in the delay
// does not silence the audio for good. Stamps and ticks are unsigned 32-bit milliseconds and may
// wrap.
class TFrameClock {
 public:
  enum class TVerdict { OnTime, Late, Reanchored };

  TFrameClock(std::uint32_t lateMs, std::uint32_t reanchorMs)
      : lateMs_(lateMs), reanchorMs_(reanchorMs) {}

  // Forgets the reference; the next frame is on time.
  void Clear();
  // A frame stamped stamp arriving at tick now; OnTime and Reanchored moved the reference.
  TVerdict Accept(std::uint32_t stamp, std::uint32_t now);

  bool HasReference() const { return hasRef_; }
  // 0 when there is no reference.
  std::uint32_t RefStamp() const { return hasRef_ ? refStamp_ : 0; }
  std::uint32_t RefTick() const { return refTick_; }

  // The rule itself: on time when (now - refTick) < (stamp - refStamp) + lateMs, in unsigned
  // 32-bit arithmetic.
  static bool InTime(std::uint32_t stamp, std::uint32_t refStamp, std::uint32_t now,
                     std::uint32_t refTick, std::uint32_t lateMs);

 private:
  std::uint32_t lateMs_;
  std::uint32_t reanchorMs_;
  bool hasRef_ = false;
  std::uint32_t refStamp_ = 0;
  std::uint32_t refTick_ = 0;
  bool late_ = false;
  std::uint32_t lateSince_ = 0;
};
