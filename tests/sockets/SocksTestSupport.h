#pragma once

// Helpers of the SOCKS tests: a scripted proxy on a raw POSIX listener, bytes from numbers, and
// a recorder of everything a socket reports.

#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "SocketTestSupport.h"
#include "sockets/WSocket.h"

namespace sockettest {

inline std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

// A proxy that plays a script on its own thread: for the one caller it accepts, each step reads
// exactly `expect` bytes (kept as one request), waits delayMs, then writes `reply`. After the
// last step it closes, or with holdOpen keeps reading until the caller closes.
class FakeProxy {
 public:
  struct Step {
    std::size_t expect;
    std::string reply;
    int delayMs = 0;
  };

  explicit FakeProxy(std::vector<Step> steps, bool holdOpen = false)
      : steps_(std::move(steps)), holdOpen_(holdOpen) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(listenFd_, 4);
    port_ = BoundPort(listenFd_);
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeProxy() {
    Join();
    close(listenFd_);
  }
  FakeProxy(const FakeProxy&) = delete;
  FakeProxy& operator=(const FakeProxy&) = delete;

  std::string PortText() const { return std::to_string(port_); }
  // The requests as received, one per step reached; waits for the script to end.
  const std::vector<std::string>& Requests() {
    Join();
    return requests_;
  }
  // What came after the last step (holdOpen).
  const std::string& Tail() {
    Join();
    return tail_;
  }
  bool Finished() const { return finished_; }

 private:
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  // Reads until want bytes are held, the caller closed, or 15 s passed without data.
  static bool ReadExactly(int fd, std::size_t want, std::string& got) {
    while (got.size() < want) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 15000) <= 0) return false;
      char buf[4096];
      ssize_t n = recv(fd, buf, std::min(sizeof(buf), want - got.size()), 0);
      if (n <= 0) return false;
      got.append(buf, static_cast<std::size_t>(n));
    }
    return true;
  }

  void Run() {
    int fd = -1;
    pollfd p{listenFd_, POLLIN, 0};
    if (poll(&p, 1, 15000) > 0) fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
      for (const Step& step : steps_) {
        std::string request;
        bool whole = ReadExactly(fd, step.expect, request);
        requests_.push_back(request);
        if (!whole) break;
        if (step.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
        if (!step.reply.empty() && !WriteAll(fd, step.reply)) break;
      }
      if (holdOpen_) {
        for (;;) {
          pollfd q{fd, POLLIN, 0};
          if (poll(&q, 1, 15000) <= 0) break;
          char buf[4096];
          ssize_t n = recv(fd, buf, sizeof(buf), 0);
          if (n <= 0) break;
          tail_.append(buf, static_cast<std::size_t>(n));
        }
      }
      close(fd);
    }
    finished_ = true;
  }

  int listenFd_ = -1;
  int port_ = 0;
  std::vector<Step> steps_;
  bool holdOpen_;
  std::vector<std::string> requests_;
  std::string tail_;
  std::atomic<bool> finished_{false};
  std::thread thread_;
};

// Records what a socket reports, in order, as text.
struct SocksTrace {
  explicit SocksTrace(TWSocket& s) {
    s.OnSocksConnected = [this](TCustomWSocket*, std::uint16_t e) {
      log.push_back("socks-connected " + std::to_string(e));
    };
    s.OnSocksAuthState = [this](TCustomWSocket*, TSocksAuthState a) {
      log.push_back("auth " + std::to_string(static_cast<int>(a)));
    };
    s.OnSocksError = [this](TCustomWSocket*, int e, const std::string& msg) {
      log.push_back("socks-error " + std::to_string(e) + " " + msg);
    };
    s.OnSessionConnected = [this](TCustomWSocket* sender, std::uint16_t e) {
      log.push_back("connected " + std::to_string(e));
      connectedState = sender->State();
      if (e == 0) rcvdAtConnect = sender->RcvdCount();
      ++connected;
    };
    s.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) {
      log.push_back("closed " + std::to_string(e));
      ++closed;
    };
    s.OnDataAvailable = [this](TCustomWSocket* sender, std::uint16_t) {
      char buf[4096];
      int n = sender->Receive(buf, sizeof(buf));
      if (n > 0) {
        data.append(buf, static_cast<std::size_t>(n));
        reads.emplace_back(buf, static_cast<std::size_t>(n));
      }
    };
    s.OnDataSent = [this](TCustomWSocket*, std::uint16_t) {
      if (connected == 0) log.push_back("data-sent before connected");
    };
    s.OnChangeState = [this](TCustomWSocket*, TSocketState, TSocketState n) {
      states.push_back(static_cast<int>(n));
    };
  }
  bool Ended() const { return closed > 0; }

  std::vector<std::string> log;
  std::vector<int> states;
  std::string data;
  std::vector<std::string> reads;
  int connected = 0;
  int closed = 0;
  TSocketState connectedState = wsInvalidState;
  std::int32_t rcvdAtConnect = -2;
};

}  // namespace sockettest
