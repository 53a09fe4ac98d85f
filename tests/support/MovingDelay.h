#pragma once

// A delay that moves, for a path whose round trip wanders (a mobile cell that others fill and
// empty) or spikes: the link bench's delayer (tests/support/pathdelay) and the path model of the
// tests (PathModel.h) draw it the same way, from a seed.
//
// Wander: the delay moves over one to four seconds at a time, in a straight line, to a point
// picked at random between low and high, and stays there up to two seconds. Spikes: it stays at
// low but for a spike every two to six seconds, up within 100 to 300 ms to a point picked between
// the middle of the two and high, there for 200 to 800 ms, and down as quickly.
#include <cstdint>
#include <random>

namespace testsupport {

class TMovingDelay {
 public:
  enum class TShape { Wander, Spikes };

  TMovingDelay(TShape shape, double low, double high, std::uint32_t seed)
      : shape_(shape),
        low_(low),
        high_(high),
        random_(seed),
        from_(low),
        to_(low),
        end_(shape == TShape::Spikes ? 3 : 0) {}

  // The delay at so many seconds from the start; the seconds asked must not go back.
  double At(double seconds) {
    while (seconds >= end_) Next();
    if (seconds < rise_) return from_ + (to_ - from_) * (seconds - start_) / (rise_ - start_);
    return to_;
  }

 private:
  double Uniform(double a, double b) {
    return std::uniform_real_distribution<double>(a, b)(random_);
  }
  // A leg: from where the last ended, to the next point by rise_, and there until end_.
  void Next() {
    from_ = to_;
    start_ = end_;
    if (shape_ == TShape::Wander) {
      to_ = Uniform(low_, high_);
      rise_ = start_ + Uniform(1, 4);
      end_ = rise_ + Uniform(0, 2);
    } else if (from_ > low_) {  // down again
      to_ = low_;
      rise_ = start_ + Uniform(0.1, 0.3);
      end_ = rise_ + Uniform(2, 6);
    } else {
      to_ = Uniform((low_ + high_) / 2, high_);
      rise_ = start_ + Uniform(0.1, 0.3);
      end_ = rise_ + Uniform(0.2, 0.8);
    }
  }

  TShape shape_;
  double low_, high_;
  std::mt19937 random_;
  double from_, to_, end_, start_ = 0, rise_ = 0;
};

}  // namespace testsupport
