#pragma once

#include <cstdint>

// Watches what the server has still to deliver to its client, for a peer that stops reading (a
// hung client whose receive window stays shut while status lines or audio wait for it). Each
// sample gives the bytes the server queues, the bytes the network holds unacknowledged, and the
// bytes the peer has acknowledged so far. The peer is stalled when bytes have waited for stallMs
// without any being acknowledged; it is overfull when more than maxQueued bytes wait in the
// server's own queue (a peer that reads, but slower than the server sends). Either way the
// caller ends the session, and what the server holds for a client stays bounded.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TSendWatch {
 public:
  enum class TVerdict { Flowing, Stalled, Overfull };

  TSendWatch(std::uint32_t stallMs, std::uint64_t maxQueued)
      : stallMs_(stallMs), maxQueued_(maxQueued) {}

  std::uint32_t StallMs() const { return stallMs_; }
  std::uint64_t MaxQueued() const { return maxQueued_; }

  // A new connection at tick now: nothing waits yet.
  void Reset(std::uint32_t now);
  TVerdict Sample(std::uint32_t now, std::uint64_t queued, std::uint64_t inFlight,
                  std::uint64_t delivered);

 private:
  std::uint32_t stallMs_;
  std::uint64_t maxQueued_;
  std::uint32_t since_ = 0;  // the last tick at which nothing waited or something was delivered
  std::uint64_t delivered_ = 0;
};
