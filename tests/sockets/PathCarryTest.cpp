#include <gtest/gtest.h>

#include "tests/support/PathModel.h"

namespace {

// A path, and from when on what it must show: every block sent, or at most how much later than
// the path's own delay a line arrives; and the own delay it is taken to have, within 100 ms.
TEST(PathCarry, AThinnedStreamLearnsItsPathAndASlowOneIsFreshFromTheMomentItSlows) {
  const struct {
    const char* path;
    std::vector<testsupport::TPathShape> shapes;
    std::uint32_t from;
    bool whole;
    std::uint32_t lateMs, ownMs;
    bool atOnce;
  } rows[] = {
      {"a short fast path", {{0, 0, 1}}, 0, true, 0, 0, false},
      {"a short fast path that loses a line in ten", {{0, 0, 1, false, 10}}, 0, true, 0, 0, true},
      {"16 kbit/s, a standing queue", {{0, 1945, 1}}, 10000, false, 1500, 0, false},
      {"20 kbit/s, a standing queue", {{0, 2400, 1}}, 10000, false, 1500, 0, false},
      {"a fast path that turns slow", {{0, 0, 1}, {20000, 1400, 1}}, 20000, false, 2500, 0, false},
      {"a long fast path", {{0, 0, 1000}}, 0, true, 0, 1000, true},
      {"a round trip grown to 1 s after 3 s",
       {{0, 0, 1}, {3000, 0, 1000}},
       13000,
       true,
       0,
       1000,
       true},
      {"thinned on a slow link, then fast and long",
       {{0, 1400, 1}, {20000, 0, 600}},
       30000,
       true,
       0,
       600,
       true},
      {"a pause of 20 s",
       {{0, 0, 600}, {10000, 0, 600, true}, {30000, 0, 600}},
       10000,
       true,
       0,
       600,
       true},
  };
  for (const auto& row : rows) {
    testsupport::TPathModel model(row.shapes);
    std::uint32_t late = 0, skipped = 0;
    model.Run(60000, [&](std::uint32_t ms, const TSendBacklog& told, bool sent) {
      if (ms < row.from) return;
      skipped += !sent;
      late = std::max(late, told.OverdueMs);
    });
    if (row.whole)
      EXPECT_EQ(skipped, 0u) << row.path;
    else
      EXPECT_LE(late, row.lateMs) << row.path;
    EXPECT_NEAR(model.path.OwnDelayMs(), row.ownMs, 100) << row.path;
    EXPECT_EQ(model.path.SendAtOnce(), row.atOnce) << row.path;
  }
}

}  // namespace
