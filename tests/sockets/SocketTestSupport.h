#pragma once

// Helpers of the socket tests: waiting while the event loop runs, and raw POSIX peers.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "platform/MessagePump.h"
#include "sockets/WSocketBinding.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/WaitFor.h"

namespace sockettest {

// Runs the event loop until cond holds or timeoutMs pass; the result of cond.
inline bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 15000) {
  return testsupport::WaitFor(cond, static_cast<std::uint32_t>(timeoutMs));
}

// The text of the ESocketException that f raises, or "(nothing raised)".
inline std::string Raised(const std::function<void()>& f) {
  try {
    f();
  } catch (const ESocketException& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// Runs the event loop for ms milliseconds.
inline void Pump(int ms) {
  platform::WaitMessages(static_cast<std::uint32_t>(ms));
}

inline sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  return a;
}

inline int BoundPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof(a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A listening socket on 127.0.0.1 and an ephemeral port.
class RawListener {
 public:
  explicit RawListener(int rcvBuf = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (rcvBuf > 0) setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &rcvBuf, sizeof(rcvBuf));
    sockaddr_in a = Loopback(0);
    bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(fd_, 8);
    port_ = BoundPort(fd_);
  }
  ~RawListener() { close(fd_); }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // The next caller, or -1 after timeoutMs; the event loop runs meanwhile.
  int Accept(int timeoutMs = 15000) {
    int result = -1;
    WaitFor(
        [&] {
          pollfd p{fd_, POLLIN, 0};
          if (poll(&p, 1, 0) > 0) result = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
          return result >= 0;
        },
        timeoutMs);
    return result;
  }

 private:
  int fd_;
  int port_;
};

// A port on which nobody listens (bound a moment ago, then released).
inline int ClosedPort() {
  RawListener l;
  return l.Port();
}

inline int RawConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Waits (without the event loop) until something takes connections on port; false after ms.
inline bool WaitForPort(int port, testsupport::PeerProcess& process, int ms = 20000) {
  for (int waited = 0; waited < ms; waited += 50) {
    int fd = RawConnect(port);
    if (fd >= 0) {
      close(fd);
      return true;
    }
    if (!process.Running()) return false;
    usleep(50000);
  }
  return false;
}

// Closes with a reset instead of an orderly end.
inline void ResetClose(int fd) {
  linger l{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
  close(fd);
}

inline bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Reads until want bytes arrived, the peer closed, or timeoutMs passed; the event loop runs.
inline std::string ReadSome(int fd, size_t want, int timeoutMs = 15000) {
  std::string got;
  WaitFor(
      [&] {
        pollfd p{fd, POLLIN, 0};
        while (got.size() < want && poll(&p, 1, 0) > 0) {
          char buf[65536];
          ssize_t n = recv(fd, buf, sizeof(buf), 0);
          if (n <= 0) return true;
          got.append(buf, static_cast<size_t>(n));
        }
        return got.size() >= want;
      },
      timeoutMs);
  return got;
}

// Bytes that vary, so that a shifted or repeated piece shows.
inline std::string Pattern(size_t n, unsigned seed = 1) {
  std::string s(n, '\0');
  unsigned x = seed;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 16);
  }
  return s;
}

}  // namespace sockettest
