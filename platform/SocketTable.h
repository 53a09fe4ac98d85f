#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/MessageWindow.h"
#include "platform/Sockets.h"

// The table behind the socket handles of platform/Sockets.h: each handle names one open
// descriptor together with what the asynchronous select (platform/AsyncSelect.h) knows of it.
// Internal to the platform layer.
namespace platform::winsock::detail {

class SelectAgent;

struct SocketEntry {
  TSocket handle = INVALID_SOCKET;
  int fd = -1;
  int type = kSockStream;

  std::mutex lock;  // guards everything below
  bool listening = false;
  bool connecting = false;     // a non-blocking connect runs
  bool connected = false;      // the stream has a peer (connect finished well, or accepted)
  bool connectFailed = false;  // the connect ended in an error: nothing more is reported
  bool closeReported = false;  // FD_CLOSE went out; the read side is not watched any more
  int pendingCloseError = 0;   // a receive already saw the connection fail with this code

  // The asynchronous select: where notifications go and which ones.
  HWND window = 0;
  unsigned message = 0;
  long events = 0;
  SelectAgent* agent = nullptr;  // lives on the thread that selected
};

using EntryPtr = std::shared_ptr<SocketEntry>;

// Registers an open descriptor and returns its new handle.
TSocket Add(int fd, int type, bool connected);
// The entry of a handle, or null (last error set to WSAENOTSOCK).
EntryPtr Find(TSocket handle);
// Takes the entry out of the table; null when there is none.
EntryPtr Remove(TSocket handle);
// Takes every entry out of the table.
std::vector<EntryPtr> RemoveAll();

}  // namespace platform::winsock::detail
