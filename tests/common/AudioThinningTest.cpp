#include <gtest/gtest.h>

#include "common/AudioThinning.h"

namespace {

using TChange = TAudioThinning::TChange;

// One block after another, eight a second: how stale what waits for the peer is, and what becomes
// of the block.
constexpr std::uint32_t kHold = TAudioThinning::kHold;
struct Row {
  std::uint32_t tick;
  std::uint32_t behindMs;
  bool sent;
  TChange change;
};

TEST(AudioThinning,
     SkipsWhileOverASecondStaleThenOneInTwoSaysSoOnceEachWayAndAProbesHoldIsNoThinning) {
  const Row rows[] = {
      {0, 0, true, TChange::None},
      {125, 1000, true, TChange::None},  // a second stale: still sent
      {250, 1001, false, TChange::Thinned},
      {375, 5000, false, TChange::None},
      {500, 800, true, TChange::None},  // below again: sent, but not yet whole
      {625, 1500, false, TChange::None},
      {750, 100, true, TChange::None},  // for 3 s after a skip, one block in two
      {875, 100, false, TChange::None},
      {3500, 100, true, TChange::None},
      {3624, 100, false, TChange::None},    // the last of the 3 s
      {6000, kHold, false, TChange::None},  // a probe's pause: the ten seconds go on
      {10624, 100, true, TChange::None},
      {10625, 100, true, TChange::Whole},  // ten seconds without a skip
      {10750, 100, true, TChange::None},
      {10875, kHold, false, TChange::None},  // held back, not thinned
      {11000, kHold, false, TChange::None},
      {11125, 100, true, TChange::None},  // and whole after it
      {11250, 100, true, TChange::None},
      {11375, 2000, false, TChange::Thinned},
  };
  // The tick wraps on the way.
  const std::uint32_t start = 0xFFFFF000u;
  TAudioThinning thinning(1, 1);
  for (const Row& row : rows) {
    const TAudioThinning::TDecision d = thinning.Decide(row.behindMs, start + row.tick);
    EXPECT_EQ(d.Send, row.sent) << row.tick;
    EXPECT_EQ(d.Change, row.change) << row.tick;
  }
}

}  // namespace
