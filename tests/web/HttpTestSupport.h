#pragma once

// Helpers of the HTTP client tests: a scripted server on its own thread that plays exact byte
// sequences, and starting outside servers (python3, nginx, squid, microsocks) on free loopback
// ports with their files in a temporary folder.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../sockets/SocketTestSupport.h"
#include "tests/support/PeerProcess.h"
#include "web/HttpCli.h"

extern char** environ;

namespace httptest {

using namespace sockettest;
using testsupport::PeerProcess;

// One accepted connection of the scripted server.
class Conn {
 public:
  explicit Conn(int fd) : fd_(fd) {}
  // Reads one request: the header up to its empty line and as many body bytes as its
  // Content-Length says. Empty when the caller closed or 15 s passed.
  std::string ReadRequest() {
    for (;;) {
      std::size_t end = held_.find("\r\n\r\n");
      if (end != std::string::npos) {
        std::size_t total = end + 4 + BodyLength(held_.substr(0, end));
        if (held_.size() >= total) {
          std::string request = held_.substr(0, total);
          held_.erase(0, total);
          return request;
        }
      }
      if (!Fill()) return "";
    }
  }
  bool Write(const std::string& data) { return WriteAll(fd_, data); }
  void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // True when the caller has closed its end (waits up to ms).
  bool PeerClosed(int ms = 15000) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return false;
    char c;
    return recv(fd_, &c, 1, MSG_PEEK) <= 0;
  }

 private:
  static std::size_t BodyLength(const std::string& header) {
    std::string lower;
    for (char c : header) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return static_cast<std::size_t>(std::strtoull(header.c_str() + at + 17, nullptr, 10));
  }
  bool Fill() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 15000) <= 0) return false;
    char buf[65536];
    ssize_t n = recv(fd_, buf, sizeof(buf), 0);
    if (n <= 0) return false;
    held_.append(buf, static_cast<std::size_t>(n));
    return true;
  }

  int fd_;
  std::string held_;
};

// A server on 127.0.0.1 that runs script once per accepted connection, on its own thread, up to
// `connections` connections; the requests it read are kept.
class ScriptedServer {
 public:
  using Script = std::function<void(Conn& conn, int index)>;

  explicit ScriptedServer(Script script, int connections = 1)
      : script_(std::move(script)), connections_(connections) {
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    listen(listenFd_, 8);
    port_ = BoundPort(listenFd_);
    thread_ = std::thread([this] { Run(); });
  }
  ~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    close(listenFd_);
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;
  std::string PortText() const { return std::to_string(port_); }
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + PortText() + path;
  }
  void Record(const std::string& request) {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
  }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  int Accepted() const { return accepted_; }

 private:
  void Run() {
    for (int i = 0; i < connections_ && !stop_; ++i) {
      int fd = -1;
      for (int waited = 0; fd < 0 && waited < 300 && !stop_; ++waited) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, 100) > 0) fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      }
      if (fd < 0) return;
      ++accepted_;
      Conn conn(fd);
      script_(conn, i);
      close(fd);
    }
  }
  int listenFd_ = -1;
  int port_ = 0;
  Script script_;
  int connections_;
  std::atomic<bool> stop_{false};
  std::atomic<int> accepted_{0};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A temporary folder, removed with its content.
class TempDir {
 public:
  TempDir() {
    char templ[] = "/tmp/talvo-http-XXXXXX";
    path_ = mkdtemp(templ);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  void Write(const std::string& name, const std::string& content) const {
    std::ofstream(File(name), std::ios::binary) << content;
  }

 private:
  std::string path_;
};

// The first of the names that is an executable file, or the name searched in PATH; empty when
// none is found.
inline std::string FindProgram(const std::vector<std::string>& names) {
  for (const std::string& n : names) {
    if (n.find('/') != std::string::npos) {
      if (access(n.c_str(), X_OK) == 0) return n;
      continue;
    }
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    dirs += ":/usr/sbin:/sbin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
      std::size_t end = dirs.find(':', start);
      if (end == std::string::npos) end = dirs.size();
      std::string candidate = dirs.substr(start, end - start) + "/" + n;
      if (end > start && access(candidate.c_str(), X_OK) == 0) return candidate;
      start = end + 1;
    }
  }
  return "";
}

// Records the client's events as text.
struct HttpTrace {
  explicit HttpTrace(THttpCli& c) {
    c.OnRequestDone = [this](THttpCli*, THttpRequest rq, std::uint16_t e) {
      ++done;
      doneRequest = rq;
      doneError = e;
    };
    c.OnDocData = [this](THttpCli*, const void* data, int len) {
      body.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
      ++pieces;
    };
    c.OnLocationChange = [this](THttpCli* s) { locations.push_back(s->Location()); };
  }
  int done = 0;
  THttpRequest doneRequest = httpNone;
  std::uint16_t doneError = 0;
  std::string body;
  int pieces = 0;
  std::vector<std::string> locations;
};

// The header lines of a request, without its request line's line end and its empty line.
inline std::vector<std::string> RequestLines(const std::string& request) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = request.find("\r\n", start);
    if (end == std::string::npos || end == start) break;
    lines.push_back(request.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

}  // namespace httptest
