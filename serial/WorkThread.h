#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <thread>

#include "platform/SerialDevice.h"
#include "serial/SerialShared.h"

// The worker thread of one TSerialPort. It sees the port only through the state they share and
// the port's hand-overs. While the port is open it cycles at most every 75 ms:
// it polls the modem lines, queue counts and line error counters, carries the write in
// progress on and times it out, decides when to read the input queue and reads it as one
// chunk, and derives the port's events from what changed. Chunks, events and reports go to the
// port's thread through its blocking hand-overs. While the port is closed it sleeps in steps
// of 200 ms. It ends when asked to, once the port is closed and no write is in progress.
class TWorkThread {
 public:
  TWorkThread(TSerialShared& shared, ISerialPortEvents& port);
  // Asks the thread to end and waits for it.
  ~TWorkThread();
  TWorkThread(const TWorkThread&) = delete;
  TWorkThread& operator=(const TWorkThread&) = delete;

  void Terminate();

 private:
  struct WriteOutcome {
    std::uint32_t place;  // 0 for none
    int code;
    const char* text;
    bool writeDone;  // fire OnWriteDone
    std::uint32_t written;
  };

  void Execute();
  void StartOfOpening();
  void PollLineStatus();
  void CheckWriteDone();
  void ReadInput();
  void CheckCommEvents();
  // Worker reports are errors (level 0). A failure that repeats with the same code is reported
  // once, until the call succeeds again.
  void Report(std::uint32_t place, int code, const char* text);
  void ReportFailure(std::uint32_t place, int code, const char* text);
  void ClearFailure(std::uint32_t place) { failing_.erase(place); }
  bool PortActive() const;

  TSerialShared& shared_;
  ISerialPortEvents& port_;
  platform::SerialDevice& device_;
  std::atomic<bool> terminated_{false};

  // State of the port being served (worker only).
  std::uint64_t generation_ = 0;
  bool fresh_ = true;  // the next poll takes the counters' starting point
  std::uint32_t lineErrors_ = 0;
  std::uint32_t inQueue_ = 0;
  std::uint32_t outQueue_ = 0;
  std::uint32_t modem_ = 0;
  bool haveModem_ = false;
  std::uint32_t prevModem_ = 0;
  bool haveCounters_ = false;
  bool countersReported_ = false;
  bool modemLinesMissingReported_ = false;  // report 9905 given this opening
  platform::SerialCounters counters_{};
  platform::SerialCounters errorBase_{};
  platform::SerialCounters eventBase_{};
  std::uint64_t bytesRead_ = 0;
  std::uint64_t rxTotal_ = 0;
  std::uint64_t prevRxTotal_ = 0;
  std::uint32_t pendingEvents_ = 0;
  std::uint32_t quietSince_ = 0;
  std::map<std::uint32_t, int> failing_;

  std::thread thread_;  // last: starts once everything above is ready
};
