#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

// A listening TCP socket on 127.0.0.1 at a free port, for the tests' stand-in peers: the socket
// (close it when done), its port in port.
inline int ListenOnLoopback(int& port, int backlog = 4) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, backlog);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

// A listener on loopback whose queue is full: a further caller's connect hangs, unanswered, for
// as long as this lives.
class HangingListener {
 public:
  HangingListener() {
    fd_ = ListenOnLoopback(port_, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port_));
    for (int& c : fillers_) {
      c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
  }
  ~HangingListener() {
    for (int c : fillers_) ::close(c);
    ::close(fd_);
  }
  HangingListener(const HangingListener&) = delete;
  HangingListener& operator=(const HangingListener&) = delete;
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  int fillers_[4] = {};
};
