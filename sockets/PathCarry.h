#pragma once

#include <cstdint>
#include <deque>

// Whether a connection's path carries what the program sends. A path slower than the audio
// holds the rest in a queue on the way, and a round trip beyond the least one is that queue; a
// path that carries it all may still have a long round trip, or one that grew (a satellite hop,
// a mobile cell whose queue others' traffic fills), and what is in flight on it is no backlog.
//
// Only a window of kWindowMs in which the system sent at least kTestPerSec a second (the audio
// going out, not thinned and not squelched) tells: the path carries when it delivered four
// fifths of that or more in the same window. What the system holds back itself, by its
// congestion window, says nothing of the path and is not counted. Other windows (quiet, or
// thinned because the path did not carry) leave the verdict as it was, so that a path once found
// slow stays so while the thinning holds its audio back, and one found fast stays so through a
// pause. Before the first such window the path is taken not to carry.
//
// The system's own figure (TCP_INFO's delivery rate) does not tell: it counts segments as if each
// were full, and keeps the highest rate any of them showed while the program set the pace, which
// on a 12 kbit/s link reads as gigabits.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TPathCarry {
 public:
  static constexpr std::uint32_t kWindowMs = 8000;
  static constexpr std::uint32_t kStepMs = 500;
  // Below the audio's own 2500 to 3000 bytes a second on the wire, above what a 12 kbit/s link
  // can deliver.
  static constexpr std::uint64_t kTestPerSec = 1800;

  // A new connection: nothing known.
  void Reset();
  // At tick now the system has sent sent bytes so far, of which delivered have been
  // acknowledged; samples may come at any pace.
  void Sample(std::uint32_t now, std::uint64_t sent, std::uint64_t delivered);
  bool Carries() const { return carries_; }
  // What the path delivered over the last window, in bytes a second; 0 before a window.
  std::uint64_t DeliveredPerSec() const;

 private:
  struct TMark {
    std::uint32_t tick;
    std::uint64_t sent, delivered;
  };
  std::deque<TMark> marks_;  // one at most every kStepMs; the newest is the latest sample
  bool carries_ = false;
};
