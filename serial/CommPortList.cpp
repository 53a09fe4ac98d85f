#include "serial/CommPortList.h"

#include <algorithm>

#include "platform/SerialPortList.h"
#include "text/Text.h"

void ListSerialPorts(std::vector<std::string>& list, const std::string& root) {
  for (const auto& name : platform::SerialPortPaths(root)) {
    bool known = std::any_of(list.begin(), list.end(),
                             [&](const std::string& entry) { return SameTextAscii(entry, name); });
    if (!known) list.push_back(name);
  }
}
