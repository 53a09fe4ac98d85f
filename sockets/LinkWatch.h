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

// Gives the socket that timing, and has it judge its path and fit TCP_NODELAY to it
// (TCustomWSocket::WatchPath); the timing takes effect at its next connect, accept or
// ApplyKeepAlive.
void WatchLink(TCustomWSocket& socket);

// Samples the connection's path and says what it is now (sockets/PathCarry.h), which audio yields
// to on a link slower than the audio; Carries while the socket is not connected.
TLinkState SampleLink(TCustomWSocket& socket);

// Whether the error of a close says that the system gave the connection up: its data or
// keep-alive probes went unanswered, or the peer could no longer be reached.
bool LinkGivenUp(std::uint16_t error);
