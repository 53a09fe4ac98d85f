#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// A listening TCP socket on 127.0.0.1 at a free port, for the tests' stand-in peers: the socket
// (close it when done), its port in port.
inline int ListenOnLoopback(int& port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(fd, 4);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}
