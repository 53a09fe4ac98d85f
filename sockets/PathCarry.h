#pragma once

#include <cstdint>
#include <deque>

#include "sockets/SendBacklog.h"

// What a connection's path does with what the program writes: how long it takes to deliver a
// byte by itself (its own delay), and how much later than that a byte written now arrives,
// because what waits ahead of it queues on the way or at the sender on a path slower than what is
// written.
//
// Every write's delay is measured, from the moment the program wrote it to the moment the peer
// acknowledged it. A queue of ours and a path whose own delay grew (a satellite hop, a mobile
// cell that others' traffic fills) look alike from the round trip and the rates: in both, what
// is in flight is what the path delivers in one round trip. They differ in how the delay answers
// what we send, and only a pause tells for sure: a queue of ours drains while the program holds
// back, a path's own delay does not. So the own delay starts as the least delay measured (never
// below the system's least round trip) and falls with any shorter one; it grows only by a probe.
// Once the system's round trip has stood more than kDoubtMs beyond the own delay for kDoubtForMs,
// the audio holds back (Probing) for as long as what waits would take to drain, and the first
// bytes written after that pause tell: quicker by half of what the delay had beyond the own one,
// it was a queue of ours; still as slow, it is the path's own. A probe that found a queue is
// repeated less and less often, so that a slow link loses little audio to it.
//
// What the program wrote more than the own delay ago and the peer has not acknowledged is
// overdue: nothing on a path that carries what is written, however long its round trip; the
// queue on a slower one, from the moment it forms, for a path that slows shows it at once.
// OverdueMs is the time the path takes to deliver it, at the rate the path delivered while
// something was overdue over the last kRateOfMs: on a slow link all it can, whether the program
// thins its audio or not. Before the path has been behind for a while, it is taken to deliver as
// fast as the program writes, so that on a path that is not slower what waits is as stale as the
// time it took to write (kNominalPerSec, about a second of audio lines, before even that is
// known); and never slower than kSlowestPerSec.
//
// Qt-free; ticks are milliseconds of a wrapping 32-bit counter.
class TPathCarry {
 public:
  // How much longer than the own delay, and for how long, before a probe.
  static constexpr std::uint32_t kDoubtMs = 300;
  static constexpr std::uint32_t kDoubtForMs = 1000;
  // The pause of a probe is kept within these.
  static constexpr std::uint32_t kProbeMinMs = 250;
  static constexpr std::uint32_t kProbeMaxMs = 2500;
  // Between probes: kProbeEveryMs at first and after a probe found the path longer; doubled by
  // each probe that found a queue, up to kProbeRarestMs.
  static constexpr std::uint32_t kProbeEveryMs = 10000;
  static constexpr std::uint32_t kProbeRarestMs = 80000;
  static constexpr std::uint64_t kSlowestPerSec = 1000;
  static constexpr std::uint64_t kNominalPerSec = 2400;
  static constexpr std::uint32_t kRateOfMs = 4000;
  // Only a path whose own delay is this long carries in this sense: on a shorter one, gathering
  // lines holds none of them long.
  static constexpr std::uint32_t kLongPathMs = 300;
  // How long a loss the system mended without a queue showing is remembered.
  static constexpr std::uint32_t kLossMemoryMs = 30000;
  // Writes closer together than this share one mark; at most kMaxMarks are kept.
  static constexpr std::uint32_t kStepMs = 20;
  static constexpr std::size_t kMaxMarks = 4096;

  // A new connection: nothing known.
  void Reset();
  // The program has written written bytes in all by tick now.
  void Wrote(std::uint32_t now, std::uint64_t written);
  // What the system tells of the connection at tick now (Delivered, RttUs, MinRttUs, SinceAckMs,
  // Retransmitting). Samples may come at any pace; the finer, the finer the delays.
  void Sample(std::uint32_t now, const TSendBacklog& system);

  // The path's own delay in milliseconds; 0 before the first measure.
  std::uint32_t OwnDelayMs() const { return known_ ? own_ : 0; }
  std::uint32_t OverdueMs() const { return overdueMs_; }
  // The program's audio holds back now, for a probe.
  bool Probing() const { return phase_ == TPhase::Holding; }
  // A long path delivers within its own delay: the system's round trip shows no queue beyond it,
  // which on a link slower than what is written it is not for long. There the system would gather
  // lines for a round trip and deliver them in bursts.
  bool Carries() const { return carries_; }
  // Whether lines should go out as they are written: while the round trip shows no queue on a
  // long path, which is not to be paced by its acknowledgements, or on one that lost a line in
  // the last kLossMemoryMs (the system mended it without a queue showing), where the system learns
  // of a lost line from the ones after it instead of holding them all until its timer runs out; and
  // through a probe, so that the bytes that tell its result are not held back behind others.
  // Elsewhere the system gathers them while data is in flight: on a link that slows, fewer packets
  // wait in its queues, and fewer to send again when a round trip jumps past the system's timer.
  bool SendAtOnce() const { return atOnce_ || phase_ != TPhase::Idle; }

 private:
  enum class TPhase { Idle, Holding, Testing };
  // So many bytes in all by that tick.
  struct TCount {
    std::uint32_t tick;
    std::uint64_t bytes;
  };

  void Measured(std::uint32_t now, const TCount& mark, std::uint32_t at, std::uint32_t minRttMs);
  void Probe(std::uint32_t now, std::uint32_t rttMs, std::uint32_t minRttMs);
  void CountBusy(std::uint32_t now, std::uint64_t fresh, bool lossOnly);
  // The rate at which what is overdue is taken to be delivered, in bytes a second.
  std::uint64_t Rate() const;
  std::uint64_t WrittenBy(std::uint32_t tick) const;
  void Prune(std::uint32_t now, std::uint32_t own);

  std::deque<TCount> marks_;  // written, the first judged_ of them delivered
  std::size_t judged_ = 0;
  std::uint64_t before_ = 0;  // written by the first mark's tick, less its own bytes
  std::uint64_t written_ = 0;
  std::uint64_t delivered_ = 0;
  struct TBusy {
    std::uint32_t tick, ms;
    std::uint64_t bytes;
  };
  std::deque<TBusy> busy_;  // the samples after which something was overdue, of kRateOfMs
  std::uint64_t busyMs_ = 0, busyBytes_ = 0;  // their sums
  bool sampled_ = false;
  std::uint32_t lastSample_ = 0;
  bool known_ = false;
  std::uint32_t own_ = 0;
  std::uint32_t lastDelay_ = 0;
  struct TDelay {
    std::uint32_t tick, ms;
  };
  std::deque<TDelay> recent_;  // the delays measured in the last second
  std::uint32_t lastMeasured_ = 0;
  bool doubt_ = false;
  std::uint32_t doubtSince_ = 0;
  TPhase phase_ = TPhase::Idle;
  std::uint32_t phaseSince_ = 0;
  std::uint32_t holdMs_ = 0;
  bool holdWhole_ = false;         // the pause was as long as what waited would take to drain
  std::uint32_t delayBefore_ = 0;  // how slow the path was as the probe began
  std::uint64_t testFrom_ = 0;     // bytes written after this many tell the probe's result
  bool probed_ = false;
  std::uint32_t lastProbe_ = 0;
  std::uint32_t probeEvery_ = kProbeEveryMs;
  std::uint64_t overdue_ = 0;
  std::uint32_t overdueMs_ = 0;
  std::uint64_t busyPerSec_ = 0;
  std::deque<TCount> writes_;  // written, every 250 ms over the last kRateOfMs
  std::uint64_t writtenPerSec_ = 0;
  bool carries_ = false;
  bool atOnce_ = false;
  bool mending_ = false;  // the system was sending again what the path lost
  bool lost_ = false;
  std::uint32_t lastLoss_ = 0;
};
