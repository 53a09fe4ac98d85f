#include "sockets/QelLogger.h"

#include <chrono>
#include <ctime>
#include <filesystem>

#include "platform/Debug.h"

TQelLogger::TQelLogger() = default;

TQelLogger::~TQelLogger() {
  BeginDestroy();
  std::lock_guard guard(lock_);
  CloseFile();
}

TLogOptions TQelLogger::LogOptions() const {
  std::lock_guard guard(lock_);
  return options_;
}

void TQelLogger::SetLogOptions(TLogOptions options) {
  std::lock_guard guard(lock_);
  options_ = options;
}

std::string TQelLogger::LogFileName() const {
  std::lock_guard guard(lock_);
  return fileName_;
}

void TQelLogger::SetLogFileName(const std::string& name) {
  std::lock_guard guard(lock_);
  if (name == fileName_) return;
  fileName_ = name;
  CloseFile();
}

TLogFileOption TQelLogger::LogFileOption() const {
  std::lock_guard guard(lock_);
  return fileOption_;
}

void TQelLogger::SetLogFileOption(TLogFileOption option) {
  std::lock_guard guard(lock_);
  fileOption_ = option;
}

TQelLogger::TimeOfDay TQelLogger::Now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  static std::mutex localtimeLock;  // std::localtime shares one result buffer
  std::lock_guard guard(localtimeLock);
  const std::tm* tm = std::localtime(&t);
  TimeOfDay d;
  if (tm != nullptr) {
    d.hour = tm->tm_hour;
    d.minute = tm->tm_min;
    d.second = tm->tm_sec;
  }
  d.millisecond = ms;
  return d;
}

std::string TQelLogger::LogTimeStamp() {
  TimeOfDay d = Now();
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%02d:%02d:%02d:%03d", d.hour, d.minute, d.second, d.millisecond);
  return buf;
}

void TQelLogger::WriteLog(TComponent* sender, TLogOption option, const std::string& msg) {
  std::lock_guard guard(lock_);
  if (Destroying()) return;
  auto text = [&] { return options_.Contains(loAddStamp) ? LogTimeStamp() + " " + msg : msg; };
  if (options_.Contains(loDestEvent) && OnQelLogEvent) OnQelLogEvent(sender, option, text());
  if (options_.Contains(loDestOutDebug)) platform::OutputDebugString(text());
  if (options_.Contains(loDestFile)) WriteToFile(text() + "\r\n");
}

void TQelLogger::WriteToFile(const std::string& text) {
  if (file_ == nullptr) {
    CloseFile();
    if (fileName_.empty()) throw ELoggerException("File name empty");
    std::error_code ec;
    if (!std::filesystem::exists(fileName_, ec)) {
      std::FILE* created = std::fopen(fileName_.c_str(), "wb");
      if (created == nullptr) throw ELoggerException("Cannot create file \"" + fileName_ + "\"");
      std::fclose(created);
    }
    if (fileOption_ == lfoOverwrite) {
      std::filesystem::resize_file(fileName_, 0, ec);
      if (ec) throw ELoggerException("Cannot open file \"" + fileName_ + "\"");
    }
    file_ = std::fopen(fileName_.c_str(), "r+b");
    if (file_ == nullptr) throw ELoggerException("Cannot open file \"" + fileName_ + "\"");
    std::fseek(file_, 0, SEEK_END);
  }
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
    throw ELoggerException("Cannot write file \"" + fileName_ + "\"");
  }
}

void TQelLogger::CloseFile() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}
