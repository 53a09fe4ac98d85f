#include "server/EventLog.h"

#include <filesystem>

#include "common/DateTime.h"
#include "common/TextFile.h"

TEventLog::TEventLog(std::string path) : path_(std::move(path)) {}

void TEventLog::Load() {
  lines_ = ReadLines(path_);
}

bool TEventLog::LogEvent(const std::string& message) {
  std::string line = FormatDateTime("ddddd tt", Now()) + "\t" + message;
  lines_.push_back(line);
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path_, error);
  if (!error && size + line.size() + 2 > kMaxFileBytes)
    std::filesystem::rename(path_, path_ + ".1", error);  // on failure the file just grows
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
