#pragma once

#include <cstdint>

// What a stream connection has still to deliver, and what the system knows of its path. A peer
// that stops reading shows as bytes still to deliver while Delivered stands still.
//
// Qt-free: a plain description, filled by the socket.
struct TSendBacklog {
  // Bytes in the socket's own chain.
  std::uint64_t Queued = 0;
  // Bytes the system has taken and the peer has not acknowledged, NotSent included.
  std::uint64_t InFlight = 0;
  // Of InFlight, the bytes the system has not sent yet.
  std::uint64_t NotSent = 0;
  // Bytes of this connection the peer has acknowledged so far; they only grow.
  std::uint64_t Delivered = 0;
  // The smoothed round trip and the least one seen, in microseconds; 0 when unknown.
  std::uint32_t RttUs = 0;
  std::uint32_t MinRttUs = 0;
  // Milliseconds since the peer last acknowledged anything, data or probe; 0 when unknown.
  std::uint32_t SinceAckMs = 0;
  // Whether the path carries what the program sends, and what it delivered lately in bytes a
  // second (sockets/PathCarry.h).
  bool Carries = false;
  std::uint64_t DeliveredPerSec = 0;

  // Everything still to deliver.
  std::uint64_t Waiting() const { return Queued + InFlight; }

  // What waits behind the path rather than on it: what the program and the system have not sent
  // yet, and, on a path slower than the audio, the share of the flight that queues on the way
  // beyond one round trip of the path's own delivery. The flight drains at about InFlight / Rtt,
  // so its queue holds InFlight x (Rtt - MinRtt) / Rtt: in a deep router queue before a slow
  // link almost all of it. A path that Carries what is sent queues none of it, however long its
  // round trip, and however much it grew since the least one; and of what the system holds back
  // on it (its congestion window, which now and then closes for a round trip to measure the
  // path), one round trip's delivery is no backlog either. Without a round trip to go by, all of
  // the flight of a slow path counts.
  std::uint64_t Behind() const;
};
