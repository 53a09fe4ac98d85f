#include <gtest/gtest.h>

#include "tests/support/PathModel.h"

namespace {

using testsupport::TPathShape;
constexpr auto kWander = testsupport::TMovingDelay::TShape::Wander;
constexpr auto kSpikes = testsupport::TMovingDelay::TShape::Spikes;

// A path, and from when on what the model must deliver: every block, or blocks skipped and each
// one sent reaching the peer at most lateMs later than the path takes.
TEST(PathCarry, APathThatCarriesKeepsAllItsAudioAndASlowOneIsFreshFromTheMomentItSlows) {
  const struct {
    const char* path;
    std::vector<TPathShape> shapes;
    std::uint32_t from;
    bool whole;
    std::uint32_t lateMs;
  } rows[] = {
      {"a short fast path", {{0, 0, 1}}, 0, true, 0},
      {"a short fast path that loses a line in ten", {{0, 0, 1, false, 10}}, 0, true, 0},
      {"16 kbit/s, a standing queue", {{0, 1945, 1}}, 10000, false, 1400},
      {"20 kbit/s, a standing queue", {{0, 2400, 1}}, 10000, false, 1400},
      // The first window of the slow link is later: the path cannot tell a queue from a longer
      // delay within its swings.
      {"a fast path that turns slow", {{0, 0, 1}, {20000, 1400, 1}}, 30000, false, 1600},
      {"a long fast path", {{0, 0, 1000}}, 0, true, 0},
      {"a round trip grown to 1 s after 3 s", {{0, 0, 1}, {3000, 0, 1000}}, 0, true, 0},
      {"thinned on a slow link, then fast and long",
       {{0, 1400, 1}, {20000, 0, 600}},
       30000,
       true,
       0},
      {"a pause of 20 s", {{0, 0, 600}, {10000, 0, 600, true}, {30000, 0, 600}}, 0, true, 0},
      {"a round trip that wanders between 50 and 850 ms",
       {{.fromMs = 0, .perSec = 0, .rttMs = 50, .swingMs = 800, .moves = kWander}},
       0,
       true,
       0},
      {"a round trip of 50 ms with spikes to 1050 ms",
       {{.fromMs = 0, .perSec = 0, .rttMs = 50, .swingMs = 1000, .moves = kSpikes}},
       0,
       true,
       0},
      {"a peer that stops acknowledging",
       {{0, 0, 50}, {.fromMs = 20000, .perSec = 0, .rttMs = 50, .deaf = true}},
       25000,
       false,
       0},
      {"a reconnect after a slow link",
       {{0, 1400, 1}, {.fromMs = 20000, .perSec = 0, .rttMs = 1, .reconnect = true}},
       20000,
       true,
       0},
  };
  for (const auto& row : rows) {
    testsupport::TPathModel model(row.shapes);
    std::uint32_t late = 0, skipped = 0;
    model.Run(60000, [&](std::uint32_t ms, bool sent, std::uint32_t lateMs) {
      if (ms < row.from) return;
      skipped += !sent;
      if (sent) late = std::max(late, lateMs);
    });
    if (row.whole) {
      EXPECT_EQ(skipped, 0u) << row.path;
    } else {
      EXPECT_GT(skipped, 0u) << row.path;
      EXPECT_LE(late, row.lateMs) << row.path;
    }
  }
}

// The rule at its edges: behind beyond kEnterMs, or kLossGraceMs more while a loss on a path
// without a queue is sent again and nothing acknowledged; slow until kSlowForMs without; while
// slow, behind once what waits takes more than kBehindMs to deliver; and while slow, a write
// teaches the own delay when it and what waited ahead of it are at most kAloneBytes, or when it
// came first after what waited drained.
TEST(PathCarry, BehindSlowAndAloneEachTurnAtTheirEdge) {
  const auto told = [](std::uint64_t delivered, std::uint32_t minRttMs = 0,
                       std::uint32_t sinceAckMs = 0, bool retransmitting = false) {
    TSendBacklog b;
    b.Delivered = delivered, b.MinRttUs = minRttMs * 1000, b.SinceAckMs = sinceAckMs;
    b.Retransmitting = retransmitting;
    return b;
  };
  // The handshake's 10 ms; a byte written at 0 waits.
  TPathCarry path;
  path.Sample(0, told(0, 10));
  path.Wrote(0, 100);
  EXPECT_EQ(path.Link(1260, 0), TLinkState::Carries);
  EXPECT_EQ(path.Link(1261, 0), TLinkState::Behind);
  path.Sample(1261, told(0));
  path.Sample(1300, told(100));
  EXPECT_EQ(path.Link(1300, 100), TLinkState::Slow);
  path.Sample(11260, told(100));
  EXPECT_EQ(path.Link(11260, 100), TLinkState::Slow);
  path.Sample(11261, told(100));
  EXPECT_EQ(path.Link(11261, 100), TLinkState::Carries);

  const struct {
    bool queued;
    std::uint32_t sinceAckMs;
    bool grace;
  } losses[] = {{false, TPathCarry::kStallMs, true},
                {true, TPathCarry::kStallMs, false},
                {false, TPathCarry::kStallMs - 1, false}};
  for (const auto& loss : losses) {
    // A loss sent again, nothing acknowledged for kStallMs: what waits has kLossGraceMs more,
    // unless a queue showed before it.
    TPathCarry mending;
    mending.Sample(0, told(0, 10));
    mending.Wrote(0, 100);
    mending.Sample(loss.queued ? 261 : 260, told(0));
    mending.Sample(1261, told(0, 0, loss.sinceAckMs, true));
    const TLinkState atEdge = loss.grace ? TLinkState::Carries : TLinkState::Behind;
    EXPECT_EQ(mending.Link(1261, 0), atEdge) << loss.queued << loss.sinceAckMs;
    EXPECT_EQ(mending.Link(1260 + TPathCarry::kLossGraceMs, 0), atEdge);
    EXPECT_EQ(mending.Link(1261 + TPathCarry::kLossGraceMs, 0), TLinkState::Behind);
  }

  for (const std::uint64_t waiting : {760, 761}) {
    // Behind at 1261 and drained at 3261, at a byte a millisecond; then waiting bytes wait.
    TPathCarry slow;
    slow.Sample(0, told(0, 10));
    slow.Wrote(0, 2000);
    slow.Sample(1261, told(0));
    slow.Sample(2261, told(1000));
    slow.Sample(3261, told(2000));
    slow.Wrote(3261, 2000 + waiting);
    EXPECT_EQ(slow.Link(3522, 2000),
              waiting - 10 > TPathCarry::kBehindMs ? TLinkState::Behind : TLinkState::Slow)
        << waiting;
    // The write first after the drain is alone, whatever its size.
    slow.Sample(3900, told(2000 + waiting));
    EXPECT_EQ(slow.OwnDelayMs(), 639u);
  }

  for (const std::uint64_t ahead : {TPathCarry::kAloneBytes - 100, TPathCarry::kAloneBytes - 99}) {
    // A 35 ms delay teaches the own delay; the write behind it waits long enough to make the
    // path slow, and after the 35 ms have left the span a write of 100 bytes finds ahead bytes
    // still waiting.
    TPathCarry slow;
    slow.Wrote(0, 1000);
    slow.Wrote(30, 7000);
    slow.Sample(35, told(1000));
    slow.Sample(1400, told(1000));
    slow.Sample(10100, told(7000 - ahead));
    slow.Wrote(10120, 7100);
    slow.Sample(10200, told(7100));
    EXPECT_EQ(slow.OwnDelayMs(), ahead + 100 <= TPathCarry::kAloneBytes ? 80u : 35u) << ahead;
  }
}

}  // namespace
