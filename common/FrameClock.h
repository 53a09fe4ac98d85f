#pragma once

#include <cstdint>

// The timing of received audio frames against the sender's clock. The first frame sets the
// reference (its stamp and local arrival tick). A frame is late when it arrives LateMs or more
// after the sender's clock says it should, measured from the reference; frames on time move the
// reference, late ones leave it alone.
//
// A late frame is dropped while the sound card still has LateMs or more of audio to play: the
// stream has fallen behind, and dropping keeps the playback within LateMs of the sender. While
// the card is starving (less than that waits for it) a late frame is kept and played: it cannot
// put the playback further behind than an on-time frame may, and dropping it would only leave
// the card silent. A link that delivers in bursts (a slow one, or a long one whose data the
// system gathers into segments) makes the first frames of each burst late that way.
//
// After ReanchorMs of nothing but late frames the next late frame becomes the reference, so that
// one lasting step in the delay does not silence the audio for good. A frame stamped GapMs or
// more after the frame before it starts anew, as the first frame does: the sender skipped audio
// there (a pause in speech, or blocks a slow link could not carry), so the card ran down
// meanwhile. Stamps and ticks are unsigned 32-bit milliseconds and may wrap.
class TFrameClock {
 public:
  // Kept: late, but played, and the reference left alone.
  enum class TVerdict { OnTime, Late, Kept, Reanchored };

  TFrameClock(std::uint32_t lateMs, std::uint32_t reanchorMs, std::uint32_t gapMs)
      : lateMs_(lateMs), reanchorMs_(reanchorMs), gapMs_(gapMs) {}

  // Forgets the reference; the next frame is on time.
  void Clear();
  // A frame stamped stamp arriving at tick now, while the card is starving or not; OnTime and
  // Reanchored moved the reference.
  TVerdict Accept(std::uint32_t stamp, std::uint32_t now, bool starving);

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
  std::uint32_t gapMs_;
  bool hasRef_ = false;
  std::uint32_t refStamp_ = 0;
  std::uint32_t refTick_ = 0;
  std::uint32_t lastStamp_ = 0;  // of the frame before, on time or not
  bool late_ = false;
  std::uint32_t lateSince_ = 0;
};
