#include "serial/CommPortList.h"

#include <algorithm>
#include <cctype>

#include "platform/SerialPortList.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

void ListSerialPorts(std::vector<std::string>& list, const std::string& root) {
  for (const auto& name : platform::SerialPortPaths(root)) {
    bool known = std::any_of(list.begin(), list.end(),
                             [&](const std::string& entry) { return SameText(entry, name); });
    if (!known) list.push_back(name);
  }
}
