#include <gtest/gtest.h>

#include "common/FrameClock.h"

namespace {

using TVerdict = TFrameClock::TVerdict;

// A reference frame (stamp 0x1000 at tick 5000), then one more frame: its verdict, and whether
// it moved the reference.
struct Row {
  const char* what;
  std::uint32_t stamp, tick;
  bool starving;
  TVerdict verdict;
};

TEST(FrameClock, ALateFrameIsDroppedOnlyWhileTheCardHasAudioAndAPauseStartsAnew) {
  const Row rows[] = {
      {"250 ms late, the card has audio", 0x1000 + 100, 5000 + 350, false, TVerdict::Late},
      {"250 ms late, the card starving", 0x1000 + 100, 5000 + 350, true, TVerdict::Kept},
      {"after a pause of 500 ms, 900 ms late", 0x1000 + 500, 5000 + 1400, false, TVerdict::OnTime},
      {"after a pause of 499 ms, 300 ms late", 0x1000 + 499, 5000 + 799, false, TVerdict::Late},
  };
  for (const Row& row : rows) {
    TFrameClock clock(250, 2000, 500);
    clock.Accept(0x1000, 5000, false);
    EXPECT_EQ(clock.Accept(row.stamp, row.tick, row.starving), row.verdict) << row.what;
    const bool moved = row.verdict == TVerdict::OnTime;
    EXPECT_EQ(clock.RefStamp(), moved ? row.stamp : 0x1000u) << row.what;
  }
}

}  // namespace
