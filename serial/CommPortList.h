#pragma once

#include <string>
#include <vector>

// Appends the machine's serial ports (see platform::SerialPortPaths) that list does not hold yet,
// compared without regard to case; keeps the entries already there and the order found. Adds
// nothing when there are none; never reports an error. root: see platform::SerialPortPaths.
void ListSerialPorts(std::vector<std::string>& list, const std::string& root = "");
