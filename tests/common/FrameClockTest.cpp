#include <gtest/gtest.h>

#include "common/FrameClock.h"

namespace {

// After a reference frame (stamp 0x1000 at tick 5000), one more frame and its verdict.
TEST(FrameClock, ALateFrameIsDroppedOnlyWhileTheCardHasAudioAndAPauseStartsAnew) {
  using V = TFrameClock::TVerdict;
  const struct {
    const char* what;
    std::uint32_t stamp, tick;
    bool starving;
    V verdict;
  } rows[] = {
      {"250 ms late, the card has audio", 0x1000 + 100, 5000 + 350, false, V::Late},
      {"250 ms late, the card starving", 0x1000 + 100, 5000 + 350, true, V::Kept},
      {"after a pause of 500 ms, 900 ms late", 0x1000 + 500, 5000 + 1400, false, V::OnTime},
  };
  for (const auto& row : rows) {
    TFrameClock clock(250, 2000, 500);
    clock.Accept(0x1000, 5000, false);
    EXPECT_EQ(clock.Accept(row.stamp, row.tick, row.starving), row.verdict) << row.what;
  }
}

}  // namespace
