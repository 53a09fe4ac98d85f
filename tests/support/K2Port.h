#pragma once

#include <string>

#include "serial/SerialPort.h"

// Sets the port up for the K2 on the named device as the server does: 4800 baud, 8 data bits, no
// parity, 2 stop bits, no flow control, and the read and write timeouts of 2.3 ms per character.
inline void ConfigureForK2(TSerialPort& port, const std::string& name) {
  port.SetCommPort(name);
  port.SetBaudRate(4800);
  port.SetDataBits(8);
  port.SetParityType(0);
  port.SetStopBits(2);
  port.SetFlowControl(0);
  port.SetRTOCharDelayTime(2300);
  port.SetWTOCharDelayTime(2300);
}
