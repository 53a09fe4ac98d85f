#pragma once

// What the decoder link tests share: the fake exchange library and decoder program put in place
// in $TALVO_HOME, the library's control hooks, and clean-up of the decoder processes started.
#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/Library.h"
#include "tests/support/WaitFor.h"

namespace cwlink {

inline std::string Home() {
  return std::string(std::getenv("TALVO_HOME")) + "/";
}
inline std::string DecoderFolder() {
  return Home() + "decoder";
}
inline std::string DecoderPath() {
  return DecoderFolder() + "/cwget";
}

// Replaces dest by a copy of src without touching a file that is still mapped under that name.
inline void Install(const std::string& src, const std::string& dest) {
  namespace fs = std::filesystem;
  std::string temp = dest + ".new";
  fs::copy_file(src, temp, fs::copy_options::overwrite_existing);
  fs::rename(temp, dest);
}

inline void InstallDecoder(const std::string& mode) {
  std::filesystem::create_directories(DecoderFolder());
  Install(FAKE_DECODER, DecoderPath());
  std::ofstream(DecoderFolder() + "/mode") << mode << "\n";
}

// Pids from the marker files the fake decoder left, for one kind ("started", "closed", ...).
inline std::vector<long> Markers(const std::string& kind) {
  std::vector<long> pids;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(DecoderFolder(), ec)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(kind + "-", 0) == 0) pids.push_back(std::atol(name.c_str() + kind.size() + 1));
  }
  return pids;
}

inline bool Alive(long pid) {
  std::error_code ec;
  auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
  if (ec) return false;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  std::getline(stat, line);
  auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

// Ends every fake decoder that a test left running, and only those.
inline void KillDecoders() {
  for (long pid : Markers("started")) {
    std::error_code ec;
    auto exe = std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
    if (!ec && exe.string() == DecoderPath()) ::kill(static_cast<pid_t>(pid), SIGKILL);
  }
  std::filesystem::remove_all(DecoderFolder());
}

using testsupport::WaitFor;

// The fake library's control hooks, through a handle of its own on the same loaded instance.
class FakeLibrary {
 public:
  FakeLibrary() : handle_(platform::LoadLibrary("DXSOFTEX.DLL")) {
    reset_ = Proc<void (*)(std::uint8_t)>("FakeExchangeReset");
    feed_ = Proc<void (*)(const char*, int)>("FakeExchangeFeed");
    feedValue_ = Proc<void (*)(std::int32_t)>("FakeExchangeFeedValue");
    zeros_ = Proc<void (*)(bool)>("FakeExchangeSetEndlessZeros");
    initCalls_ = Proc<int (*)()>("FakeExchangeInitCalls");
    lastMode_ = Proc<std::int32_t (*)()>("FakeExchangeLastMode");
    reads_ = Proc<int (*)()>("FakeExchangeReads");
    pending_ = Proc<int (*)()>("FakeExchangePending");
  }
  ~FakeLibrary() { platform::FreeLibrary(handle_); }
  FakeLibrary(const FakeLibrary&) = delete;
  FakeLibrary& operator=(const FakeLibrary&) = delete;

  bool Ok() const { return handle_ != nullptr && reset_ != nullptr && pending_ != nullptr; }
  void Reset(std::uint8_t initResult = 1) { reset_(initResult); }
  void Feed(const std::string& text) { feed_(text.data(), static_cast<int>(text.size())); }
  void FeedValue(std::int32_t value) { feedValue_(value); }
  void EndlessZeros(bool on) { zeros_(on); }
  int InitCalls() { return initCalls_(); }
  std::int32_t LastMode() { return lastMode_(); }
  int Reads() { return reads_(); }
  int Pending() { return pending_(); }

 private:
  template <typename F>
  F Proc(const char* name) {
    return reinterpret_cast<F>(platform::GetProcAddress(handle_, name));
  }

  platform::LibraryHandle handle_;
  void (*reset_)(std::uint8_t) = nullptr;
  void (*feed_)(const char*, int) = nullptr;
  void (*feedValue_)(std::int32_t) = nullptr;
  void (*zeros_)(bool) = nullptr;
  int (*initCalls_)() = nullptr;
  std::int32_t (*lastMode_)() = nullptr;
  int (*reads_)() = nullptr;
  int (*pending_)() = nullptr;
};

}  // namespace cwlink
