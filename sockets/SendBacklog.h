#pragma once

#include <cstdint>

// What a stream connection has still to deliver, and what the system knows of its path. A peer
// that stops reading shows as bytes still to deliver while Delivered stands still.
//
// Qt-free: a plain description, filled by the socket.
struct TSendBacklog {
  // Bytes in the socket's own chain.
  std::uint64_t Queued = 0;
  // Bytes the system has taken and the peer has not acknowledged.
  std::uint64_t InFlight = 0;
  // Bytes of this connection the peer has acknowledged so far; they only grow.
  std::uint64_t Delivered = 0;
  // The least round trip the system has seen, in microseconds; 0 when unknown.
  std::uint32_t MinRttUs = 0;
  // Milliseconds since the peer last acknowledged anything, data or probe; 0 when unknown.
  std::uint32_t SinceAckMs = 0;
  // The system is sending again what the path lost, and the rest waits for it.
  bool Retransmitting = false;

  // Everything still to deliver.
  std::uint64_t Waiting() const { return Queued + InFlight; }
};
