#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "serial/SerialPort.h"
#include "tests/support/WaitFor.h"

struct PortReport {
  std::uint32_t place;
  std::uint32_t code;
  std::string msg;
};

// Collects what a port reports and fires.
struct PortRecorder {
  std::vector<PortReport> reports;
  std::vector<std::string> events;
  std::string received;  // the text of every chunk taken
  int chunks = 0;
  int writesDone = 0;

  void Attach(TSerialPort& port, bool takeChunks = true) {
    port.OnProcessError = [this](TSerialPort&, std::uint32_t place, std::uint32_t code,
                                 const std::string& msg) {
      reports.push_back({place, code, msg});
    };
    port.OnWriteDone = [this](TSerialPort&) { ++writesDone; };
    if (takeChunks) {
      port.OnRxClusterEvent = [this](TSerialPort& p) {
        ++chunks;
        received += p.TakeChunkText();
      };
    }
    auto named = [this](const char* name) {
      return [this, name](TSerialPort&) { events.push_back(name); };
    };
    port.OnBreakEvent = named("Break");
    port.OnCTSEvent = named("CTS");
    port.OnDSREvent = named("DSR");
    port.OnLineErrorEvent = named("LineError");
    port.OnRingEvent = named("Ring");
    port.OnRLSDEvent = named("RLSD");
    port.OnRxCharEvent = named("RxChar");
    port.OnRxEventCharEvent = named("RxEventChar");
    port.OnTxQueueEmptyEvent = named("TxEmpty");
    port.OnCommEvent = named("Comm");
  }

  int Count(std::uint32_t place) const {
    int n = 0;
    for (const auto& r : reports) n += r.place == place;
    return n;
  }
  const PortReport* Find(std::uint32_t place) const {
    for (const auto& r : reports)
      if (r.place == place) return &r;
    return nullptr;
  }
  int EventCount(const std::string& name) const {
    int n = 0;
    for (const auto& e : events) n += e == name;
    return n;
  }
};

// Dispatches messages until pred() holds or ms have passed; pred()'s last value.
inline bool PumpUntil(const std::function<bool()>& pred, std::uint32_t ms = 10000) {
  return testsupport::WaitFor(pred, ms);
}

// Dispatches messages for ms milliseconds.
inline void Pump(std::uint32_t ms) {
  const std::uint32_t start = platform::GetTickCount();
  while (platform::GetTickCount() - start < ms) platform::WaitMessages(5);
}
