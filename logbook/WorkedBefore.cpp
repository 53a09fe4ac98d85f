#include "logbook/WorkedBefore.h"

#include <cstdio>
#include <fstream>

#include "common/Text.h"

void TWorkedBefore::Load() {
  lines_.clear();
  std::ifstream in(path_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
  }
}

bool TWorkedBefore::Add(const std::string& line) {
  lines_.push_back(line);
  std::FILE* f = std::fopen(path_.c_str(), "a+b");
  if (f == nullptr) return false;
  // A last line written without its line end by someone else is ended first.
  std::string text;
  if (std::fseek(f, -1, SEEK_END) == 0 && std::fgetc(f) != '\n') text = "\r\n";
  text += line + "\r\n";
  std::fseek(f, 0, SEEK_END);
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return (std::fclose(f) == 0) && ok;
}

std::string TWorkedBefore::LineOf(const std::string& call, const std::string& band,
                                  TDateTime start) {
  return UpperAscii(call) + '\t' + band + '\t' + FormatDateTime("t ddddd", start);
}

std::optional<std::string> TWorkedBefore::Find(const std::string& call,
                                               const std::string& band) const {
  const std::string key = call + '\t' + band + '\t';
  for (auto it = lines_.rbegin(); it != lines_.rend(); ++it)
    if (it->size() >= key.size() && SameTextAscii(std::string_view(*it).substr(0, key.size()), key))
      return it->substr(key.size());
  return std::nullopt;
}

std::string TWorkedBefore::Message(const std::string& call, const std::string& band,
                                   const std::string& when) {
  return "Worked " + call + " before on " + band + " at " + when;
}
