#pragma once

#include <cstdint>

#include "sockets/CustomWSocket.h"

// How both programs watch their one connection below the protocol, so that a link that dies
// without a word ends the session within a minute while one that only drops out for a while
// keeps it: keep-alive probes after kLinkIdleMs of quiet, kLinkProbeMs apart; data or probes
// unanswered for kLinkTimeoutMs give the connection up (the user timeout); data is sent again at
// most kLinkRetransmitMaxMs apart where the system can be told so, so that it goes out soon after
// the link is back and an outage that ends within about 45 s keeps the connection.
inline constexpr std::int32_t kLinkIdleMs = 10000;
inline constexpr std::int32_t kLinkProbeMs = 3000;
inline constexpr std::int32_t kLinkTimeoutMs = 50000;
inline constexpr std::int32_t kLinkRetransmitMaxMs = 3000;

// Gives the socket that timing; it takes effect at its next connect, accept or ApplyKeepAlive.
void WatchLink(TCustomWSocket& socket);

// What waits for the peer behind the path (TSendBacklog::Behind), which audio yields to on a link
// slower than the audio; 0 while the socket is not connected. Asked with each audio block, it
// also fits the sending to the path: while the path carries what is sent, lines go out as they
// are written (TCP_NODELAY), for on a long path the system would gather them for up to a round
// trip and deliver them in bursts, which the receiver of the audio takes as late; while it does
// not, they are gathered, for on a slow link a packet to each line spends a quarter of it on
// headers.
std::uint64_t WaitingBehindPath(TCustomWSocket& socket);

// Whether the error of a close says that the system gave the connection up: its data or
// keep-alive probes went unanswered, or the peer could no longer be reached.
bool LinkGivenUp(std::uint16_t error);
