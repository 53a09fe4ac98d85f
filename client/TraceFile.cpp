#include "client/TraceFile.h"

#include <ctime>

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

bool TTraceFile::Rewrite() {
  Close();
  file_ = std::fopen(path_.c_str(), "wb");
  return file_ != nullptr;
}

bool TTraceFile::WriteLine(const std::string& text) {
  if (!file_) file_ = std::fopen(path_.c_str(), "ab");
  if (!file_) return false;
  std::string line = TimeText() + text + "\r\n";
  return std::fwrite(line.data(), 1, line.size(), file_) == line.size() && std::fflush(file_) == 0;
}

void TTraceFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}
