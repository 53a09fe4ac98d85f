#pragma once

#include <string>
#include <vector>

namespace platform {

// The machine's serial ports as device paths, from the tty class in sysfs: only terminals backed
// by a device, and of the serial-core ports only those whose driver found a UART (a "type" other
// than 0; ttyS ports must show one). A port with a stable name under /dev/serial/by-id is given by
// that name, any other as /dev/<name>. Ordered by name, numbers compared as numbers. root is put
// in front of "/sys" and "/dev" when looking (tests use a fake tree); the paths returned never
// include it. Opens no port.
std::vector<std::string> SerialPortPaths(const std::string& root = "");

}  // namespace platform
