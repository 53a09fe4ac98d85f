#pragma once

// A pseudo-terminal pair: the port opens the slave by its path, the test plays the far end on
// the master. The test keeps its own slave descriptor to read back the line settings.

#include <errno.h>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "SerialTestSupport.h"

struct PtyPair {
  PtyPair() {
    char buffer[256] = {};
    if (openpty(&master, &slave, buffer, nullptr, nullptr) == 0) {
      name = buffer;
      fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
  }
  ~PtyPair() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master >= 0; }

  void Send(const std::string& bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        return;
      } else {
        platform::WaitMessages(2);
      }
    }
  }

  // What the port wrote, until count bytes have come or ms have passed; dispatches messages
  // meanwhile so that the port's hand-overs run.
  std::string Receive(std::size_t count, std::uint32_t ms = 10000) const {
    std::string got;
    const std::uint32_t start = platform::GetTickCount();
    char buffer[4096];
    while (got.size() < count && platform::GetTickCount() - start < ms) {
      ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0)
        got.append(buffer, static_cast<std::size_t>(n));
      else
        platform::WaitMessages(2);
    }
    return got;
  }

  int master = -1;
  int slave = -1;
  std::string name;
};
