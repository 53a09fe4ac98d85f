#pragma once

// A serial device in memory, for what a pseudo-terminal cannot show: modem lines, line errors,
// counters, refused writes and failing calls. The test keeps a pointer to it (the port owns it)
// and changes its state under Lock().

#include <errno.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/SerialDevice.h"

class FakeSerialDevice : public platform::SerialDevice {
 public:
  struct State {
    // Set by the test.
    std::map<std::string, int> fail;  // call name -> errno it returns
    std::uint32_t modem = 0;          // kModem* bits
    platform::SerialCounters counters;
    std::string input;                                     // bytes the far end has sent
    std::size_t writeRoom = static_cast<std::size_t>(-1);  // bytes the next writes may take
    std::uint32_t outQueue = 0;

    // Seen by the test.
    bool open = false;
    std::vector<std::string> opened;  // paths, in order
    std::string output;               // bytes written
    platform::SerialSettings settings;
    bool dtr = false, rts = false, brk = false;
    std::vector<std::string> lineLog;  // "DTR+", "RTS-", ...
    int purges = 0;
    int closes = 0;
  };

  std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(mutex_); }
  State& state() { return state_; }  // under Lock()

  // Changes state under the lock and wakes a waiting worker.
  template <typename F>
  void Change(F f) {
    {
      auto lock = Lock();
      f(state_);
    }
    Wake();
  }
  template <typename F>
  auto Look(F f) {
    auto lock = Lock();
    return f(state_);
  }

  int Init() override { return Failure("Init"); }

  int Open(const std::string& path) override {
    std::lock_guard lock(mutex_);
    if (int e = FailureLocked("Open")) return e;
    if (state_.open) return EBUSY;
    state_.open = true;
    state_.opened.push_back(path);
    return 0;
  }
  int Close() override {
    std::lock_guard lock(mutex_);
    if (!state_.open) return EBADF;
    state_.open = false;
    ++state_.closes;
    return FailureLocked("Close");
  }
  bool IsOpen() const override {
    std::lock_guard lock(mutex_);
    return state_.open;
  }
  int Handle() const override {
    std::lock_guard lock(mutex_);
    return state_.open ? 42 : -1;
  }
  int SetupQueues(std::uint32_t, std::uint32_t) override { return OpenCall("SetupQueues"); }
  int GetSettings(platform::SerialSettings& s) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("GetSettings")) return e;
    s = state_.settings;
    return 0;
  }
  int SetSettings(const platform::SerialSettings& s) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("SetSettings")) return e;
    state_.settings = s;
    return 0;
  }
  int SetReadsReturnAtOnce() override { return OpenCall("SetReadsReturnAtOnce"); }
  int GetModemLines(std::uint32_t& status) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("GetModemLines")) return e;
    status = state_.modem;
    return 0;
  }
  int SetModemLine(platform::ModemLine line, bool on) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("SetModemLine")) return e;
    bool dtr = line == platform::ModemLine::Dtr;
    (dtr ? state_.dtr : state_.rts) = on;
    state_.lineLog.push_back(std::string(dtr ? "DTR" : "RTS") + (on ? "+" : "-"));
    return 0;
  }
  int SetBreak(bool on) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("SetBreak")) return e;
    state_.brk = on;
    return 0;
  }
  int Purge(bool input, bool) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("Purge")) return e;
    ++state_.purges;
    if (input) state_.input.clear();
    return 0;
  }
  int GetQueues(std::uint32_t& in, std::uint32_t& out) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("GetQueues")) return e;
    in = static_cast<std::uint32_t>(state_.input.size());
    out = state_.outQueue;
    return 0;
  }
  int GetCounters(platform::SerialCounters& c) override {
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("GetCounters")) return e;
    c = state_.counters;
    return 0;
  }
  int Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("Read")) return e;
    if (state_.input.empty()) return EAGAIN;
    done = std::min(size, state_.input.size());
    std::memcpy(buffer, state_.input.data(), done);
    state_.input.erase(0, done);
    return 0;
  }
  int Write(const void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    std::lock_guard lock(mutex_);
    if (int e = OpenCallLocked("Write")) return e;
    if (size == 0) return 0;
    if (state_.writeRoom == 0) return EAGAIN;
    done = std::min(size, state_.writeRoom);
    if (state_.writeRoom != static_cast<std::size_t>(-1)) state_.writeRoom -= done;
    state_.output.append(static_cast<const char*>(buffer), done);
    return 0;
  }
  int Wait(std::uint32_t ms, bool readable, bool writable) override {
    std::unique_lock lock(mutex_);
    cv_.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      return woken_ || (state_.open && readable && !state_.input.empty()) ||
             (state_.open && writable && state_.writeRoom > 0);
    });
    woken_ = false;
    return 0;
  }
  int Wake() override {
    {
      std::lock_guard lock(mutex_);
      woken_ = true;
    }
    cv_.notify_all();
    return 0;
  }

 private:
  int FailureLocked(const std::string& call) const {
    auto it = state_.fail.find(call);
    return it == state_.fail.end() ? 0 : it->second;
  }
  int Failure(const std::string& call) {
    std::lock_guard lock(mutex_);
    return FailureLocked(call);
  }
  int OpenCallLocked(const std::string& call) const {
    if (!state_.open) return EBADF;
    return FailureLocked(call);
  }
  int OpenCall(const std::string& call) {
    std::lock_guard lock(mutex_);
    return OpenCallLocked(call);
  }

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool woken_ = false;
  State state_;
};
