#include "server/EventLog.h"

#include <filesystem>

#include "common/DateTime.h"
#include "common/TextFile.h"

TEventLog::TEventLog(std::string path) : path_(std::move(path)) {}

void TEventLog::Load() {
  lines_.clear();
  bytes_ = 0;
  for (std::string& line : ReadLines(path_)) Keep(std::move(line));
}

void TEventLog::Keep(std::string line) {
  bytes_ += line.size() + 2;
  lines_.push_back(std::move(line));
  if (bytes_ <= kMaxFileBytes) return;
  std::size_t drop = 0;
  while (bytes_ > kMaxFileBytes / 2 && drop + 1 < lines_.size())
    bytes_ -= lines_[drop++].size() + 2;
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(drop));
}

bool TEventLog::LogEvent(const std::string& message) {
  std::string line = FormatDateTime("ddddd tt", Now()) + "\t" + message;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path_, error);
  if (!error && size + line.size() + 2 > kMaxFileBytes) {
    std::filesystem::rename(path_, path_ + ".1", error);  // on failure the file just grows
    if (!error) {
      lines_.clear();
      bytes_ = 0;
    }
  }
  Keep(line);
  return AppendLine(path_, line);
}

std::string LogSafe(const std::string& text, std::size_t max) {
  std::string out;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    out += (u < 32 || u == 127) ? '?' : c;
    if (out.size() >= max && text.size() > max) {
      out += "...";
      break;
    }
  }
  return out;
}
