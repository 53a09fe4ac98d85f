#include "client/TraceFile.h"

#include <ctime>

#include "common/TextFile.h"

namespace {

std::string TimeText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

}  // namespace

bool TTraceFile::Open(const char* mode) {
  Close();
  file_ = std::fopen(path_.c_str(), mode);
  if (!file_) return false;
  const long end = std::fseek(file_, 0, SEEK_END) == 0 ? std::ftell(file_) : 0;
  size_ = end > 0 ? static_cast<std::uintmax_t>(end) : 0;
  return true;
}

bool TTraceFile::Rewrite() {
  return Open("wb");
}

bool TTraceFile::MakeRoom(const std::string& time, std::size_t bytes) {
  Close();
  const TMadeWay made = MakeWay(path_, [&](const std::string& reason) {
    return time + " ** The trace file could not be renamed to " + path_ + ".1 (" + reason +
           "); its earlier lines were dropped";
  });
  // A file emptied without its note has room all the same.
  return Open("ab") && (made != TMadeWay::Failed || size_ + bytes <= maxBytes_);
}

bool TTraceFile::WriteLine(const std::string& text) {
  if (!file_ && !Open("ab")) return false;
  const std::string time = TimeText();
  const std::string line = time + text + "\r\n";
  if (size_ > 0 && size_ + line.size() > maxBytes_ && !MakeRoom(time, line.size())) return false;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) return false;
  size_ += line.size();
  return std::fflush(file_) == 0;
}

void TTraceFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}
