#pragma once

#include <cstdint>

// Audio on a link slower than the audio. While more than about one second of it waits behind the
// path to the peer (what the sender has not sent yet, and on a path that does not carry the audio
// what queues on the way: sockets/SendBacklog.h), the audio blocks that would go out are skipped,
// as the squelch skips quiet ones, so that the lines beside them and the audio that does go out
// stay fresh; the connection is never the one to give way.
//
// Such a link delivers in bursts, and the receiver drops a frame that comes 250 ms late unless a
// skip in the stamps comes before it (common/FrameClock.h). So for kPatternMs after a skip for
// the link the audio goes out evenly, in runs of at most runBlocks, each after a skip of at
// least skipBlocks long enough for the receiver to see, and not in long runs that a burst splits.
//
// Thinning begins at the first skip for the link and ends once kWholeAfterMs have passed without
// one, and each of the two is reported once, so that a link at the edge does not flood the log.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TAudioThinning {
 public:
  // About one second of audio lines: 16 kbit/s of compressed audio, about one byte in eight
  // escaped, and the framing of eight lines.
  static constexpr std::uint64_t kMaxWaitingBytes = 2400;
  static constexpr std::uint32_t kWholeAfterMs = 10000;
  static constexpr std::uint32_t kPatternMs = 3000;

  enum class TChange { None, Thinned, Whole };
  struct TDecision {
    bool Send = true;
    TChange Change = TChange::None;
  };

  TAudioThinning(std::uint32_t runBlocks, std::uint32_t skipBlocks)
      : runBlocks_(runBlocks), skipBlocks_(skipBlocks) {}

  // A block is ready at tick now while waiting bytes wait for the peer.
  TDecision Decide(std::uint64_t waiting, std::uint32_t now);
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
  bool skipping_ = false;       // the blocks of late have been skipped, count_ of them
  std::uint32_t count_ = 0;
};
