#include <gtest/gtest.h>

#include "sockets/SendBacklog.h"

namespace {

// Queued, in flight, unsent, smoothed and least round trip (us), whether the path carries what is
// sent and what it delivered lately (bytes a second): the bytes behind the path (audio is thinned
// beyond 2400).
TEST(SendBacklog, OnlyWhatWaitsBehindThePathCountsNotTheRoundTripInFlight) {
  const struct {
    const char* path;
    std::uint64_t queued, inFlight, notSent;
    std::uint32_t rtt, minRtt;
    bool carries;
    std::uint64_t rate;
    std::uint64_t behind;
  } rows[] = {
      {"600 ms fast path", 0, 2400, 0, 603000, 600000, false, 0, 11},
      {"1 s fast path, a segment unsent", 0, 4300, 1319, 1002500, 1001300, false, 0, 1322},
      {"12 kbit/s with a deep router queue", 0, 4000, 0, 2200000, 120000, false, 0, 3781},
      {"a round trip grown to 1 s on a path that carries", 0, 3600, 0, 1000000, 70, true, 0, 0},
      {"the same, the system holding back a second of it", 0, 3600, 3000, 1000000, 70, true, 2900,
       100},
      {"bytes only queued", 5000, 0, 0, 0, 0, false, 0, 5000},
      {"a round trip not known yet", 100, 3000, 500, 0, 0, false, 0, 3100},
      {"the clamp: the least round trip above the smoothed one", 0, 2000, 0, 200000, 300000, false,
       0, 0},
  };
  for (const auto& row : rows) {
    TSendBacklog b;
    b.Queued = row.queued, b.InFlight = row.inFlight, b.NotSent = row.notSent;
    b.RttUs = row.rtt, b.MinRttUs = row.minRtt, b.Carries = row.carries;
    b.DeliveredPerSec = row.rate;
    EXPECT_EQ(b.Behind(), row.behind) << row.path;
  }
}

}  // namespace
