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
    : device_(device ? std::move(device) : platform::CreateSerialDevice()) {
  int err = device_->Init();
  if (err != 0)
    ReportError(1001, static_cast<std::uint32_t>(err), 0, "Error Creating Overlapped Event");
  worker_ = std::make_unique<TWorkThread>(*this);
}

TSerialPort::~TSerialPort() {
  destroying_ = true;
  calls_.Cancel();
  if (device_->IsOpen()) ReactivatePort(false);
  active_ = false;
  worker_->Terminate();
  WaitThreadIdle(10);
  worker_.reset();
}

// ---- properties ----

void TSerialPort::SetCommPort(const std::string& value) {
  std::string name = value.substr(0, kMaxPortName);
  if (name == commPort_) return;
  commPort_ = name;
  ReactivatePort(active_);
}

void TSerialPort::SetBaudRate(std::uint32_t value) {
  bool changed = value != baudRate_;
  baudRate_ = value;
  if (xtoAuto_) CalcAutoTimeouts();
  // A new rate takes effect at once, also while the port is open.
  if (changed && device_->IsOpen()) ApplyCommSettings();
}

template <typename T>
void TSerialPort::SetDcbField(T& field, T value) {
  if (field == value) return;
  field = value;
  if (device_->IsOpen()) ApplyCommSettings();
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
  if (flowControl_ == value) return;
  flowControl_ = value;
  if (device_->IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetStripNullChars(bool value) {
  if (stripNullChars_ == value) return;
  stripNullChars_ = value;
  if (device_->IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetEventChar(char value) {
  if (eventChar_ == value) return;
  eventChar_ = value;
  if (device_->IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetRTOCharDelayTime(std::uint32_t value) {
  rtoCharDelayTime_ = value;
}
void TSerialPort::SetRTOExtraDelayTime(std::uint16_t value) {
  rtoExtraDelayTime_ = value;
}

void TSerialPort::SetWTOCharDelayTime(std::uint32_t value) {
  if (wtoCharDelayTime_ == value) return;
  wtoCharDelayTime_ = value;
  if (device_->IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetWTOExtraDelayTime(std::uint16_t value) {
  if (wtoExtraDelayTime_ == value) return;
  wtoExtraDelayTime_ = value;
  if (device_->IsOpen()) ApplyCommSettings();
}

void TSerialPort::SetRxQueueSize(std::uint16_t value) {
  if (value == rxQueueSize_) return;
  rxQueueSize_ = value;
  int err = device_->SetupQueues(rxQueueSize_, txQueueSize_);
  if (err != 0) ReportError(101, static_cast<std::uint32_t>(err), 0, "Error can not set Quesize");
}

void TSerialPort::SetTxQueueSize(std::uint16_t value) {
  if (value == txQueueSize_) return;
  txQueueSize_ = value;
  int err = device_->SetupQueues(rxQueueSize_, txQueueSize_);
  if (err != 0) ReportError(102, static_cast<std::uint32_t>(err), 0, "Error can not set Quesize");
}

void TSerialPort::SetXTOAuto(bool value) {
  bool switchedOn = value && !xtoAuto_;
  xtoAuto_ = value;
  if (switchedOn) CalcAutoTimeouts();
}

void TSerialPort::SetActive(bool value) {
  if (value == active_) return;
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
  if (!device_->IsOpen()) return;
  int err = device_->SetBreak(value);
  if (err != 0) {
    ReportError(value ? 701 : 702, static_cast<std::uint32_t>(err), 0,
                value ? "Error setting BREAK State" : "Error clearing BREAK State");
  }
  breakState_ = value;
}

void TSerialPort::SetModemLine(platform::ModemLine line, bool value, bool& state,
                               std::uint32_t setPlace, const char* setText,
                               std::uint32_t clearPlace, const char* clearText) {
  if (!device_->IsOpen()) return;
  int err = device_->SetModemLine(line, value);
  if (err != 0)
    ReportModemLineError(value ? setPlace : clearPlace, err, value ? setText : clearText);
  state = value;
}

void TSerialPort::ReportModemLineError(std::uint32_t place, int code, const char* text) {
  if ((code == ENOTTY || code == EINVAL) && modemLinesMissingReported_.exchange(true)) return;
  ReportError(place, static_cast<std::uint32_t>(code), 0, text);
}

std::uint32_t TSerialPort::ComHandle() const {
  int fd = device_->Handle();
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
  if (inReactivate_ && !destroying_) return;
  std::weak_ptr<int> alive = alive_;
  ReactivateGuard guard(inReactivate_, alive);
  if (device_->IsOpen()) {
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
  eventMask_ = 0;
  active_ = false;
  device_->Wake();
  int err = device_->Purge(true, stalled);
  if (err != 0) ReportError(102, static_cast<std::uint32_t>(err), 0, "Error clearing Queues");
  {
    std::lock_guard lock(writeMutex_);
    if (sendInProgress_) writeAbort_ = ECANCELED;
    writeQueue_.clear();
    queuedBytes_ = 0;
  }
  device_->Wake();
  if (!parked) {
    WaitThreadIdle(15);
    if (alive.expired()) return false;
    if (busy_) ReportError(104, 0, 1, "Warning ThreadIsRunning");
  }
  SetDTRState(false);
  SetRTSState(false);
  err = device_->Close();
  if (err != 0) ReportError(103, static_cast<std::uint32_t>(err), 0, "Error closing Port");
  return true;
}

bool TSerialPort::DrainWrites(const std::weak_ptr<int>& alive) {
  std::uint64_t waiting = 0;
  {
    std::lock_guard lock(writeMutex_);
    if (sendInProgress_) waiting = writeData_.size() - writeDone_ + queuedBytes_;
  }
  std::uint32_t in = 0, out = 0;
  if (device_->GetQueues(in, out) == 0) waiting += out;
  if (waiting == 0) return true;
  const std::uint64_t limit = waiting * wtoCharDelayTime_ / 1000 + wtoExtraDelayTime_;
  const std::uint32_t start = platform::GetTickCount();
  auto drained = [this, &alive] { return alive.expired() || !OutputWaiting(); };
  while (!calls_.ServeUntil(drained, 20)) {
    if (platform::GetTickCount() - start > limit) break;
  }
  return !alive.expired();
}

bool TSerialPort::OutputWaiting() {
  if (sendInProgress_) return true;
  std::uint32_t in = 0, out = 0;
  return device_->GetQueues(in, out) == 0 && out > 0;
}

void TSerialPort::OpenPort() {
  ReportError(110, 0, 2, "Msg start reactivating Port");
  int err = device_->Open(platform::SerialDevicePath(commPort_));
  if (err != 0) {
    active_ = false;
    ReportError(112, static_cast<std::uint32_t>(err), 0, "Error reopening Port");
    return;
  }
  modemLinesMissingReported_ = false;
  txPending_ = false;
  ++openGeneration_;
  active_ = true;
  err = device_->SetupQueues(rxQueueSize_, txQueueSize_);
  if (err != 0) ReportError(111, static_cast<std::uint32_t>(err), 0, "Error setup Queuesize");
  ApplyCommSettings();
  SetDTRState(true);
  SetRTSState(true);
  eventMask_ = kEvAll;
  device_->Wake();
}

void TSerialPort::ApplyCommSettings() {
  platform::SerialSettings s;
  int err = device_->GetSettings(s);
  if (err != 0) {
    ReportError(801, static_cast<std::uint32_t>(err), 0, "Error getting DCB from CommState");
    return;
  }
  std::int32_t flags = kDcbBinary | flowControl_;
  if (parityType_ != 0) flags |= kDcbParity;
  if (parityErrorReplacement_) flags |= kDcbErrorChar;
  if (stripNullChars_) flags |= kDcbNull;

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

  err = device_->SetReadsReturnAtOnce();
  if (err != 0) ReportError(802, static_cast<std::uint32_t>(err), 0, "Error setting CommTimeout");
  err = device_->SetSettings(s);
  if (err != 0) {
    ReportError(802, static_cast<std::uint32_t>(err), 0,
                "Error setting CommState, 87 indicate that Parms are incorrect");
  }
}

void TSerialPort::CalcAutoTimeouts() {
  std::uint32_t micros = 1100;
  for (const auto& row : kAutoTimes)
    if (row.baud <= baudRate_) micros = row.micros;
  rtoCharDelayTime_ = micros;
  wtoCharDelayTime_ = micros;
}

// ---- writing ----

TSerialPort::WriteStart TSerialPort::StartWriteLocked(std::string data, int& error) {
  writeData_ = std::move(data);
  writeDone_ = 0;
  writeAbort_ = 0;
  writeStart_ = platform::GetTickCount();
  std::size_t moved = 0;
  int err = device_->Write(writeData_.data(), writeData_.size(), moved);
  if (err == EAGAIN || err == EINTR) err = 0;
  if (err != 0) {
    error = err;
    lastWriteError_ = err;
    writeData_.clear();
    return WriteStart::Failed;
  }
  if (moved > 0) txPending_ = true;
  writeDone_ = moved;
  if (writeDone_ == writeData_.size()) {
    writtenBytes_ = static_cast<std::uint32_t>(moved);
    writeData_.clear();
    writeDone_ = 0;
    return WriteStart::Done;
  }
  sendInProgress_ = true;
  return WriteStart::Pending;
}

bool TSerialPort::SendData(const void* buffer, std::uint32_t count) {
  const char* bytes = static_cast<const char*>(buffer);
  WriteStart result;
  int error = 0;
  {
    std::lock_guard lock(writeMutex_);
    if (sendInProgress_) {
      if (queuedBytes_ + count <= kWriteQueueLimit) {
        writeQueue_.emplace_back(bytes, count);
        queuedBytes_ += count;
        return true;
      }
      result = WriteStart::Failed;
    } else {
      result = StartWriteLocked(std::string(bytes, count), error);
    }
  }
  switch (result) {
    case WriteStart::Pending:
      device_->Wake();
      return true;
    case WriteStart::Done:
      FireWriteDone();
      return true;
    case WriteStart::Failed:
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
  if (destroying_) return;
  auto handler = OnWriteDone;
  if (handler) handler(*this);
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
  if (destroying_ || noise > errorNoise_) return;
  auto handler = OnProcessError;
  if (handler) handler(*this, place, code, msg);
}

void TSerialPort::WaitThreadIdle(int steps) {
  std::weak_ptr<int> alive = alive_;
  auto idle = [this, &alive] { return alive.expired() || !busy_; };
  for (int i = 0; i < steps; ++i) {
    if (calls_.ServeUntil(idle, kStepMs)) return;
  }
}
