#pragma once

#include <cstdint>

#include "platform/MessageWindow.h"
#include "platform/SocketTable.h"
#include "platform/Sockets.h"

// Asynchronous select: the network events of a socket arrive as a posted message on a hidden
// window (platform/MessageWindow.h), wParam the socket handle, lParam the event bit in the low
// word and a WinSock error code in the high word. Built on QSocketNotifier, on the thread that
// made the selection, which must run an event loop.
//
// Each event is reported once and then waits to be re-armed, so an idle or unread socket costs
// no CPU:
// - FD_READ when data is waiting; again only after the socket has been read (recv/recvfrom).
// - FD_WRITE when the connection is up (after connect, for an accepted socket at selection),
//   then only after a send would block or was taken in part, once space is free again.
// - FD_ACCEPT when a caller waits on a listening socket; again after the next accept.
// - FD_CONNECT once, with the connect's outcome (SO_ERROR); after a failed connect nothing else.
// - FD_CLOSE once, when the peer has ended the stream (0) or it broke (the error); data that is
//   still waiting is reported by FD_READ before it, and stays readable.
namespace platform::winsock {

constexpr long kFdRead = 0x01;
constexpr long kFdWrite = 0x02;
constexpr long kFdOob = 0x04;
constexpr long kFdAccept = 0x08;
constexpr long kFdConnect = 0x10;
constexpr long kFdClose = 0x20;

constexpr LPARAM MakeSelectReply(long event, int error) {
  return static_cast<LPARAM>((static_cast<std::uint32_t>(error & 0xFFFF) << 16) |
                             static_cast<std::uint32_t>(event & 0xFFFF));
}
constexpr long SelectEvent(LPARAM l) {
  return static_cast<long>(l & 0xFFFF);
}
constexpr int SelectError(LPARAM l) {
  return static_cast<int>((l >> 16) & 0xFFFF);
}

// Selects events for window/message (replacing any earlier selection, which re-evaluates every
// event) and makes the socket non-blocking. events 0 cancels the notifications.
int WSAAsyncSelect(TSocket s, HWND window, unsigned message, long events);

}  // namespace platform::winsock

// How the socket calls keep the notifications going. Internal to the platform layer.
namespace platform::winsock::detail {

// After a receive on the socket: re-arms FD_READ (and notes a connection that broke).
void AfterReceive(const EntryPtr& entry, int result, int error);
// After a send: re-arms FD_WRITE when the send would block or was taken in part.
void AfterSend(const EntryPtr& entry, bool blocked);
// After an accept on a listening socket: re-arms FD_ACCEPT.
void AfterAccept(const EntryPtr& entry);
// After listen: the socket now reports callers.
void AfterListen(const EntryPtr& entry);
// Runs the connect of a selected socket without waiting (see Sockets.h).
int AsyncConnect(const EntryPtr& entry, int result, int error);
// Removes the notifiers; done before the descriptor is closed.
void Detach(const EntryPtr& entry);

}  // namespace platform::winsock::detail
