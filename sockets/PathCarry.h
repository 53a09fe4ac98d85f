#pragma once

#include <cstdint>
#include <deque>

#include "common/LinkState.h"
#include "sockets/SendBacklog.h"

// Whether a connection's path carries what the program writes, or is slower, so that what waits
// for the peer grows.
//
// Every write is timed from the moment the program wrote it to the moment the peer acknowledged
// it: its delay. The path's own delay is the shortest delay of the last kOwnSpanMs (at first the
// system's first round trip): a span longer than the swings of a path whose delay wanders, as a
// mobile cell's does that others fill and empty, so that the own delay also follows a path whose
// delay grew and stays so.
//
// A path that carries what is written delivers everything within its own delay and the swings of
// it; on a slower one what waits grows without end. So the path is behind once the oldest byte
// still waiting has waited kEnterMs beyond the own delay, longer than a path's delay swings
// (kLossGraceMs longer while the system sends again what a path that showed no queue lost and
// nothing has been acknowledged for kStallMs: such a path delivers what waited all at once
// after), and
// stays behind until everything written before then is delivered: the program skips its audio
// meanwhile, and what waited drains. From then on the path is slow, until kSlowForMs pass without
// its being behind; while it is, it is behind too once something has waited kQueueMs beyond the
// own delay and what waits would take more than kBehindMs beyond it to deliver, at the rate the
// path delivered in the last kRateSpanMs while something had so waited (known once that was
// kRateLeastMs): a stream that goes whole again on a slow link shows so before its queue is stale.
//
// While the path is slow, the delays of writes behind a queue of its own are no delays of the
// path: the own delay then counts only the writes since it became slow that came first after it
// was behind and drained, or that found no more than kAloneBytes ahead of them and themselves
// included, and stays as it was while there is none. So a stream thinned for a slow link learns
// a path that carries again, or one that became longer.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TPathCarry {
 public:
  static constexpr std::uint32_t kEnterMs = 1250;
  static constexpr std::uint32_t kBehindMs = 750;
  static constexpr std::uint32_t kQueueMs = 250;
  static constexpr std::uint32_t kStallMs = 500;
  static constexpr std::uint32_t kLossGraceMs = 3000;
  static constexpr std::uint32_t kOwnSpanMs = 10000;
  static constexpr std::uint32_t kSlowForMs = 10000;
  static constexpr std::uint32_t kRateSpanMs = 10000;
  static constexpr std::uint32_t kRateLeastMs = 1000;
  static constexpr std::uint64_t kAloneBytes = 256;
  static constexpr std::uint32_t kLongMs = 300;
  // Writes closer together than this share one mark; at most kMaxMarks wait.
  static constexpr std::uint32_t kStepMs = 20;
  static constexpr std::size_t kMaxMarks = 4096;

  // A new connection: nothing known.
  void Reset() { *this = TPathCarry(); }
  // The program has written written bytes in all by tick now.
  void Wrote(std::uint32_t now, std::uint64_t written);
  // What the system tells of the connection at tick now (Delivered, MinRttUs, SinceAckMs,
  // Retransmitting): the
  // writes it delivered are timed, and the verdict moves on. The finer the samples, the finer the
  // delays; the socket samples before each write.
  void Sample(std::uint32_t now, const TSendBacklog& system);

  // The path's own delay in milliseconds; 0 before anything is known.
  std::uint32_t OwnDelayMs() const { return own_; }
  // What the path is at tick now, when the peer has acknowledged delivered bytes.
  TLinkState Link(std::uint32_t now, std::uint64_t delivered) const;
  // Whether lines should go out as they are written: unless the path is slow and its own delay
  // short (under kLongMs), where the system gathers them while data is in flight, which spends
  // less of a slow link on headers and leaves fewer packets in its queues. On a path that carries,
  // or a long one, gathered lines would wait a round trip each, and one lost would hold the rest
  // until the system's timer ran out.
  bool SendAtOnce() const { return !slow_ || own_ >= kLongMs; }

 private:
  // The bytes from and up to bytes were written from the tick on, while ahead bytes waited;
  // drained: the first write after the path was behind and all that waited then was delivered.
  struct TMark {
    std::uint32_t tick;
    std::uint64_t from, bytes, ahead;
    bool drained;
  };
  struct TDelay {
    std::uint32_t tick, ms;
    bool alone;
  };
  // So many bytes delivered in so many milliseconds up to the tick, while something queued.
  struct TBusy {
    std::uint32_t tick, ms;
    std::uint64_t bytes;
  };

  void Learn(std::uint32_t now);
  void CountBusy(std::uint32_t now, std::uint64_t fresh);
  bool Behind(std::uint32_t now, std::uint64_t delivered) const;
  // How long the oldest byte still waiting has waited beyond the own delay.
  std::uint32_t WaitedMs(std::uint32_t now, std::uint64_t delivered) const;
  // How long the path takes to deliver what waits beyond the own delay; 0 when unknown.
  std::uint32_t DrainMs(std::uint64_t delivered) const;

  std::deque<TMark> marks_;    // written and not yet delivered
  std::deque<TDelay> delays_;  // of the last kOwnSpanMs
  std::deque<TBusy> busy_;     // of the last kRateSpanMs
  std::uint64_t busyBytes_ = 0;
  std::uint32_t busyMs_ = 0;
  bool queued_ = false;  // at the last sample
  bool sampled_ = false;
  std::uint32_t lastSample_ = 0;
  std::uint64_t written_ = 0;
  std::uint64_t delivered_ = 0;
  bool mending_ = false;  // the system sends again what the path lost
  std::uint32_t sinceAck_ = 0;
  bool queuedBeforeLoss_ = false;  // queued_ at the last sample before that
  bool known_ = false;
  std::uint32_t own_ = 0;
  bool behind_ = false;  // until drainTo_ bytes are delivered
  std::uint64_t drainTo_ = 0;
  bool drained_ = false;
  bool slow_ = false;
  std::uint32_t slowSince_ = 0;
  std::uint32_t lastBehind_ = 0;
};
