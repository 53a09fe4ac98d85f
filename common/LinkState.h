#pragma once

// What the path of a connection says of what the program writes to it (sockets/PathCarry.h),
// which the audio yields to (common/AudioThinning.h).
enum class TLinkState {
  // The path carries what is written.
  Carries,
  // The path was behind lately: slower than what is written, though what waits is fresh now.
  Slow,
  // What waits now for the peer would arrive late, about a second or more later than the path
  // takes by itself; it has still to drain.
  Behind,
};
