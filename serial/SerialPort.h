#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/MainThreadCall.h"
#include "platform/SerialDevice.h"
#include "serial/SerialCluster.h"

class TWorkThread;

// Communication events: CommEvent and the events the port reports.
inline constexpr std::uint32_t kEvRxChar = 0x0001;   // a byte was received
inline constexpr std::uint32_t kEvRxFlag = 0x0002;   // the event character was received
inline constexpr std::uint32_t kEvTxEmpty = 0x0004;  // the last byte written has left
inline constexpr std::uint32_t kEvCts = 0x0008;      // CTS changed
inline constexpr std::uint32_t kEvDsr = 0x0010;      // DSR changed
inline constexpr std::uint32_t kEvRlsd = 0x0020;     // carrier detect changed
inline constexpr std::uint32_t kEvBreak = 0x0040;    // a break was received
inline constexpr std::uint32_t kEvErr = 0x0080;      // a line error occurred
inline constexpr std::uint32_t kEvRing = 0x0100;     // ring indicator
inline constexpr std::uint32_t kEvAll = 0x01FF;

// Line error flags: CommError and TSerialCluster::ErrorFlags.
inline constexpr std::uint32_t kCeRxOver = 0x0001;    // the driver's input buffer overflowed
inline constexpr std::uint32_t kCeOverrun = 0x0002;   // the UART lost a byte
inline constexpr std::uint32_t kCeRxParity = 0x0004;  // parity error
inline constexpr std::uint32_t kCeFrame = 0x0008;     // framing error
inline constexpr std::uint32_t kCeBreak = 0x0010;     // break received

// ModemState bits.
inline constexpr std::uint32_t kMsCtsOn = platform::kModemCts;
inline constexpr std::uint32_t kMsDsrOn = platform::kModemDsr;
inline constexpr std::uint32_t kMsRingOn = platform::kModemRing;
inline constexpr std::uint32_t kMsRlsdOn = platform::kModemDcd;

// FlowControl bits (the classic device-control-block flag layout). Only the CTS/RTS handshake
// and XON/XOFF in either direction exist on Linux; the other bits are accepted and ignored.
inline constexpr std::int32_t kFlowCtsOut = 0x0004;
inline constexpr std::int32_t kFlowDsrOut = 0x0008;
inline constexpr std::int32_t kFlowDtrEnable = 0x0010;
inline constexpr std::int32_t kFlowDtrHandshake = 0x0020;
inline constexpr std::int32_t kFlowDsrSensitivity = 0x0040;
inline constexpr std::int32_t kFlowTxContinueOnXoff = 0x0080;
inline constexpr std::int32_t kFlowXonXoffOut = 0x0100;
inline constexpr std::int32_t kFlowXonXoffIn = 0x0200;
inline constexpr std::int32_t kFlowRtsEnable = 0x1000;
inline constexpr std::int32_t kFlowRtsHandshake = 0x2000;
inline constexpr std::int32_t kFlowRtsToggle = 0x3000;
inline constexpr std::int32_t kFlowAbortOnError = 0x4000;

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

// One serial port, opened for non-blocking I/O, with a worker thread that watches it and a queue
// of received chunks.
//
// Everything here is for the owner's thread (the application's main thread): properties,
// methods, the chunk queue and every event. The worker hands each received chunk, each port
// event and each report to that thread and waits until it has been handled there; the main
// thread serves these hand-overs while it dispatches messages (Delay included) and while the
// port closes. The component never throws: failures, warnings and progress go to
// OnProcessError(sender, place, code, text), where code is an errno value (0 for none) and a
// report passes only when its level (0 error, 1 warning, 2 message) is at most ErrorNoise.
//
// Writes: one write is in progress at a time; writes made meanwhile wait in a queue of at most
// kWriteQueueLimit bytes and go out in order. Only a write that does not fit is refused, with
// report 901. Each write ends with OnWriteDone; a write that the far end does not take within
// its time (bytes x WTOCharDelayTime us + WTOExtraDelayTime ms) ends short with report 9701.
// Closing lets queued and pending writes go out (within the same time) before the port closes.
//
// Event handlers may close, reopen or destroy the port; after a handler has destroyed it,
// nothing of the port is touched again.
class TSerialPort {
 public:
  using TNotifyEvent = std::function<void(TSerialPort& sender)>;
  using TNotifyErrorEvent = std::function<void(TSerialPort& sender, std::uint32_t place,
                                               std::uint32_t code, const std::string& msg)>;

  static constexpr std::size_t kWriteQueueLimit = 4096;

  // Without a device, the system's serial device. The worker starts at once, idle.
  explicit TSerialPort(std::unique_ptr<platform::SerialDevice> device = nullptr);
  ~TSerialPort();
  TSerialPort(const TSerialPort&) = delete;
  TSerialPort& operator=(const TSerialPort&) = delete;

  // The port name (up to 255 characters): an absolute path, "COMn" for /dev/ttyS<n-1>, or a name
  // under /dev. Another name reopens an open port on it.
  const std::string& CommPort() const { return commPort_; }
  void SetCommPort(const std::string& value);

  std::uint32_t BaudRate() const { return baudRate_; }
  void SetBaudRate(std::uint32_t value);
  std::uint8_t ParityType() const { return parityType_; }
  void SetParityType(std::uint8_t value);
  char ParityErrorChar() const { return parityErrorChar_; }
  void SetParityErrorChar(char value);
  bool ParityErrorReplacement() const { return parityErrorReplacement_; }
  void SetParityErrorReplacement(bool value);
  std::uint8_t StopBits() const { return stopBits_; }
  void SetStopBits(std::uint8_t value);
  std::uint8_t DataBits() const { return dataBits_; }
  void SetDataBits(std::uint8_t value);
  char XONChar() const { return xonChar_; }
  void SetXONChar(char value);
  char XOFFChar() const { return xoffChar_; }
  void SetXOFFChar(char value);
  std::uint8_t XONLimDiv() const { return xonLimDiv_; }
  void SetXONLimDiv(std::uint8_t value);
  std::uint8_t XOFFLimDiv() const { return xoffLimDiv_; }
  void SetXOFFLimDiv(std::uint8_t value);
  std::int32_t FlowControl() const { return flowControl_; }
  void SetFlowControl(std::int32_t value);
  bool StripNullChars() const { return stripNullChars_; }
  void SetStripNullChars(bool value);
  char EventChar() const { return eventChar_; }
  void SetEventChar(char value);

  std::uint32_t RTOCharDelayTime() const { return rtoCharDelayTime_; }
  void SetRTOCharDelayTime(std::uint32_t value);
  std::uint16_t RTOExtraDelayTime() const { return rtoExtraDelayTime_; }
  void SetRTOExtraDelayTime(std::uint16_t value);
  std::uint16_t ClusterSize() const { return clusterSize_; }
  void SetClusterSize(std::uint16_t value) { clusterSize_ = value; }
  std::uint16_t RxQueueSize() const { return rxQueueSize_; }
  void SetRxQueueSize(std::uint16_t value);
  std::uint16_t TxQueueSize() const { return txQueueSize_; }
  void SetTxQueueSize(std::uint16_t value);
  std::uint32_t WTOCharDelayTime() const { return wtoCharDelayTime_; }
  void SetWTOCharDelayTime(std::uint32_t value);
  std::uint16_t WTOExtraDelayTime() const { return wtoExtraDelayTime_; }
  void SetWTOExtraDelayTime(std::uint16_t value);
  bool XTOAuto() const { return xtoAuto_; }
  void SetXTOAuto(bool value);

  bool Active() const { return active_; }
  void SetActive(bool value);

  // Output lines and break: act only while the port is open; otherwise nothing changes.
  bool RTSState() const { return rtsState_; }
  void SetRTSState(bool value);
  bool DTRState() const { return dtrState_; }
  void SetDTRState(bool value);
  bool BREAKState() const { return breakState_; }
  void SetBREAKState(bool value);

  // Status kept by the worker.
  bool CTSState() const { return ctsState_; }
  bool DSRState() const { return dsrState_; }
  bool RLSDState() const { return rlsdState_; }
  bool RingState() const { return ringState_; }
  std::uint32_t CommError() const { return commError_; }
  TComStateFlags CommStateFlags() const { return commStateFlags_; }
  std::uint32_t CommStateInQueue() const { return commStateInQueue_; }
  std::uint32_t CommStateOutQueue() const { return commStateOutQueue_; }
  std::uint32_t ModemState() const { return modemState_; }
  std::uint32_t CommEvent() const { return commEvent_; }
  std::uint32_t WrittenBytes() const { return writtenBytes_; }
  bool SendInProgress() const { return sendInProgress_; }
  // The open device's descriptor; all ones while closed.
  std::uint32_t ComHandle() const;

  std::uint8_t ErrorNoise() const { return errorNoise_; }
  void SetErrorNoise(std::uint8_t value) { errorNoise_ = value; }
  // Asks the worker to read whatever waits at its next cycle; cleared by that read.
  bool ReadRequest() const { return readRequest_; }
  void SetReadRequest(bool value) { readRequest_ = value; }

  // Writes count bytes (see the class comment). OnWriteDone fires before the return when the
  // device takes them all at once. True when the bytes went out or wait in the queue; false when
  // they were refused (report 901 or 903).
  bool SendData(const void* buffer, std::uint32_t count);
  // SendData of the text; an empty text sends nothing and counts as taken.
  bool WriteText(const std::string& text);

  // The byte count of the oldest received chunk, -1 when none waits.
  std::int32_t PeekChunkSize() const;
  // Removes the oldest chunk and gives its bytes; the empty text when none waits.
  std::string TakeChunkText();
  // The oldest chunk, or nullptr; valid until it is taken.
  const TSerialCluster* PeekChunk() const;

  // Passes a report to OnProcessError unless the port is being destroyed or noise exceeds
  // ErrorNoise.
  void ReportError(std::uint32_t place, std::uint32_t code, std::uint8_t noise,
                   const std::string& msg);
  // Waits, 75 ms at a time and at most steps times, while the worker serves an open port,
  // running its hand-overs meanwhile.
  void WaitThreadIdle(int steps);

  TNotifyEvent OnCommEvent;
  TNotifyEvent OnCommStat;
  TNotifyEvent OnTxQueueEmptyEvent;
  TNotifyEvent OnWriteDone;
  TNotifyEvent OnBreakEvent;
  TNotifyEvent OnCTSEvent;
  TNotifyEvent OnDSREvent;
  TNotifyEvent OnLineErrorEvent;
  TNotifyEvent OnRingEvent;
  TNotifyEvent OnRLSDEvent;
  TNotifyEvent OnRxClusterEvent;
  TNotifyEvent OnRxCharEvent;
  TNotifyEvent OnRxEventCharEvent;
  TNotifyErrorEvent OnProcessError;

 private:
  friend class TWorkThread;

  enum class WriteStart { Done, Pending, Failed };

  void ReactivatePort(bool reopen);
  bool ClosePort(const std::weak_ptr<int>& alive);
  void OpenPort();
  void ApplyCommSettings();
  void CalcAutoTimeouts();
  bool DrainWrites(const std::weak_ptr<int>& alive);
  // A write is pending or the device still holds bytes that have not left.
  bool OutputWaiting();
  void SetModemLine(platform::ModemLine line, bool value, bool& state, std::uint32_t setPlace,
                    const char* setText, std::uint32_t clearPlace, const char* clearText);
  // Reports a failed modem-line call, but a device without modem lines only once per opening.
  void ReportModemLineError(std::uint32_t place, int code, const char* text);
  template <typename T>
  void SetDcbField(T& field, T value);
  // Under writeMutex_: hands data to the device as far as it takes it now.
  WriteStart StartWriteLocked(std::string data, int& error);
  void FireWriteDone();

  std::unique_ptr<platform::SerialDevice> device_;
  platform::MainThreadCall calls_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  // Settings. Those the worker reads are atomic.
  std::string commPort_ = "COM2";
  std::uint32_t baudRate_ = 9600;
  std::uint8_t parityType_ = 0;
  char parityErrorChar_ = 0;
  bool parityErrorReplacement_ = false;
  std::uint8_t stopBits_ = 0;
  std::uint8_t dataBits_ = 8;
  char xonChar_ = 17;
  char xoffChar_ = 19;
  std::uint8_t xonLimDiv_ = 33;
  std::uint8_t xoffLimDiv_ = 33;
  std::atomic<std::int32_t> flowControl_{0};
  std::atomic<bool> stripNullChars_{false};
  std::atomic<char> eventChar_{0};
  std::atomic<std::uint32_t> rtoCharDelayTime_{1100};
  std::atomic<std::uint16_t> rtoExtraDelayTime_{250};
  std::atomic<std::uint16_t> clusterSize_{3072};
  std::uint16_t rxQueueSize_ = 4096;
  std::uint16_t txQueueSize_ = 4096;
  std::atomic<std::uint32_t> wtoCharDelayTime_{1100};
  std::atomic<std::uint16_t> wtoExtraDelayTime_{250};
  bool xtoAuto_ = true;
  std::uint8_t errorNoise_ = 255;
  // XON/XOFF limits in bytes, as computed for the driver; Linux has fixed thresholds.
  std::uint32_t xonLim_ = 0;
  std::uint32_t xoffLim_ = 0;

  bool rtsState_ = true;
  bool dtrState_ = true;
  bool breakState_ = false;

  // Shared with the worker.
  std::atomic<bool> active_{false};
  std::atomic<bool> busy_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> destroying_{false};
  std::atomic<bool> readRequest_{false};
  std::atomic<std::uint64_t> openGeneration_{0};
  std::atomic<std::uint32_t> eventMask_{0};
  std::atomic<bool> modemLinesMissingReported_{false};  // reports 601/602 (the worker has its own)
  std::atomic<bool> txPending_{false};  // bytes went to the driver since the last kEvTxEmpty
  std::atomic<bool> ctsState_{false}, dsrState_{false}, rlsdState_{false}, ringState_{false};
  std::atomic<std::uint32_t> commError_{0};
  std::atomic<TComStateFlags> commStateFlags_{0};
  std::atomic<std::uint32_t> commStateInQueue_{0};
  std::atomic<std::uint32_t> commStateOutQueue_{0};
  std::atomic<std::uint32_t> modemState_{0};
  std::atomic<std::uint32_t> commEvent_{0};
  std::atomic<std::uint32_t> writtenBytes_{0};
  std::atomic<bool> sendInProgress_{false};
  std::atomic<int> lastWriteError_{0};

  // The write in progress and those waiting behind it; writeMutex_ guards them.
  std::mutex writeMutex_;
  std::string writeData_;
  std::size_t writeDone_ = 0;
  std::uint32_t writeStart_ = 0;
  int writeAbort_ = 0;  // errno that ends the write in progress at the worker's next look
  std::deque<std::string> writeQueue_;
  std::size_t queuedBytes_ = 0;

  // Main thread only.
  std::deque<std::shared_ptr<TSerialCluster>> chunks_;
  bool inReactivate_ = false;
  int handOverDepth_ = 0;  // hand-overs of this port's worker running on the main thread now

  std::unique_ptr<TWorkThread> worker_;
};
