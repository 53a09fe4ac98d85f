#include <gtest/gtest.h>

#include "common/AudioThinning.h"

namespace {

using TChange = TAudioThinning::TChange;

// One block after another, eight a second: what the path to the peer says, and what becomes of
// the block.
constexpr TLinkState kCarries = TLinkState::Carries, kSlow = TLinkState::Slow,
                     kBehind = TLinkState::Behind;
struct Row {
  std::uint32_t tick;
  TLinkState link;
  bool sent;
  TChange change;
};

TEST(AudioThinning, SkipsWhileBehindThenOneInTwoForThreeSecondsAndSaysSoOnceEachWay) {
  const Row rows[] = {
      {0, kCarries, true, TChange::None},
      {125, kBehind, false, TChange::Thinned},
      {250, kBehind, false, TChange::None},
      {375, kSlow, true, TChange::None},  // fresh again: one block in two
      {500, kSlow, false, TChange::None},
      {625, kBehind, false, TChange::None},
      {750, kSlow, true, TChange::None},
      {875, kSlow, false, TChange::None},
      {3500, kSlow, true, TChange::None},
      {3624, kSlow, false, TChange::None},  // the last of the 3 s
      {3625, kSlow, true, TChange::None},   // then whole, though the link is still slow
      {3750, kSlow, true, TChange::None},
      {9000, kCarries, true, TChange::Whole},
      {9125, kSlow, true, TChange::Thinned},  // slow without being behind for this stream
      {9250, kSlow, true, TChange::None},
      {9375, kCarries, true, TChange::Whole},
  };
  // The tick wraps on the way.
  const std::uint32_t start = 0xFFFFF000u;
  TAudioThinning thinning(1, 1);
  for (const Row& row : rows) {
    const TAudioThinning::TDecision d = thinning.Decide(row.link, start + row.tick);
    EXPECT_EQ(d.Send, row.sent) << row.tick;
    EXPECT_EQ(d.Change, row.change) << row.tick;
  }
}

}  // namespace
