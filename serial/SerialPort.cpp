#include "serial/SerialPort.h"

#include <errno.h>

#include "platform/Tick.h"
#include "serial/WorkThread.h"

namespace {

// Flag bits of the device-control-block word that the component sets itself.
constexpr std::int32_t kDcbBinary = 0x0001;
constexpr std::int32_t kDcbParity = 0x0002;
constexpr std::int32_t kDcbErrorChar = 0x0400;
constexpr std::int32_t kDcbNull = 0x0800;

constexpr std::uint32_t kStepMs = 75;
constexpr std::size_t kMaxPortName = 255;

struct AutoTime {
  std::uint32_t baud;
  std::uint32_t micros;
};

constexpr AutoTime kAutoTimes[] = {
    {110, 100000}, {300, 37000}, {600, 18000}, {1200, 9000}, {2400, 4500},
    {4800, 2300},  {9600, 1100}, {14400, 760}, {19200, 570}, {38400, 290},
    {56000, 200},  {57600, 190}, {115200, 95}, {128000, 85}, {256000, 43},
};

}  // namespace

TSerialPort::TSerialPort(std::unique_ptr<platform::SerialDevice> device)
    : shared_(device ? std::move(device) : platform::CreateSerialDevice()),
      device_(*shared_.device) {
  int err = device_.Init();
  if (err != 0)
    ReportError(1001, static_cast<std::uint32_t>(err), 0, "Error Creating Overlapped Event");
  worker_ = std::make_unique<TWorkThread>(shared_, static_cast<ISerialPortEvents&>(*this));
}

TSerialPort::~TSerialPort() {
  shared_.destroying = true;
  shared_.calls.Cancel();
  if (device_.IsOpen()) ReactivatePort(false);
  shared_.active = false;
  worker_->Terminate();
  WaitThreadIdle(10);
  worker_.reset();
}

// ---- properties ----

void TSerialPort::SetCommPort(const std::string& value) {
  std::string name = value.substr(0, kMaxPortName);
  if (name == commPort_) return;
  commPort_ = name;
  ReactivatePort(shared_.active);
}

void TSerialPort::SetBaudRate(std::uint32_t value) {
  bool changed = value != baudRate_;
  baudRate_ = value;
  if (xtoAuto_) CalcAutoTimeouts();
  // A new rate takes effect at once, also while the port is open.
  if (changed && device_.IsOpen()) ApplyCommSettings();
}

template <typename T>
void TSerialPort::SetDcbField(T& field, T value) {
  if (field == value) return;
  field = value;
  if (device_.IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetParityType(std::uint8_t value) {
  SetDcbField(parityType_, value);
}
void TSerialPort::SetParityErrorChar(char value) {
  SetDcbField(parityErrorChar_, value);
}
void TSerialPort::SetParityErrorReplacement(bool value) {
  SetDcbField(parityErrorReplacement_, value);
}
void TSerialPort::SetStopBits(std::uint8_t value) {
  SetDcbField(stopBits_, value);
}
void TSerialPort::SetDataBits(std::uint8_t value) {
  SetDcbField(dataBits_, value);
}
void TSerialPort::SetXONChar(char value) {
  SetDcbField(xonChar_, value);
}
void TSerialPort::SetXOFFChar(char value) {
  SetDcbField(xoffChar_, value);
}

void TSerialPort::SetXONLimDiv(std::uint8_t value) {
  if (value > 100) {
    ReportError(100, value, 1, "Warning XOnLimDef set to 100");
    value = 100;
  }
  SetDcbField(xonLimDiv_, value);
}

void TSerialPort::SetXOFFLimDiv(std::uint8_t value) {
  if (value > 100) {
    ReportError(100, value, 1, "Warning XOffLimDef set to 100");
    value = 100;
  }
  SetDcbField(xoffLimDiv_, value);
}

void TSerialPort::SetFlowControl(std::int32_t value) {
  if (shared_.flowControl == value) return;
  shared_.flowControl = value;
  if (device_.IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetStripNullChars(bool value) {
  if (shared_.stripNullChars == value) return;
  shared_.stripNullChars = value;
  if (device_.IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetEventChar(char value) {
  if (shared_.eventChar == value) return;
  shared_.eventChar = value;
  if (device_.IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetRTOCharDelayTime(std::uint32_t value) {
  shared_.rtoCharDelayTime = value;
}
void TSerialPort::SetRTOExtraDelayTime(std::uint16_t value) {
  shared_.rtoExtraDelayTime = value;
}

void TSerialPort::SetWTOCharDelayTime(std::uint32_t value) {
  if (shared_.wtoCharDelayTime == value) return;
  shared_.wtoCharDelayTime = value;
  if (device_.IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetWTOExtraDelayTime(std::uint16_t value) {
  if (shared_.wtoExtraDelayTime == value) return;
  shared_.wtoExtraDelayTime = value;
  if (device_.IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetRxQueueSize(std::uint16_t value) {
  if (value == rxQueueSize_) return;
  rxQueueSize_ = value;
  int err = device_.SetupQueues(rxQueueSize_, txQueueSize_);
  if (err != 0) ReportError(101, static_cast<std::uint32_t>(err), 0, "Error can not set Quesize");
}

void TSerialPort::SetTxQueueSize(std::uint16_t value) {
  if (value == txQueueSize_) return;
  txQueueSize_ = value;
  int err = device_.SetupQueues(rxQueueSize_, txQueueSize_);
  if (err != 0) ReportError(102, static_cast<std::uint32_t>(err), 0, "Error can not set Quesize");
}

void TSerialPort::SetXTOAuto(bool value) {
  bool switchedOn = value && !xtoAuto_;
  xtoAuto_ = value;
  if (switchedOn) CalcAutoTimeouts();
}

void TSerialPort::SetActive(bool value) {
  if (value == shared_.active) return;
  ReactivatePort(value);
}

void TSerialPort::SetRTSState(bool value) {
  SetModemLine(platform::ModemLine::Rts, value, rtsState_, 501, "Error setting RTS", 502,
               "Error clearing RTS");
}

void TSerialPort::SetDTRState(bool value) {
  SetModemLine(platform::ModemLine::Dtr, value, dtrState_, 601, "Error setting DTR", 602,
               "Error clearing DTR");
}

void TSerialPort::SetBREAKState(bool value) {
  if (!device_.IsOpen()) return;
  int err = device_.SetBreak(value);
  if (err != 0) {
    ReportError(value ? 701 : 702, static_cast<std::uint32_t>(err), 0,
                value ? "Error setting BREAK State" : "Error clearing BREAK State");
  }
  breakState_ = value;
}

void TSerialPort::SetModemLine(platform::ModemLine line, bool value, bool& state,
                               std::uint32_t setPlace, const char* setText,
                               std::uint32_t clearPlace, const char* clearText) {
  if (!device_.IsOpen()) return;
  int err = device_.SetModemLine(line, value);
  if (err != 0)
    ReportModemLineError(value ? setPlace : clearPlace, err, value ? setText : clearText);
  state = value;
}

void TSerialPort::ReportModemLineError(std::uint32_t place, int code, const char* text) {
  const bool noModemLines = code == ENOTTY || code == EINVAL;
  if (noModemLines && modemLinesMissingReported_) return;
  if (noModemLines) modemLinesMissingReported_ = true;
  ReportError(place, static_cast<std::uint32_t>(code), 0, text);
}

std::uint32_t TSerialPort::ComHandle() const {
  int fd = device_.Handle();
  return fd < 0 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(fd);
}

// ---- opening and closing ----

namespace {

// Marks a reactivation as under way, unless the port was destroyed meanwhile.
class ReactivateGuard {
 public:
  ReactivateGuard(bool& flag, std::weak_ptr<int> alive)
      : flag_(flag), alive_(std::move(alive)), outer_(!flag) {
    flag_ = true;
  }
  ~ReactivateGuard() {
    if (outer_ && !alive_.expired()) flag_ = false;
  }

 private:
  bool& flag_;
  std::weak_ptr<int> alive_;
  bool outer_;
};

}  // namespace

void TSerialPort::ReactivatePort(bool reopen) {
  // A handler that runs while the port closes cannot open or close it again meanwhile; only
  // destruction goes on.
  if (inReactivate_ && !shared_.destroying) return;
  std::weak_ptr<int> alive = alive_;
  ReactivateGuard guard(inReactivate_, alive);
  if (device_.IsOpen()) {
    ReportError(100, 0, 2, "Msg start deactivating Port");
    if (!ClosePort(alive)) return;
  }
  if (reopen) OpenPort();
}

bool TSerialPort::ClosePort(const std::weak_ptr<int>& alive) {
  // Inside a hand-over of our own worker, the worker waits for us: it can neither finish writes
  // nor go idle before we return.
  const bool parked = handOverDepth_ > 0;
  if (!parked && !DrainWrites(alive)) return false;

  // What the device has taken stays for the far end (the peer of a pseudo-terminal may not have
  // read it yet); only output that could not leave in its time is discarded, so that the close
  // never waits on a stalled line.
  const bool stalled = OutputWaiting();
  shared_.eventMask = 0;
  shared_.active = false;
  device_.Wake();
  int err = device_.Purge(true, stalled);
  if (err != 0) ReportError(102, static_cast<std::uint32_t>(err), 0, "Error clearing Queues");
  {
    std::lock_guard lock(shared_.writeMutex);
    if (shared_.sendInProgress) shared_.writeAbort = ECANCELED;
    shared_.writeQueue.clear();
    shared_.queuedBytes = 0;
  }
  device_.Wake();
  if (!parked) {
    WaitThreadIdle(15);
    if (alive.expired()) return false;
    if (shared_.busy) ReportError(104, 0, 1, "Warning ThreadIsRunning");
  }
  SetDTRState(false);
  SetRTSState(false);
  err = device_.Close();
  if (err != 0) ReportError(103, static_cast<std::uint32_t>(err), 0, "Error closing Port");
  return true;
}

bool TSerialPort::DrainWrites(const std::weak_ptr<int>& alive) {
  std::uint64_t waiting = 0;
  {
    std::lock_guard lock(shared_.writeMutex);
    if (shared_.sendInProgress)
      waiting = shared_.writeData.size() - shared_.writeDone + shared_.queuedBytes;
  }
  std::uint32_t in = 0, out = 0;
  if (device_.GetQueues(in, out) == 0) waiting += out;
  if (waiting == 0) return true;
  const std::uint64_t limit = waiting * shared_.wtoCharDelayTime / 1000 + shared_.wtoExtraDelayTime;
  const std::uint32_t start = platform::GetTickCount();
  auto drained = [this, &alive] { return alive.expired() || !OutputWaiting(); };
  while (!shared_.calls.ServeUntil(drained, 20)) {
    if (platform::GetTickCount() - start > limit) break;
  }
  return !alive.expired();
}

bool TSerialPort::OutputWaiting() {
  if (shared_.sendInProgress) return true;
  std::uint32_t in = 0, out = 0;
  return device_.GetQueues(in, out) == 0 && out > 0;
}

void TSerialPort::OpenPort() {
  ReportError(110, 0, 2, "Msg start reactivating Port");
  int err = device_.Open(platform::SerialDevicePath(commPort_));
  if (err != 0) {
    shared_.active = false;
    ReportError(112, static_cast<std::uint32_t>(err), 0, "Error reopening Port");
    return;
  }
  modemLinesMissingReported_ = false;
  shared_.txPending = false;
  ++shared_.openGeneration;
  shared_.active = true;
  err = device_.SetupQueues(rxQueueSize_, txQueueSize_);
  if (err != 0) ReportError(111, static_cast<std::uint32_t>(err), 0, "Error setup Queuesize");
  ApplyCommSettings();
  SetDTRState(true);
  SetRTSState(true);
  shared_.eventMask = kEvAll;
  device_.Wake();
}

void TSerialPort::ApplyCommSettings() {
  platform::SerialSettings s;
  int err = device_.GetSettings(s);
  if (err != 0) {
    ReportError(801, static_cast<std::uint32_t>(err), 0, "Error getting DCB from CommState");
    return;
  }
  std::int32_t flags = kDcbBinary | shared_.flowControl;
  if (parityType_ != 0) flags |= kDcbParity;
  if (parityErrorReplacement_) flags |= kDcbErrorChar;
  if (shared_.stripNullChars) flags |= kDcbNull;

  s.baudRate = baudRate_;
  s.dataBits = dataBits_;
  s.parity = parityType_;
  s.stopBits = stopBits_;
  // Linux replaces a byte received with an error by NUL only; other replacement characters and
  // the null stripping (done by the worker) have no driver counterpart.
  s.replaceErrors = (flags & kDcbParity) && (flags & kDcbErrorChar);
  s.ctsFlow = (flags & kFlowCtsOut) || (flags & kFlowRtsToggle) == kFlowRtsHandshake;
  s.xonXoffOut = (flags & kFlowXonXoffOut) != 0;
  s.xonXoffIn = (flags & kFlowXonXoffIn) != 0;
  s.xonChar = xonChar_;
  s.xoffChar = xoffChar_;
  xonLim_ = static_cast<std::uint32_t>(rxQueueSize_) * xonLimDiv_ / 100;
  xoffLim_ = static_cast<std::uint32_t>(rxQueueSize_) * xoffLimDiv_ / 100;

  err = device_.SetReadsReturnAtOnce();
  if (err != 0) ReportError(802, static_cast<std::uint32_t>(err), 0, "Error setting CommTimeout");
  err = device_.SetSettings(s);
  if (err != 0) {
    ReportError(802, static_cast<std::uint32_t>(err), 0,
                "Error setting CommState, 87 indicate that Parms are incorrect");
  }
}

void TSerialPort::CalcAutoTimeouts() {
  std::uint32_t micros = 1100;
  for (const auto& row : kAutoTimes)
    if (row.baud <= baudRate_) micros = row.micros;
  shared_.rtoCharDelayTime = micros;
  shared_.wtoCharDelayTime = micros;
}

// ---- writing ----

bool TSerialPort::SendData(const void* buffer, std::uint32_t count) {
  const char* bytes = static_cast<const char*>(buffer);
  TSerialShared::WriteStart result;
  int error = 0;
  {
    std::lock_guard lock(shared_.writeMutex);
    if (shared_.sendInProgress) {
      if (shared_.queuedBytes + count <= kWriteQueueLimit) {
        shared_.writeQueue.emplace_back(bytes, count);
        shared_.queuedBytes += count;
        return true;
      }
      result = TSerialShared::WriteStart::Failed;
    } else {
      result = shared_.StartWriteLocked(std::string(bytes, count), error);
    }
  }
  switch (result) {
    case TSerialShared::WriteStart::Pending:
      device_.Wake();
      return true;
    case TSerialShared::WriteStart::Done:
      FireWriteDone();
      return true;
    case TSerialShared::WriteStart::Failed:
      break;
  }
  if (error == 0) {
    ReportError(901, 0, 2, "Msg, dont enter SendData while SendInProgress is set");
  } else {
    ReportError(903, static_cast<std::uint32_t>(error), 0, "Error writing Data");
  }
  return false;
}

bool TSerialPort::WriteText(const std::string& text) {
  if (text.empty()) return true;
  return SendData(text.data(), static_cast<std::uint32_t>(text.size()));
}

void TSerialPort::FireWriteDone() {
  if (shared_.destroying) return;
  auto handler = OnWriteDone;
  if (handler) handler(*this);
}

// ---- the worker's hand-overs ----

bool TSerialPort::HandOver(std::function<void()> call) {
  if (shared_.destroying) return false;
  std::weak_ptr<int> alive = alive_;
  return shared_.calls.Run([this, alive, call = std::move(call)] {
    ++handOverDepth_;
    call();
    if (!alive.expired()) --handOverDepth_;
  });
}

bool TSerialPort::CommStatChanged() {
  return HandOver([this] {
    if (shared_.destroying) return;
    auto handler = OnCommStat;
    if (handler) handler(*this);
  });
}

bool TSerialPort::ChunkReceived(std::shared_ptr<TSerialCluster> chunk) {
  return HandOver([this, chunk = std::move(chunk)] {
    if (shared_.destroying) return;
    chunks_.push_back(chunk);
    auto handler = OnRxClusterEvent;
    if (handler) handler(*this);
  });
}

bool TSerialPort::CommEventsOccurred(std::uint32_t mask) {
  shared_.commEvent = mask;
  std::weak_ptr<int> alive = alive_;
  return HandOver([this, alive, mask] {
    using Member = TNotifyEvent TSerialPort::*;
    static const struct {
      std::uint32_t bit;
      Member event;
    } kOrder[] = {
        {kEvBreak, &TSerialPort::OnBreakEvent},
        {kEvCts, &TSerialPort::OnCTSEvent},
        {kEvDsr, &TSerialPort::OnDSREvent},
        {kEvErr, &TSerialPort::OnLineErrorEvent},
        {kEvRing, &TSerialPort::OnRingEvent},
        {kEvRlsd, &TSerialPort::OnRLSDEvent},
        {kEvRxChar, &TSerialPort::OnRxCharEvent},
        {kEvRxFlag, &TSerialPort::OnRxEventCharEvent},
        {kEvTxEmpty, &TSerialPort::OnTxQueueEmptyEvent},
    };
    // A handler may destroy the port: nothing of it is touched after that.
    auto fire = [&](Member event) {
      if (alive.expired() || shared_.destroying) return false;
      auto handler = this->*event;
      if (handler) handler(*this);
      return true;
    };
    for (const auto& e : kOrder)
      if ((mask & e.bit) && !fire(e.event)) return;
    if (mask != 0) fire(&TSerialPort::OnCommEvent);
  });
}

bool TSerialPort::WriteDone() {
  return HandOver([this] { FireWriteDone(); });
}

bool TSerialPort::WorkerReport(std::uint32_t place, int code, const std::string& text) {
  return HandOver(
      [this, place, code, text] { ReportError(place, static_cast<std::uint32_t>(code), 0, text); });
}

// ---- chunks and reports ----

std::int32_t TSerialPort::PeekChunkSize() const {
  if (chunks_.empty()) return -1;
  return static_cast<std::int32_t>(chunks_.front()->Size());
}

std::string TSerialPort::TakeChunkText() {
  if (chunks_.empty()) return std::string();
  std::string text = chunks_.front()->Text();
  chunks_.pop_front();
  return text;
}

const TSerialCluster* TSerialPort::PeekChunk() const {
  return chunks_.empty() ? nullptr : chunks_.front().get();
}

void TSerialPort::ReportError(std::uint32_t place, std::uint32_t code, std::uint8_t noise,
                              const std::string& msg) {
  if (shared_.destroying || noise > errorNoise_) return;
  auto handler = OnProcessError;
  if (handler) handler(*this, place, code, msg);
}

void TSerialPort::WaitThreadIdle(int steps) {
  std::weak_ptr<int> alive = alive_;
  auto idle = [this, &alive] { return alive.expired() || !shared_.busy; };
  for (int i = 0; i < steps; ++i) {
    if (shared_.calls.ServeUntil(idle, kStepMs)) return;
  }
}
