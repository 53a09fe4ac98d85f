#include "platform/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>

namespace platform {
namespace {

namespace fs = std::filesystem;

bool ReadNumber(const fs::path& file, long& value) {
  std::ifstream in(file);
  if (!in) return false;
  in >> value;
  return static_cast<bool>(in);
}

// "ttyUSB10" after "ttyUSB9": the trailing number compares as a number.
bool NaturalLess(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) --i;
    std::string digits = s.substr(i);
    return std::make_pair(s.substr(0, i), digits.empty() ? -1L : std::stol(digits.substr(0, 9)));
  };
  auto pa = split(a), pb = split(b);
  if (pa != pb) return pa < pb;
  return a < b;
}

}  // namespace

std::vector<std::string> SerialPortPaths(const std::string& root) {
  std::error_code ec;
  const fs::path classDir = fs::path(root + "/sys/class/tty");
  std::vector<std::string> ttys;
  for (fs::directory_iterator it(classDir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const fs::path entry = it->path();
    std::error_code e;
    if (!fs::exists(entry / "device", e)) continue;  // virtual terminals, ptmx, console
    long type = 0;
    bool hasType = ReadNumber(entry / "type", type);
    if (hasType && type == 0) continue;  // a serial-core port without a UART behind it
    if (name.rfind("ttyS", 0) == 0 && !hasType) continue;
    ttys.push_back(name);
  }
  std::sort(ttys.begin(), ttys.end(), NaturalLess);

  // Stable names: each link under /dev/serial/by-id points at ../../<tty>.
  std::map<std::string, std::string> byId;
  const fs::path idDir = fs::path(root + "/dev/serial/by-id");
  std::vector<fs::path> links;
  for (fs::directory_iterator it(idDir, ec), end; !ec && it != end; it.increment(ec))
    links.push_back(it->path());
  std::sort(links.begin(), links.end());
  for (const auto& link : links) {
    std::error_code e;
    fs::path target = fs::read_symlink(link, e);
    if (e) continue;
    std::string tty = target.filename().string();
    if (!byId.count(tty)) byId[tty] = "/dev/serial/by-id/" + link.filename().string();
  }

  std::vector<std::string> result;
  for (const auto& tty : ttys) {
    auto it = byId.find(tty);
    result.push_back(it != byId.end() ? it->second : "/dev/" + tty);
  }
  return result;
}

}  // namespace platform
