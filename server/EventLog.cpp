#include "server/EventLog.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/DateTime.h"

TEventLog::TEventLog(std::string path) : path_(std::move(path)) {}

void TEventLog::Load() {
  lines_.clear();
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
  }
}

bool TEventLog::LogEvent(const std::string& message) {
  std::string line = FormatDateTime("ddddd tt", Now()) + "\t" + message;
  lines_.push_back(line);
  line += "\r\n";
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path_, error);
  if (!error && size + line.size() > kMaxFileBytes)
    std::filesystem::rename(path_, path_ + ".1", error);  // on failure the file just grows
  std::FILE* f = std::fopen(path_.c_str(), "ab");
  if (f == nullptr) return false;
  bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  return (std::fclose(f) == 0) && ok;
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
