#pragma once

#include <string>

#include "serial/SerialPort.h"

// The K2's line on the named device: 4800 baud, 8 data bits, no parity, 2 stop bits, no flow
// control.
inline void ConfigureLineForK2(TSerialPort& port, const std::string& name) {
  port.SetCommPort(name);
  port.SetBaudRate(4800);
  port.SetDataBits(8);
  port.SetParityType(0);
  port.SetStopBits(2);
  port.SetFlowControl(0);
}

// The port set up for the K2 as the server does: its line, and read and write timeouts of 2.3 ms
// per character.
inline void ConfigureForK2(TSerialPort& port, const std::string& name) {
  ConfigureLineForK2(port, name);
  port.SetRTOCharDelayTime(2300);
  port.SetWTOCharDelayTime(2300);
}
