#include <gtest/gtest.h>

#include "common/AudioThinning.h"
#include "sockets/SendBacklog.h"

namespace {

// What waits behind the path, and whether audio beside it is thinned, for the paths a session
// meets. Round trips in microseconds.
struct Row {
  const char* path;
  TSendBacklog backlog;
  std::uint64_t behind;
  bool thinned;
};

TSendBacklog Backlog(std::uint64_t queued, std::uint64_t inFlight, std::uint64_t notSent,
                     std::uint32_t rttUs, std::uint32_t minRttUs) {
  TSendBacklog b;
  b.Queued = queued, b.InFlight = inFlight, b.NotSent = notSent;
  b.RttUs = rttUs, b.MinRttUs = minRttUs;
  return b;
}

TEST(SendBacklog, OnlyWhatWaitsBehindThePathCountsNotTheRoundTripInFlight) {
  const Row rows[] = {
      {"600 ms satellite path, a round trip of audio in flight",
       Backlog(0, 2400, 0, 603000, 600000), 11, false},
      {"1 s path, a segment held back unsent", Backlog(0, 4300, 1319, 1002500, 1001300), 1322,
       false},
      {"12 kbit/s bottleneck with a deep router queue", Backlog(0, 4000, 0, 2200000, 120000), 3781,
       true},
      {"12 kbit/s limited at the sender", Backlog(0, 3000, 500, 1600000, 110000), 2828, true},
      {"the program's own queue", Backlog(3000, 0, 0, 500, 100), 3000, true},
      {"no round trip known yet", Backlog(0, 3000, 0, 0, 0), 3000, true},
      {"unsent and in flight read apart", Backlog(0, 1000, 1500, 2000, 1000), 1000, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(row.backlog.Behind(), row.behind) << row.path;
    EXPECT_EQ(row.backlog.Behind() > TAudioThinning::kMaxWaitingBytes, row.thinned) << row.path;
  }
}

}  // namespace
