#pragma once

#include <cstdint>

// What a stream connection has still to deliver, and what the system knows of its path. A peer
// that stops reading shows as bytes still to deliver while Delivered stands still.
//
// Qt-free: a plain description, filled by the socket.
struct TSendBacklog {
  // A round trip this much longer than the path's own delay shows a queue.
  static constexpr std::uint32_t kQueueMs = 100;
  // What waits only for the system to send again what a path lost may be this stale.
  static constexpr std::uint32_t kLossGraceMs = 1000;

  // Bytes in the socket's own chain.
  std::uint64_t Queued = 0;
  // Bytes the system has taken and the peer has not acknowledged.
  std::uint64_t InFlight = 0;
  // Bytes of this connection the peer has acknowledged so far; they only grow.
  std::uint64_t Delivered = 0;
  // The smoothed round trip and the least one seen, in microseconds; 0 when unknown.
  std::uint32_t RttUs = 0;
  std::uint32_t MinRttUs = 0;
  // Milliseconds since the peer last acknowledged anything, data or probe; 0 when unknown.
  std::uint32_t SinceAckMs = 0;
  // The system is sending again what the path lost, and the rest waits for it.
  bool Retransmitting = false;
  // Of the path (sockets/PathCarry.h): its own delay and how much later than that a byte written
  // now arrives, in milliseconds; whether the program's audio holds back for a moment to tell a
  // queue from a longer path; whether a long path delivers within its own delay.
  std::uint32_t OwnDelayMs = 0;
  std::uint32_t OverdueMs = 0;
  bool Probing = false;
  bool Carries = false;

  // Everything still to deliver.
  std::uint64_t Waiting() const { return Queued + InFlight; }

  // The smoothed round trip stands more than kQueueMs above the path's own delay.
  bool QueueShown() const { return RttUs / 1000 > OwnDelayMs + kQueueMs; }
  // The system is sending again what the path lost, and the round trip shows no queue.
  bool LossOnly() const { return Retransmitting && !QueueShown(); }

  // How stale what waits behind the path is, in milliseconds, which audio yields to: how long it
  // is overdue, queued on the way or at the sender on a path slower than what is written, however
  // long the path's own delay. While the round trip shows no queue, what waits may wait for
  // something else and then come all at once: a loss the system is mending (up to kLossGraceMs),
  // or, on a long path that carries what is written, the system's own holding back (its
  // congestion window closes now and then for a round trip to measure the path; up to one own
  // delay). While the path is probed, without bound.
  std::uint32_t BehindMs() const;
};
