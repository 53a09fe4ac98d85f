#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessagePump.h"

// A scripted server on loopback for the client's contract tests. It runs on its own thread (the
// client under test waits on the main thread), accepts one caller, runs the script and records
// every line the caller sends, with the time it arrived, until the caller closes.
class FakeServer {
 public:
  using Clock = std::chrono::steady_clock;
  struct Line {
    std::string text;
    Clock::time_point at;
  };
  class Conn {
   public:
    explicit Conn(FakeServer& server) : server_(server) {}
    void Send(const std::string& text) {
      ::send(server_.conn_, text.data(), text.size(), MSG_NOSIGNAL);
    }
    void SendLine(const std::string& line) { Send(line + "\r\n"); }
    // Waits for a line that starts with prefix; that line, or "<timeout>" / "<closed>".
    std::string WaitLine(const std::string& prefix, int timeoutMs = 15000) {
      auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
      std::size_t seen = 0;
      for (;;) {
        {
          std::lock_guard<std::mutex> lock(server_.mutex_);
          for (; seen < server_.lines_.size(); ++seen)
            if (server_.lines_[seen].text.rfind(prefix, 0) == 0) return server_.lines_[seen].text;
          if (server_.peerClosed_) return "<closed>";
        }
        if (Clock::now() >= deadline) return "<timeout>";
        server_.ReadSome(20);
      }
    }
    void Pause(int ms) {
      auto until = Clock::now() + std::chrono::milliseconds(ms);
      while (Clock::now() < until) server_.ReadSome(10);
    }
    void Close() {
      ::shutdown(server_.conn_, SHUT_RDWR);
      std::lock_guard<std::mutex> lock(server_.mutex_);
      server_.closedByUs_ = true;
    }

   private:
    FakeServer& server_;
  };

  FakeServer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listen_, 4);
    socklen_t len = sizeof a;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~FakeServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (conn_ >= 0) ::close(conn_);
    ::close(listen_);
  }

  int Port() const { return port_; }

  // Accepts one caller (within a minute) and runs the script with it; then keeps recording.
  void Run(std::function<void(Conn&)> script) {
    thread_ = std::thread([this, script] {
      auto deadline = Clock::now() + std::chrono::seconds(60);
      while (!stop_ && Clock::now() < deadline) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 20) == 1) {
          conn_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
          break;
        }
      }
      if (conn_ < 0) return;
      accepted_ = true;
      Conn conn(*this);
      script(conn);
      while (!stop_) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (peerClosed_ || closedByUs_) break;
        }
        ReadSome(20);
      }
    });
  }

  bool Accepted() const { return accepted_; }

  std::vector<Line> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const Line& l : Lines()) texts.push_back(l.text);
    return texts;
  }
  bool PeerClosed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return peerClosed_;
  }

  // On the main thread, dispatching its messages: waits until pred() holds.
  template <class Pred>
  bool WaitMain(Pred pred, int timeoutMs = 15000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
      if (Clock::now() >= deadline) return false;
      platform::WaitMessages(10);
    }
    return true;
  }
  bool WaitForLine(const std::string& text, int timeoutMs = 15000) {
    return WaitMain(
        [&] {
          for (const Line& l : Lines())
            if (l.text == text) return true;
          return false;
        },
        timeoutMs);
  }

 private:
  void ReadSome(int waitMs) {
    pollfd p{conn_, POLLIN, 0};
    if (::poll(&p, 1, waitMs) != 1) return;
    char buf[4096];
    ssize_t n = ::recv(conn_, buf, sizeof buf, 0);
    auto now = Clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (n <= 0) {
      peerClosed_ = true;
      return;
    }
    buffer_.append(buf, static_cast<std::size_t>(n));
    std::size_t eol;
    while ((eol = buffer_.find("\r\n")) != std::string::npos) {
      lines_.push_back({buffer_.substr(0, eol), now});
      buffer_.erase(0, eol + 2);
    }
  }

  int listen_ = -1;
  int conn_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> accepted_{false};
  std::mutex mutex_;
  std::vector<Line> lines_;
  std::string buffer_;
  bool peerClosed_ = false;
  bool closedByUs_ = false;
};
