#pragma once

#include <fstream>
#include <sstream>
#include <string>

// The whole file as bytes; empty when it cannot be read.
inline std::string FileContents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
