#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/FrameClock.h"

namespace {

// Frames as runs: count frames, the first stamped stamp (ms after the reference's stamp) arriving
// at tick (ms after the reference's arrival), each further one step ms on in the stamps and
// every ms on in arrival, or in bursts of that many arriving together; the card short or not.
struct Frames {
  int count;
  std::int32_t stamp, tick, step, every;
  bool cardShort;
  int burst = 1;
};

// After the reference (stamp 0xFFFFF000, whose stamps wrap on the way, at tick 5000), each
// frame's verdict: O on time, L late (dropped), S restarted after a skip, A re-anchored.
TEST(FrameClock, OnlyASkipWithTheCardShortOrALastingStepPlaysALateFrame) {
  const struct {
    const char* what;
    std::vector<Frames> runs;
    const char* verdicts;
  } rows[] = {
      {"a stall's backlog at once, then what is said now",
       {{14, 72, 8000, 72, 1, true}, {1, 8000, 8020, 0, 0, true}},
       "LLLLLLLLLLLLLLO"},
      {"a stall's backlog arriving slowly", {{14, 72, 8000, 72, 160, true}}, "LLLLLLLLLLLLLL"},
      {"a backlog after a stall in its delivery, over 2 s of stamps",
       {{3, 125, 525, 125, 400, true}, {17, 500, 6000, 125, 0, true}},
       "LLLLLLLLLLLLLLLLLLLL"},
      {"a stall's backlog with a pause of 700 ms",
       {{6, 72, 8000, 72, 1, true}, {6, 1132, 8010, 72, 1, true}},
       "LLLLLLLLLLLL"},
      {"a stream falling behind, 328 ms a frame", {{6, 72, 400, 72, 400, true}}, "LLLLLL"},
      {"stamps running back", {{4, -300, 125, -300, 125, true}}, "LLLL"},
      {"a skip of 1 s, 0.8 s late", {{2, 1000, 1800, 72, 72, true}}, "SO"},
      {"the same with the card holding audio", {{2, 1000, 1800, 72, 72, false}}, "LL"},
      {"a skip, 2000 ms late", {{1, 1000, 3000, 0, 0, true}}, "L"},
      {"a skip of 200 ms, late", {{1, 200, 800, 0, 0, true}}, "S"},
      {"a step of 199 ms, late", {{1, 199, 800, 0, 0, true}}, "L"},
      {"a lasting step of 5 s", {{18, 125, 5125, 125, 125, false}}, "LLLLLLLLLLLLLLLLAO"},
      {"a 1 s step delivered in bursts of five 72 ms frames",
       {{35, 72, 1360, 72, 360, true, 5}},
       "LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLAOO"},
      {"a 1 s step delivered in bursts of three 125 ms blocks",
       {{21, 125, 1375, 125, 375, true, 3}},
       "LLLLLLLLLLLLLLLLLLAOO"},
  };
  for (const auto& row : rows) {
    TFrameClock clock;
    const std::uint32_t stamp0 = 0xFFFFF000u, tick0 = 5000;
    clock.Accept(stamp0, tick0, false);
    std::string got;
    for (const Frames& run : row.runs)
      for (int k = 0; k < run.count; ++k) {
        const auto verdict =
            clock.Accept(stamp0 + static_cast<std::uint32_t>(run.stamp + k * run.step),
                         tick0 + static_cast<std::uint32_t>(run.tick + k / run.burst * run.every),
                         run.cardShort);
        got += "OLSA"[static_cast<int>(verdict)];
      }
    EXPECT_EQ(got, row.verdicts) << row.what;
  }
}

}  // namespace
