#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "platform/SerialDevice.h"
#include "serial/SerialCluster.h"
#include "serial/SerialShared.h"

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
class TSerialPort : private ISerialPortEvents {
 public:
  using TNotifyEvent = std::function<void(TSerialPort& sender)>;
  using TNotifyErrorEvent = std::function<void(TSerialPort& sender, std::uint32_t place,
                                               std::uint32_t code, const std::string& msg)>;

  static constexpr std::size_t kWriteQueueLimit = 4096;

  // Without a device, the system's serial device. The worker starts at once, idle.
  explicit TSerialPort(std::unique_ptr<platform::SerialDevice> device = nullptr);
  ~TSerialPort() override;
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
  std::int32_t FlowControl() const { return shared_.flowControl; }
  void SetFlowControl(std::int32_t value);
  bool StripNullChars() const { return shared_.stripNullChars; }
  void SetStripNullChars(bool value);
  char EventChar() const { return shared_.eventChar; }
  void SetEventChar(char value);

  std::uint32_t RTOCharDelayTime() const { return shared_.rtoCharDelayTime; }
  void SetRTOCharDelayTime(std::uint32_t value);
  std::uint16_t RTOExtraDelayTime() const { return shared_.rtoExtraDelayTime; }
  void SetRTOExtraDelayTime(std::uint16_t value);
  std::uint16_t ClusterSize() const { return shared_.clusterSize; }
  void SetClusterSize(std::uint16_t value) { shared_.clusterSize = value; }
  std::uint16_t RxQueueSize() const { return rxQueueSize_; }
  void SetRxQueueSize(std::uint16_t value);
  std::uint16_t TxQueueSize() const { return txQueueSize_; }
  void SetTxQueueSize(std::uint16_t value);
  std::uint32_t WTOCharDelayTime() const { return shared_.wtoCharDelayTime; }
  void SetWTOCharDelayTime(std::uint32_t value);
  std::uint16_t WTOExtraDelayTime() const { return shared_.wtoExtraDelayTime; }
  void SetWTOExtraDelayTime(std::uint16_t value);
  bool XTOAuto() const { return xtoAuto_; }
  void SetXTOAuto(bool value);

  bool Active() const { return shared_.active; }
  void SetActive(bool value);

  // Output lines and break: act only while the port is open; otherwise nothing changes.
  bool RTSState() const { return rtsState_; }
  void SetRTSState(bool value);
  bool DTRState() const { return dtrState_; }
  void SetDTRState(bool value);
  bool BREAKState() const { return breakState_; }
  void SetBREAKState(bool value);

  // Status kept by the worker.
  bool CTSState() const { return shared_.ctsState; }
  bool DSRState() const { return shared_.dsrState; }
  bool RLSDState() const { return shared_.rlsdState; }
  bool RingState() const { return shared_.ringState; }
  std::uint32_t CommError() const { return shared_.commError; }
  TComStateFlags CommStateFlags() const { return shared_.commStateFlags; }
  std::uint32_t CommStateInQueue() const { return shared_.commStateInQueue; }
  std::uint32_t CommStateOutQueue() const { return shared_.commStateOutQueue; }
  std::uint32_t ModemState() const { return shared_.modemState; }
  std::uint32_t CommEvent() const { return shared_.commEvent; }
  std::uint32_t WrittenBytes() const { return shared_.writtenBytes; }
  bool SendInProgress() const { return shared_.sendInProgress; }
  // The open device's descriptor; all ones while closed.
  std::uint32_t ComHandle() const;

  std::uint8_t ErrorNoise() const { return errorNoise_; }
  void SetErrorNoise(std::uint8_t value) { errorNoise_ = value; }
  // Asks the worker to read whatever waits at its next cycle; cleared by that read.
  bool ReadRequest() const { return shared_.readRequest; }
  void SetReadRequest(bool value) { shared_.readRequest = value; }

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
  // The worker's hand-overs (see ISerialPortEvents), run on the owner's thread.
  bool CommStatChanged() override;
  bool ChunkReceived(std::shared_ptr<TSerialCluster> chunk) override;
  bool CommEventsOccurred(std::uint32_t mask) override;
  bool WriteDone() override;
  bool WorkerReport(std::uint32_t place, int code, const std::string& text) override;
  // Any thread: runs call on the owner's thread and waits for it (false when not run).
  bool HandOver(std::function<void()> call);

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
  void FireWriteDone();

  TSerialShared shared_;
  platform::SerialDevice& device_;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  // Settings only the owner's thread uses.
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
  std::uint16_t rxQueueSize_ = 4096;
  std::uint16_t txQueueSize_ = 4096;
  bool xtoAuto_ = true;
  std::uint8_t errorNoise_ = 255;
  // XON/XOFF limits in bytes, as computed for the driver; Linux has fixed thresholds.
  std::uint32_t xonLim_ = 0;
  std::uint32_t xoffLim_ = 0;

  bool rtsState_ = true;
  bool dtrState_ = true;
  bool breakState_ = false;

  // Owner's thread only.
  bool modemLinesMissingReported_ = false;  // reports 601/602 (the worker has its own)
  std::deque<std::shared_ptr<TSerialCluster>> chunks_;
  bool inReactivate_ = false;
  int handOverDepth_ = 0;  // hand-overs of this port's worker running on the main thread now

  std::unique_ptr<TWorkThread> worker_;
};
