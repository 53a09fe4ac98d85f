#include <gtest/gtest.h>

#include "sockets/SendBacklog.h"

namespace {

// In flight, unsent, smoothed and least round trip (us): the bytes behind the path (audio is
// thinned beyond 2400).
TEST(SendBacklog, OnlyWhatWaitsBehindThePathCountsNotTheRoundTripInFlight) {
  const struct {
    const char* path;
    std::uint64_t inFlight, notSent;
    std::uint32_t rtt, minRtt;
    std::uint64_t behind;
  } rows[] = {
      {"600 ms fast path", 2400, 0, 603000, 600000, 11},
      {"1 s fast path, a segment unsent", 4300, 1319, 1002500, 1001300, 1322},
      {"12 kbit/s with a deep router queue", 4000, 0, 2200000, 120000, 3781},
  };
  for (const auto& row : rows) {
    TSendBacklog b;
    b.InFlight = row.inFlight, b.NotSent = row.notSent, b.RttUs = row.rtt, b.MinRttUs = row.minRtt;
    EXPECT_EQ(b.Behind(), row.behind) << row.path;
  }
}

}  // namespace
