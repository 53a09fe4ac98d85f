#pragma once

#include <cstdint>

// The timing of received audio frames against the sender's clock, the same at both ends. The
// first frame sets the reference (its stamp and local arrival tick), and every frame played
// becomes the reference. A frame is late when it arrives kLateMs or more after the sender's clock
// says it should, measured from the reference, that is from the last frame played; late frames
// are dropped and leave the reference alone. So a delay that grows by less than kLateMs from one
// frame to the next is followed however far it drifts, and the frames after a jump of kLateMs or
// more in the delay are dropped unless an exception below holds.
//
// Two exceptions, each of which makes the frame the new reference and plays it:
//  - After a skip in the stamps (kGapMs or more after the frame before: a pause in speech, or
//    audio the sender left out on a slow link), a frame less than kRestartMaxMs late that finds
//    the card running short. The card has played out what came before, so nothing plays later
//    than it would have; a stall's backlog, which is older, is still dropped.
//  - After kReanchorMs of nothing but late frames, both in arrival and in the sender's stamps,
//    none of them kLateMs less late than one before beyond how far the burst before fell (a
//    burst: late frames each less late than the one before, as a path that gathers lines delivers
//    them, falling within itself by as much as it spans). One lasting step in the delay does not
//    silence the audio for good, even delivered in bursts, which swing but do not fall from one
//    to the next; while a backlog, which catches up as it drains by more than a burst falls,
//    however long its delivery stalled, and which spans a second or so of stamps however slowly
//    it arrives, never passes for one.
//
// Lateness is read as a signed difference, so that stamps running back are late, not wrapped
// into the future. Stamps and ticks are unsigned 32-bit milliseconds and may wrap.
class TFrameClock {
 public:
  static constexpr std::uint32_t kLateMs = 250;
  static constexpr std::uint32_t kGapMs = 200;
  static constexpr std::uint32_t kRestartMaxMs = 2000;
  static constexpr std::uint32_t kReanchorMs = 2000;

  enum class TVerdict { OnTime, Late, Restarted, Reanchored };

  // Whether the sound card is running short: playing, with less than kLateMs of audio left.
  static bool CardShort(bool playing, std::uint32_t queuedMs) {
    return playing && queuedMs < kLateMs;
  }

  // Forgets the reference; the next frame is on time.
  void Clear();
  // A frame stamped stamp arriving at tick now, the card running short or not. All but Late
  // play the frame and make it the reference.
  TVerdict Accept(std::uint32_t stamp, std::uint32_t now, bool cardShort);

  bool HasReference() const { return hasRef_; }
  // 0 when there is no reference.
  std::uint32_t RefStamp() const { return hasRef_ ? refStamp_ : 0; }
  std::uint32_t RefTick() const { return refTick_; }

 private:
  void Anchor(std::uint32_t stamp, std::uint32_t now);

  bool hasRef_ = false;
  std::uint32_t refStamp_ = 0;
  std::uint32_t refTick_ = 0;
  std::uint32_t lastStamp_ = 0;  // of the frame before, on time or not
  bool late_ = false;            // in a run of late frames, which began with these two
  std::uint32_t lateSince_ = 0;
  std::uint32_t lateStamp_ = 0;
  std::int64_t lateMost_ = 0;   // the most late of the run
  std::int64_t lateLast_ = 0;   // of the late frame before
  std::int64_t burstMost_ = 0;  // the most late of this burst
  std::int64_t swing_ = 0;      // how far the burst before fell
};
