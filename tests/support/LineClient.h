#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "platform/MessagePump.h"

// A protocol client for the tests: a plain non-blocking TCP socket that sends and reads CR LF
// lines, dispatching the test's own messages while it waits (the server may run in process).
class LineClient {
 public:
  ~LineClient() { Close(); }

  bool Connect(int port, int timeoutMs = 5000, const std::string& address = "127.0.0.1") {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
      Close();
      fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (receiveBuffer_ > 0)
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer_, sizeof receiveBuffer_);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(port));
      a.sin_addr.s_addr = ::inet_addr(address.c_str());
      if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        ::fcntl(fd_, F_SETFL, O_NONBLOCK);
        return true;
      }
      platform::WaitMessages(50);
    } while (Clock::now() < deadline);
    Close();
    return false;
  }

  // The receive buffer of the next Connect's socket (0: the system's).
  void SetReceiveBuffer(int bytes) { receiveBuffer_ = bytes; }

  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    closed_ = false;
    buffer_.clear();
  }

  bool Send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::send(fd_, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && errno == EAGAIN) {
        platform::WaitMessages(5);
      } else {
        return false;
      }
    }
    return true;
  }
  bool SendLine(const std::string& line) { return Send(line + "\r\n"); }

  // The next line without its CR LF; "<timeout>" or "<closed>" when none comes.
  std::string ReadLine(int timeoutMs = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      auto eol = buffer_.find("\r\n");
      if (eol != std::string::npos) {
        std::string line = buffer_.substr(0, eol);
        buffer_.erase(0, eol + 2);
        return line;
      }
      if (closed_) return "<closed>";
      if (Clock::now() >= deadline) return "<timeout>";
      Fill();
    }
  }

  // Reads lines until one starts with prefix; that line, or "<timeout>" / "<closed>".
  std::string WaitFor(const std::string& prefix, int timeoutMs = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      int left = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
      std::string line = ReadLine(left > 0 ? left : 0);
      if (line.rfind(prefix, 0) == 0 || line == "<timeout>" || line == "<closed>") return line;
      seen_ += line + "\n";
    }
  }

  // True when the server closed the connection within the time.
  bool WaitClosed(int timeoutMs = 5000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!closed_ && Clock::now() < deadline) Fill();
    return closed_;
  }

  const std::string& Seen() const { return seen_; }
  int Fd() const { return fd_; }

 private:
  using Clock = std::chrono::steady_clock;

  void Fill() {
    char buf[4096];
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n > 0) {
      buffer_.append(buf, static_cast<std::size_t>(n));
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      closed_ = true;
    } else {
      platform::WaitMessages(10);
    }
  }

  int fd_ = -1;
  int receiveBuffer_ = 0;
  bool closed_ = false;
  std::string buffer_;
  std::string seen_;
};
