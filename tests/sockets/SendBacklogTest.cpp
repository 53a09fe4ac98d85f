#include <gtest/gtest.h>

#include <limits>

#include "sockets/SendBacklog.h"

namespace {

// The path's own delay, the smoothed round trip (us), ms since the last acknowledgement, whether
// the system sends a loss again, whether the path carries, whether it is probed, and how long what
// waits is overdue: how stale it is (audio is thinned beyond 1000 ms).
TEST(SendBacklog, OverdueCountsButOneOwnDelayOnALongPathThatCarriesAndAGraceWhereOnlyALossWaits) {
  const struct {
    const char* path;
    std::uint32_t own, rtt, sinceAck;
    bool retransmitting, carries, probing;
    std::uint32_t overdue, behind;
  } rows[] = {
      {"12 kbit/s with a router queue", 40, 2200000, 150, false, false, false, 1800, 1800},
      {"600 ms path that carries, held back less than its delay", 600, 620000, 100, false, true,
       false, 400, 0},
      {"the same, held back more", 600, 620000, 100, false, true, false, 900, 300},
      {"the same path not carrying", 600, 1500000, 100, false, false, false, 400, 400},
      {"a lost segment sent again", 40, 60000, 100, true, false, false, 1000, 0},
      {"the same, a moment longer than the grace", 40, 60000, 100, true, false, false, 1001, 1},
      {"no acknowledgement for long on a short path, nothing sent again", 40, 60000, 2000, false,
       false, false, 800, 800},
      {"a segment sent again while the round trip shows a queue", 40, 2200000, 5000, true, false,
       false, 1800, 1800},
      {"probed", 40, 700000, 100, false, false, true, 0, std::numeric_limits<std::uint32_t>::max()},
  };
  for (const auto& row : rows) {
    TSendBacklog b;
    b.OwnDelayMs = row.own, b.RttUs = row.rtt, b.SinceAckMs = row.sinceAck;
    b.Retransmitting = row.retransmitting, b.Carries = row.carries, b.Probing = row.probing;
    b.OverdueMs = row.overdue;
    EXPECT_EQ(b.BehindMs(), row.behind) << row.path;
  }
}

}  // namespace
