#pragma once

#include <cstdint>

// Audio on a link slower than the audio. While more than about one second of it waits behind the
// path to the peer (what the sender has not sent yet, and what queues on the way beyond one round
// trip of the path's own delivery: a long but fast path is no backlog), the audio blocks that
// would go out are skipped, as the squelch skips quiet ones, so that the lines beside them and
// the audio that does go out stay fresh; the connection is never the one to give way. Thinning
// begins at the first skipped block and ends once kWholeAfterMs have passed without one, and
// each of the two is reported once, so that a link at the edge does not flood the log.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TAudioThinning {
 public:
  // About one second of audio lines: 16 kbit/s of compressed audio, about one byte in eight
  // escaped, and the framing of eight lines.
  static constexpr std::uint64_t kMaxWaitingBytes = 2400;
  static constexpr std::uint32_t kWholeAfterMs = 10000;

  enum class TChange { None, Thinned, Whole };
  struct TDecision {
    bool Send = true;
    TChange Change = TChange::None;
  };

  // A block is ready at tick now while waiting bytes wait for the peer.
  TDecision Decide(std::uint64_t waiting, std::uint32_t now);
  // A new connection: whole, and nothing reported.
  void Reset() { thinning_ = false; }

 private:
  bool thinning_ = false;
  std::uint32_t lastSkip_ = 0;
};
