#include <gtest/gtest.h>

#include "common/AudioThinning.h"

namespace {

using TChange = TAudioThinning::TChange;

// One block after another, eight a second: what waits for the peer, and what becomes of the block.
struct Row {
  std::uint32_t tick;
  std::uint64_t waiting;
  bool sent;
  TChange change;
};

TEST(AudioThinning,
     ASlowLinkSkipsBlocksWhileOverASecondWaitsThenSendsOneInTwoAndSaysSoOnceEachWay) {
  const Row rows[] = {
      {0, 0, true, TChange::None},
      {125, 2400, true, TChange::None},  // a second of audio waits: still sent
      {250, 2401, false, TChange::Thinned},
      {375, 9000, false, TChange::None},
      {500, 1800, true, TChange::None},  // below again: sent, but not yet whole
      {625, 3500, false, TChange::None},
      {750, 100, true, TChange::None},  // for 3 s after a skip, one block in two
      {875, 100, false, TChange::None},
      {3500, 100, true, TChange::None},
      {3624, 100, false, TChange::None},  // the last of the 3 s
      {10624, 100, true, TChange::None},
      {10625, 100, true, TChange::Whole},  // ten seconds without a skip
      {10750, 100, true, TChange::None},
      {10875, 5000, false, TChange::Thinned},
  };
  // The tick wraps on the way.
  const std::uint32_t start = 0xFFFFF000u;
  TAudioThinning thinning(1, 1);
  for (const Row& row : rows) {
    const TAudioThinning::TDecision d = thinning.Decide(row.waiting, start + row.tick);
    EXPECT_EQ(d.Send, row.sent) << row.tick;
    EXPECT_EQ(d.Change, row.change) << row.tick;
  }
}

}  // namespace
