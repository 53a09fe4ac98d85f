#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/MessageWindow.h"

// Host name and address look-ups, IPv4 only, with the resolver's failures as WinSock codes
// (WSAHOST_NOT_FOUND 11001, WSATRY_AGAIN 11002, WSANO_RECOVERY 11003, WSANO_DATA 11004).
//
// A text that glibc would read as a numeric address although it is not a dotted quad ("1.2.3",
// "0x7f.1") is a name here, and a name made of digits and dots does not exist (no top-level
// domain is numeric): the look-up fails with WSAHOST_NOT_FOUND.
namespace platform::winsock {

struct HostEnt {
  std::string name;  // the official name
  std::vector<std::string> aliases;
  std::vector<std::uint32_t> addresses;  // network order
};

// Blocking look-ups; false with the last error set.
bool gethostbyname(const std::string& name, HostEnt* entry);
bool gethostbyaddr(std::uint32_t addr, HostEnt* entry);

// A running asynchronous look-up; never 0, never reused within a run.
using TLookup = std::uintptr_t;

// Starts a look-up on a worker thread. When it ends, message is posted to window with wParam the
// look-up and lParam's high word the error code (0 for success); the result is then taken with
// WSAAsyncResult. 0 (with the last error) when it cannot start.
TLookup WSAAsyncGetHostByName(HWND window, unsigned message, const std::string& name);
TLookup WSAAsyncGetHostByAddr(HWND window, unsigned message, std::uint32_t addr);
// Takes the result of a look-up that has ended; false when there is none (any more).
bool WSAAsyncResult(TLookup lookup, HostEnt* entry);
// Forgets a look-up, running or ended: its result is dropped and its message, if still to come
// or queued, names a look-up that no longer exists. SOCKET_ERROR (WSAEINVAL) for an unknown one.
int WSACancelAsyncRequest(TLookup lookup);

}  // namespace platform::winsock
