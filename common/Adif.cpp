#include "common/Adif.h"

#include <cstdio>
#include <filesystem>

#include "platform/Paths.h"

std::string AdifPath() {
  static const std::string path = platform::ChangeFileExt(platform::ProgramFile(), ".adi");
  return path;
}

bool AppendAdif(const std::string& record) {
  const std::string path = AdifPath();
  std::error_code ignored;
  const bool exists = std::filesystem::exists(path, ignored);
  std::FILE* f = std::fopen(path.c_str(), exists ? "ab" : "wbx");
  if (f == nullptr) return false;
  std::string text;
  if (!exists) text = "Talvo v 1.0\r\n<ADIF_VER:4>1.00\r\n<LOG_PGM:5>Talvo\r\n<EOH>\r\n";
  text += record;
  text += "\r\n";
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (std::fclose(f) == 0) && ok;
  return ok;
}
