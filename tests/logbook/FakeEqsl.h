#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A stand-in for the eQSL import page on loopback: on its own thread it answers every request
// with the status line and body it was given and records each request's head.
class FakeEqsl {
 public:
  FakeEqsl(std::string status, std::string body)
      : status_(std::move(status)), body_(std::move(body)) {
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
    thread_ = std::thread([this] { Serve(); });
  }
  ~FakeEqsl() {
    stop_ = true;
    thread_.join();
    ::close(listen_);
  }

  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!stop_ && std::chrono::steady_clock::now() < deadline) {
      pollfd p{listen_, POLLIN, 0};
      if (::poll(&p, 1, 20) != 1) continue;
      int conn = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
      if (conn < 0) continue;
      std::string head;
      char buf[4096];
      while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd q{conn, POLLIN, 0};
        if (::poll(&q, 1, 5000) != 1) break;
        ssize_t n = ::recv(conn, buf, sizeof buf, 0);
        if (n <= 0) break;
        head.append(buf, static_cast<std::size_t>(n));
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(head);
      }
      std::string reply =
          "HTTP/1.0 " + status_ +
          "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body_.size()) +
          "\r\n\r\n" + body_;
      ::send(conn, reply.data(), reply.size(), MSG_NOSIGNAL);
      ::shutdown(conn, SHUT_WR);
      ::close(conn);
    }
  }

  std::string status_, body_;
  int listen_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
};
