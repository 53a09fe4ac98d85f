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

  // Everything still to deliver.
  std::uint64_t Waiting() const { return Queued + InFlight; }

  // What waits behind the path rather than on it: what the program and the system have not sent
  // yet, and of what is in flight the share that queues somewhere on the way, beyond one round
  // trip of the path's own delivery. The flight drains at about InFlight / Rtt, so its queue
  // holds InFlight x (Rtt - MinRtt) / Rtt: on a long but fast path (a satellite hop) a round
  // trip of data in flight is not a backlog, in a deep router queue almost all of it is. Without
  // a round trip to go by, all of the flight counts.
  std::uint64_t Behind() const;
};
