#pragma once

#include <cstdint>

#include "sockets/SendBacklog.h"

// Watches what the server has still to deliver to its client, for a peer that stops reading (a
// hung client whose receive window stays shut while status lines or audio wait for it). Each
// sample is the connection's backlog: what the server queues, what the network holds
// unacknowledged, what the peer has acknowledged so far, and how long ago it last acknowledged
// anything.
//
// The peer is stalled when bytes have waited for stallMs without any being delivered while it
// still answers (its acknowledgements of the system's window probes): it is there, but takes
// nothing. A peer that does not answer at all may only be behind an outage that will end: the
// system's user timeout gives it up, and the watch does so itself only after unansweredMs. It is
// overfull when more than maxQueued bytes wait in the server's own queue (a peer that reads, but
// slower than the server sends). Either way the caller ends the session, and what the server
// holds for a client stays bounded.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TSendWatch {
 public:
  enum class TVerdict { Flowing, Stalled, Unanswered, Overfull };
  // An acknowledgement this much younger than the wait counts as an answer during it: the wait's
  // start is known only to the sampling tick.
  static constexpr std::uint32_t kAnswerSlackMs = 600;

  TSendWatch(std::uint32_t stallMs, std::uint32_t unansweredMs, std::uint64_t maxQueued)
      : stallMs_(stallMs), unansweredMs_(unansweredMs), maxQueued_(maxQueued) {}

  std::uint32_t StallMs() const { return stallMs_; }
  std::uint32_t UnansweredMs() const { return unansweredMs_; }
  std::uint64_t MaxQueued() const { return maxQueued_; }

  // A new connection at tick now: nothing waits yet.
  void Reset(std::uint32_t now);
  TVerdict Sample(std::uint32_t now, const TSendBacklog& sample);

 private:
  std::uint32_t stallMs_;
  std::uint32_t unansweredMs_;
  std::uint64_t maxQueued_;
  std::uint32_t since_ = 0;  // the last tick at which nothing waited or something was delivered
  std::uint64_t delivered_ = 0;
};
