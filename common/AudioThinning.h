#pragma once

#include <cstdint>

#include "common/LinkState.h"

// Audio on a link slower than the audio. While the path to the peer is behind (common/LinkState.h:
// what waits would arrive more than a second later than the path takes), the audio blocks that
// would go out are skipped, as the squelch skips quiet ones, so that the lines beside them and the
// audio that does go out stay fresh; the connection is never the one to give way.
//
// Such a link delivers in bursts, and the receiver drops a frame that comes 250 ms late unless a
// skip in the stamps comes before it (common/FrameClock.h). So for kPatternMs after the path was
// behind the audio goes out evenly, in runs of at most runBlocks, each after a skip of at least
// skipBlocks long enough for the receiver to see, and not in long runs that a burst splits.
//
// The audio is thinned while the path is not carrying, and whole again once it carries; each
// change is reported once, so that a link at the edge does not flood the log.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TAudioThinning {
 public:
  static constexpr std::uint32_t kPatternMs = 3000;

  enum class TChange { None, Thinned, Whole };
  struct TDecision {
    bool Send = true;
    TChange Change = TChange::None;
  };

  TAudioThinning(std::uint32_t runBlocks, std::uint32_t skipBlocks)
      : runBlocks_(runBlocks), skipBlocks_(skipBlocks) {}

  // A block is ready at tick now while the path to the peer is in the state link.
  TDecision Decide(TLinkState link, std::uint32_t now);
  // A new connection: whole, and nothing reported.
  void Reset() { *this = TAudioThinning(runBlocks_, skipBlocks_); }

 private:
  std::uint32_t runBlocks_;
  std::uint32_t skipBlocks_;
  bool thinned_ = false;
  bool wasBehind_ = false;        // since the audio was thinned
  std::uint32_t lastBehind_ = 0;  // the last block the path was behind at
  bool skipping_ = false;         // the last count_ blocks were skipped, or else sent
  std::uint32_t count_ = 0;
};
