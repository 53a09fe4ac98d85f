#include "server/EventLog.h"

#include <filesystem>

#include "common/DateTime.h"
#include "common/TextFile.h"

TEventLog::TEventLog(std::string path) : path_(std::move(path)) {}

void TEventLog::Load() {
  lines_.clear();
  bytes_ = 0;
  for (std::string& line : ReadLines(path_, kMaxFileBytes)) Keep(std::move(line));
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

std::string TEventLog::Dated(const std::string& message) {
  return FormatDateTime("ddddd tt", Now()) + "\t" + message;
}

bool TEventLog::MakeRoom(std::uintmax_t bytes) {
  if (stopped_) return false;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path_, error);
  if (error || size + bytes <= kMaxFileBytes) return true;
  // The file begins afresh, and the lines in memory with it.
  lines_.clear();
  bytes_ = 0;
  std::filesystem::rename(path_, path_ + ".1", error);
  if (!error) return true;
  // Without the rename the newest lines are kept by emptying the file; were that refused too,
  // appending would pass the bound, so nothing more is written.
  std::string note = Dated("The event log could not be renamed to " + path_ + ".1 (" +
                           error.message() + "); its earlier lines were dropped");
  if (!ReplaceWithLine(path_, note)) {
    stopped_ = true;
    note = Dated(
        "The event log is full and could not be renamed or emptied; nothing more is "
        "written to " +
        path_);
  }
  Keep(std::move(note));
  return !stopped_;
}

bool TEventLog::LogEvent(const std::string& message) {
  std::string line = Dated(message);
  const bool room = MakeRoom(line.size() + 2);
  Keep(line);
  return room && AppendLine(path_, line);
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
