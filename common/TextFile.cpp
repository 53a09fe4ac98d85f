#include "common/TextFile.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

std::vector<std::string> ReadLines(const std::string& path, std::uintmax_t maxBytes) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  in.seekg(0, std::ios::end);
  const auto size = static_cast<std::uintmax_t>(std::max<std::streamoff>(in.tellg(), 0));
  if (size > maxBytes) {
    // Starts after the line end before the last maxBytes, so that no line comes cut.
    in.seekg(static_cast<std::streamoff>(size - maxBytes - 1));
    std::getline(in, line);
  } else {
    in.seekg(0);
  }
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

bool AppendLine(const std::string& path, const std::string& line) {
  std::FILE* f = std::fopen(path.c_str(), "a+b");
  if (f == nullptr) return false;
  std::string text;
  if (std::fseek(f, -1, SEEK_END) == 0 && std::fgetc(f) != '\n') text = "\r\n";
  text += line + "\r\n";
  std::fseek(f, 0, SEEK_END);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && ok;
}

bool ReplaceWithLine(const std::string& path, const std::string& line) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const std::string text = line + "\r\n";
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && ok;
}

TMadeWay MakeWay(const std::string& path,
                 const std::function<std::string(const std::string&)>& note) {
  std::error_code error;
  std::filesystem::rename(path, path + ".1", error);
  if (!error) return TMadeWay::Renamed;
  // Without the rename the newest lines are kept by emptying the file.
  return ReplaceWithLine(path, note(error.message())) ? TMadeWay::Emptied : TMadeWay::Failed;
}
