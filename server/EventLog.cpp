#include "server/EventLog.h"

#include <filesystem>

#include "common/DateTime.h"
#include "common/TextFile.h"

TEventLog::TEventLog(std::string path) : path_(std::move(path)) {}

void TEventLog::Load() {
  lines_.clear();
  bytes_ = 0;
  unwritten_ = 0;
  dropped_ = 0;
  for (std::string& line : ReadLines(path_, kMaxFileBytes)) Keep(std::move(line));
}

void TEventLog::Keep(std::string line) {
  bytes_ += line.size() + 2;
  lines_.push_back(std::move(line));
  if (bytes_ <= kMaxFileBytes) return;
  std::size_t drop = 0;
  while (bytes_ > kMaxFileBytes / 2 && drop + 1 < lines_.size())
    bytes_ -= lines_[drop++].size() + 2;
  const std::size_t written = lines_.size() - unwritten_;
  const std::size_t lost = drop > written ? drop - written : 0;
  lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(drop));
  unwritten_ -= lost;
  if (lost > 0) NoteDropped(lost);
}

void TEventLog::NoteDropped(std::size_t lost) {
  // The note of an earlier drop was the first line not written, so it went first: the new note
  // counts its lines too.
  if (dropped_ > 0) --lost;
  dropped_ += lost;
  std::string note =
      Dated(std::to_string(dropped_) + (dropped_ == 1 ? " line was" : " lines were") +
            " dropped here: " + path_ + " could not take them");
  bytes_ += note.size() + 2;
  lines_.insert(lines_.begin(), std::move(note));
  ++unwritten_;
}

void TEventLog::KeepUnwritten(std::string line) {
  ++unwritten_;
  Keep(std::move(line));
}

std::uintmax_t TEventLog::UnwrittenBytes() const {
  std::uintmax_t bytes = 0;
  for (std::size_t i = lines_.size() - unwritten_; i < lines_.size(); ++i)
    bytes += lines_[i].size() + 2;
  return bytes;
}

bool TEventLog::WriteUnwritten() {
  for (; unwritten_ > 0; --unwritten_) {
    if (!AppendLine(path_, lines_[lines_.size() - unwritten_])) return false;
    dropped_ = 0;  // a note of dropped lines comes first, and is in the file now
  }
  return true;
}

std::string TEventLog::Dated(const std::string& message) {
  return FormatDateTime("ddddd tt", Now()) + "\t" + message;
}

bool TEventLog::MakeRoom(std::uintmax_t bytes) {
  if (HasRoom(bytes)) {
    stuck_ = false;
    return true;
  }
  std::string note;
  const TMadeWay made = MakeWay(path_, [&](const std::string& reason) {
    note = Dated("The event log could not be renamed to " + path_ + ".1 (" + reason +
                 "); its earlier lines were dropped");
    return note;
  });
  if (made == TMadeWay::Renamed) {
    BeginAfresh();
    return true;
  }
  // The note may fail to follow into a file that was emptied all the same: the file has room
  // then, and logging goes on.
  if (made == TMadeWay::Emptied || HasRoom(bytes)) {
    BeginAfresh(std::move(note));
    return true;
  }
  // The file still holds its lines, and so does the window; the next line tries again.
  if (!stuck_)
    KeepUnwritten(Dated("The event log is full and could not be renamed or emptied; " + path_ +
                        " is written again once it can be"));
  stuck_ = true;
  return false;
}

bool TEventLog::HasRoom(std::uintmax_t bytes) const {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path_, error);
  return error || size + bytes <= kMaxFileBytes;
}

void TEventLog::BeginAfresh(std::string note) {
  std::vector<std::string> unwritten(lines_.end() - static_cast<std::ptrdiff_t>(unwritten_),
                                     lines_.end());
  lines_.clear();
  bytes_ = 0;
  unwritten_ = 0;
  stuck_ = false;
  if (!note.empty()) Keep(std::move(note));
  for (std::string& line : unwritten) KeepUnwritten(std::move(line));
}

bool TEventLog::LogEvent(const std::string& message) {
  std::string line = Dated(message);
  const bool room = MakeRoom(UnwrittenBytes() + line.size() + 2);
  KeepUnwritten(std::move(line));
  return room && WriteUnwritten();
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
