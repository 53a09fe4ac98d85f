#pragma once

#include <cstdint>
#include <limits>

// Audio on a link slower than the audio. While what waits behind the path to the peer (queued on
// the way or at the sender: sockets/SendBacklog.h) makes a line written now arrive more than
// kMaxBehindMs later than the path takes by itself, the audio blocks that would go out are
// skipped, as the squelch skips quiet ones, so that the lines beside them and the audio that does
// go out stay fresh; the connection is never the one to give way.
//
// Such a link delivers in bursts, and the receiver drops a frame that comes 250 ms late unless a
// skip in the stamps comes before it (common/FrameClock.h). So for kPatternMs after a skip for
// the link the audio goes out evenly, in runs of at most runBlocks, each after a skip of at
// least skipBlocks long enough for the receiver to see, and not in long runs that a burst splits.
//
// Thinning begins at the first skip for the link and ends once kWholeAfterMs have passed without
// one, and each of the two is reported once, so that a link at the edge does not flood the log.
//
// While the path is probed (kHold) the audio holds back for a moment; that is no thinning.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TAudioThinning {
 public:
  static constexpr std::uint32_t kMaxBehindMs = 1000;
  // How stale what waits is while the path is probed: without bound.
  static constexpr std::uint32_t kHold = std::numeric_limits<std::uint32_t>::max();
  static constexpr std::uint32_t kWholeAfterMs = 10000;
  static constexpr std::uint32_t kPatternMs = 3000;

  enum class TChange { None, Thinned, Whole };
  struct TDecision {
    bool Send = true;
    TChange Change = TChange::None;
  };

  TAudioThinning(std::uint32_t runBlocks, std::uint32_t skipBlocks)
      : runBlocks_(runBlocks), skipBlocks_(skipBlocks) {}

  // A block is ready at tick now while what waits for the peer is behindMs stale.
  TDecision Decide(std::uint32_t behindMs, std::uint32_t now);
  // A new connection: whole, and nothing reported.
  void Reset() {
    thinning_ = false;
    skipping_ = false;
    count_ = 0;
  }

 private:
  std::uint32_t runBlocks_;
  std::uint32_t skipBlocks_;
  bool thinning_ = false;
  std::uint32_t lastSkip_ = 0;  // the last skip for the link
  bool skipping_ = false;       // the last count_ blocks were skipped, or else sent
  std::uint32_t count_ = 0;
};
