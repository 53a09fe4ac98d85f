#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/MainThreadCall.h"
#include "platform/SerialDevice.h"
#include "serial/SerialCluster.h"

// The communication status flags, as bits of TComStateFlags.
enum TComStateFlag : std::uint32_t {
  fCtlHold = 1u << 0,   // output waits for CTS
  fDsrHold = 1u << 1,   // output waits for DSR
  fRlsHold = 1u << 2,   // output waits for carrier detect
  fXoffHold = 1u << 3,  // output waits after an XOFF received
  fXOffSent = 1u << 4,  // output waits after an XOFF sent
  fEof = 1u << 5,       // end-of-file character received
  fTxim = 1u << 6,      // a byte waits for immediate transmission
};
using TComStateFlags = std::uint32_t;

// Everything a serial port and its worker thread both touch, and nothing else. The port owns it
// and outlives the worker. Single values are atomic; the write in progress and the writes behind
// it are guarded by writeMutex. What only one side uses stays with that side.
struct TSerialShared {
  enum class WriteStart { Done, Pending, Failed };

  explicit TSerialShared(std::unique_ptr<platform::SerialDevice> dev) : device(std::move(dev)) {}

  // Under writeMutex: makes data the write in progress and hands the device as much of it as it
  // takes now. Done: all of it went (writtenBytes set); Pending: the worker carries it on
  // (sendInProgress set); Failed: error holds the errno.
  WriteStart StartWriteLocked(std::string data, int& error);

  const std::unique_ptr<platform::SerialDevice> device;
  // The worker's blocking hand-over to the port's thread; also wakes a port waiting for it.
  platform::MainThreadCall calls;

  // Settings the worker reads; the port writes them.
  std::atomic<std::int32_t> flowControl{0};
  std::atomic<bool> stripNullChars{false};
  std::atomic<char> eventChar{0};
  std::atomic<std::uint32_t> rtoCharDelayTime{1100};
  std::atomic<std::uint16_t> rtoExtraDelayTime{250};
  std::atomic<std::uint16_t> clusterSize{3072};
  std::atomic<std::uint32_t> wtoCharDelayTime{1100};
  std::atomic<std::uint16_t> wtoExtraDelayTime{250};

  // The port's requests.
  std::atomic<bool> active{false};
  std::atomic<bool> destroying{false};
  std::atomic<bool> readRequest{false};
  std::atomic<std::uint64_t> openGeneration{0};  // counts openings: the worker starts afresh
  std::atomic<std::uint32_t> eventMask{0};

  // The worker's state and the status it keeps.
  std::atomic<bool> busy{false};       // serving an open port
  std::atomic<bool> finished{false};   // the thread has ended
  std::atomic<bool> txPending{false};  // bytes went to the driver since the last kEvTxEmpty
  std::atomic<bool> ctsState{false}, dsrState{false}, rlsdState{false}, ringState{false};
  std::atomic<TComStateFlags> commStateFlags{0};
  std::atomic<std::uint32_t> commError{0}, modemState{0}, commEvent{0}, writtenBytes{0};
  std::atomic<std::uint32_t> commStateInQueue{0}, commStateOutQueue{0};
  std::atomic<bool> sendInProgress{false};
  std::atomic<int> lastWriteError{0};

  // The write in progress and those waiting behind it.
  std::mutex writeMutex;
  std::string writeData;
  std::size_t writeDone = 0;
  std::uint32_t writeStart = 0;
  int writeAbort = 0;  // errno that ends the write in progress at the worker's next look
  std::deque<std::string> writeQueue;
  std::size_t queuedBytes = 0;
};

// What the worker hands to its port. Each call blocks the worker until the port's thread has
// handled it, and returns false without handling it when the port is going away.
class ISerialPortEvents {
 public:
  virtual ~ISerialPortEvents() = default;
  // The status counts or flags changed: OnCommStat.
  virtual bool CommStatChanged() = 0;
  // A chunk was read: queued, then OnRxClusterEvent.
  virtual bool ChunkReceived(std::shared_ptr<TSerialCluster> chunk) = 0;
  // Port events (kEv... bits, already masked): their handlers, then OnCommEvent.
  virtual bool CommEventsOccurred(std::uint32_t mask) = 0;
  // A write ended: OnWriteDone.
  virtual bool WriteDone() = 0;
  // A worker report (level 0): OnProcessError.
  virtual bool WorkerReport(std::uint32_t place, int code, const std::string& text) = 0;
};
