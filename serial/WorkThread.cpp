#include "serial/WorkThread.h"

#include <errno.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "platform/Tick.h"
#include "serial/SerialPort.h"

namespace {

constexpr std::uint32_t kCycleMs = 75;
constexpr std::uint32_t kIdleMs = 200;
constexpr std::uint32_t kLineErrorMask = kCeRxOver | kCeOverrun | kCeRxParity | kCeFrame | kCeBreak;

bool TryAgain(int e) {
  return e == EAGAIN || e == EWOULDBLOCK || e == EINTR;
}

}  // namespace

TWorkThread::TWorkThread(TSerialShared& shared, ISerialPortEvents& port)
    : shared_(shared), port_(port), device_(*shared.device), thread_([this] { Execute(); }) {}

TWorkThread::~TWorkThread() {
  Terminate();
  if (thread_.joinable()) thread_.join();
}

void TWorkThread::Terminate() {
  terminated_ = true;
  device_.Wake();
}

bool TWorkThread::PortActive() const {
  return shared_.active;
}

void TWorkThread::Execute() {
  bool running = shared_.active;
  for (;;) {
    if (running) {
      shared_.busy = true;
      if (shared_.openGeneration != generation_) StartOfOpening();
      if (PortActive()) PollLineStatus();
      CheckWriteDone();
      if (PortActive()) ReadInput();
      if (PortActive()) CheckCommEvents();
      bool active = PortActive();
      int err = device_.Wait(kCycleMs, active && inQueue_ == 0, active && shared_.sendInProgress);
      if (err != 0)
        ReportFailure(9911, err, "Error getting Overlappedresult");
      else
        ClearFailure(9911);
      if (!PortActive() && !shared_.sendInProgress) running = false;
    }
    if (!running) {
      shared_.busy = false;
      shared_.calls.Notify();
      if (terminated_) break;
      running = shared_.active;
      if (!running) device_.Wait(kIdleMs, false, false);
    }
  }
  shared_.busy = false;
  shared_.finished = true;
  shared_.calls.Notify();
}

void TWorkThread::StartOfOpening() {
  generation_ = shared_.openGeneration;
  fresh_ = true;
  failing_.clear();
  countersReported_ = false;
  modemLinesMissingReported_ = false;
  haveModem_ = false;
  haveCounters_ = false;
  lineErrors_ = 0;
  inQueue_ = 0;
  outQueue_ = 0;
  bytesRead_ = 0;
  rxTotal_ = 0;
  prevRxTotal_ = 0;  // bytes waiting at the opening count as received
  pendingEvents_ = 0;
  quietSince_ = platform::GetTickCount();
}

void TWorkThread::PollLineStatus() {
  std::uint32_t status = 0;
  int err = device_.GetModemLines(status);
  if (err != 0) {
    if (err == ENOTTY || err == EINVAL) {
      haveModem_ = false;
      // Said once an opening; the owner's line switching says its own once too.
      if (!modemLinesMissingReported_) {
        modemLinesMissingReported_ = true;
        Report(9905, err, "Error getting ModemStatus");
      }
    } else {
      ReportFailure(9905, err, "Error getting ModemStatus");
    }
  } else {
    ClearFailure(9905);
    if (!haveModem_) prevModem_ = status;
    haveModem_ = true;
    modem_ = status;
    shared_.modemState = status;
    shared_.ctsState = (status & kMsCtsOn) != 0;
    shared_.dsrState = (status & kMsDsrOn) != 0;
    shared_.rlsdState = (status & kMsRlsdOn) != 0;
    shared_.ringState = (status & kMsRingOn) != 0;
  }

  std::uint32_t in = 0, out = 0;
  err = device_.GetQueues(in, out);
  if (err != 0) {
    ReportFailure(9803, err, "Error ClearCommError");
    return;
  }
  ClearFailure(9803);

  std::uint32_t errors = 0;
  platform::SerialCounters c;
  err = device_.GetCounters(c);
  if (err == 0) {
    if (fresh_ || !haveCounters_) {
      errorBase_ = c;
      eventBase_ = c;
    }
    haveCounters_ = true;
    counters_ = c;
    if (c.bufOverrun != errorBase_.bufOverrun) errors |= kCeRxOver;
    if (c.overrun != errorBase_.overrun) errors |= kCeOverrun;
    if (c.parity != errorBase_.parity) errors |= kCeRxParity;
    if (c.frame != errorBase_.frame) errors |= kCeFrame;
    if (c.brk != errorBase_.brk) errors |= kCeBreak;
    errorBase_ = c;
  } else {
    haveCounters_ = false;
    // No counters (a pseudo-terminal): no line errors and no line events can be seen.
    if (!countersReported_) {
      countersReported_ = true;
      Report(9907, err, "Error calling WaitCommEvent");
    }
  }

  rxTotal_ = bytesRead_ + in;
  fresh_ = false;
  inQueue_ = in;
  outQueue_ = out;
  lineErrors_ = errors;

  TComStateFlags flags = 0;
  std::int32_t flow = shared_.flowControl;
  bool ctsFlow = (flow & kFlowCtsOut) || (flow & kFlowRtsToggle) == kFlowRtsHandshake;
  if (ctsFlow && haveModem_ && !(modem_ & kMsCtsOn) && out > 0) flags |= fCtlHold;

  if (errors != shared_.commError || flags != shared_.commStateFlags ||
      in != shared_.commStateInQueue || out != shared_.commStateOutQueue) {
    shared_.commError = errors;
    shared_.commStateFlags = flags;
    shared_.commStateInQueue = in;
    shared_.commStateOutQueue = out;
    port_.CommStatChanged();
  }
}

void TWorkThread::CheckWriteDone() {
  if (!shared_.sendInProgress) return;
  std::vector<WriteOutcome> outcomes;
  {
    std::lock_guard lock(shared_.writeMutex);
    // Ends the write in progress and starts the queued ones until one has to wait.
    auto finish = [&](std::uint32_t place, int code, const char* text, std::uint32_t written) {
      outcomes.push_back({place, code, text, true, written});
      shared_.writeData.clear();
      shared_.writeDone = 0;
      shared_.writeAbort = 0;
      while (!shared_.writeQueue.empty()) {
        std::string next = std::move(shared_.writeQueue.front());
        shared_.writeQueue.pop_front();
        shared_.queuedBytes -= next.size();
        std::uint32_t size = static_cast<std::uint32_t>(next.size());
        int error = 0;
        switch (shared_.StartWriteLocked(std::move(next), error)) {
          case TSerialShared::WriteStart::Pending:
            return;
          case TSerialShared::WriteStart::Done:
            outcomes.push_back({0, 0, "", true, size});
            break;
          case TSerialShared::WriteStart::Failed:
            outcomes.push_back({903, error, "Error writing Data", false, 0});
            break;
        }
      }
      shared_.sendInProgress = false;
    };

    while (shared_.sendInProgress) {
      std::uint32_t asked = static_cast<std::uint32_t>(shared_.writeData.size());
      if (shared_.writeAbort != 0) {
        shared_.lastWriteError = shared_.writeAbort;
        finish(9702, shared_.writeAbort, "Error getting Overlapped Result",
               static_cast<std::uint32_t>(shared_.writeDone));
        continue;
      }
      std::size_t moved = 0;
      int err = 0;
      if (shared_.writeDone < shared_.writeData.size()) {
        err = device_.Write(shared_.writeData.data() + shared_.writeDone,
                            shared_.writeData.size() - shared_.writeDone, moved);
      }
      if (err != 0 && !TryAgain(err)) {
        shared_.lastWriteError = err;
        finish(9702, err, "Error getting Overlapped Result",
               static_cast<std::uint32_t>(shared_.writeDone));
        continue;
      }
      if (moved > 0) {
        shared_.writeDone += moved;
        shared_.txPending = true;
      }
      if (shared_.writeDone == shared_.writeData.size()) {
        finish(0, 0, "", asked);
        continue;
      }
      std::uint32_t elapsed = platform::GetTickCount() - shared_.writeStart;
      std::uint64_t limit = static_cast<std::uint64_t>(asked) * shared_.wtoCharDelayTime / 1000 +
                            shared_.wtoExtraDelayTime;
      if (elapsed > limit) {
        shared_.lastWriteError = ETIMEDOUT;
        finish(9701, ETIMEDOUT, "Error write TimeOut",
               static_cast<std::uint32_t>(shared_.writeDone));
        continue;
      }
      break;
    }
  }

  for (const auto& o : outcomes) {
    if (o.place != 0) Report(o.place, o.code, o.text);
    if (o.writeDone) {
      shared_.writtenBytes = o.written;
      port_.WriteDone();
    }
  }
}

void TWorkThread::ReadInput() {
  const std::uint32_t n = inQueue_;
  const std::uint32_t now = platform::GetTickCount();
  if (n == 0) {
    quietSince_ = now;
    return;
  }
  const double quietFor =
      static_cast<double>(n) * shared_.rtoCharDelayTime / 1000.0 + shared_.rtoExtraDelayTime;
  const bool readNow = shared_.readRequest || n >= shared_.clusterSize ||
                       static_cast<double>(now - quietSince_) > quietFor ||
                       (lineErrors_ & kLineErrorMask) != 0;
  if (!readNow) return;

  std::vector<char> buffer(n);
  std::size_t got = 0;
  int err = device_.Read(buffer.data(), n, got);
  if (TryAgain(err)) return;  // counted but not there yet: decide again next cycle
  shared_.readRequest = false;
  if (err != 0) {
    ReportFailure(9804, err, "Error reading Data");
    return;
  }
  ClearFailure(9804);
  bytesRead_ += got;
  buffer.resize(got);
  // The event character is seen when its byte is read: the driver has no such watch.
  if (std::find(buffer.begin(), buffer.end(), shared_.eventChar.load()) != buffer.end())
    pendingEvents_ |= kEvRxFlag;
  if (shared_.stripNullChars)
    buffer.erase(std::remove(buffer.begin(), buffer.end(), '\0'), buffer.end());
  if (!shared_.destroying)
    port_.ChunkReceived(std::make_shared<TSerialCluster>(
        buffer.data(), static_cast<std::uint32_t>(buffer.size()), lineErrors_));
  quietSince_ = platform::GetTickCount();
}

void TWorkThread::CheckCommEvents() {
  std::uint32_t mask = pendingEvents_;
  pendingEvents_ = 0;
  if (haveCounters_) {
    const auto& c = counters_;
    const auto& b = eventBase_;
    if (c.cts != b.cts) mask |= kEvCts;
    if (c.dsr != b.dsr) mask |= kEvDsr;
    if (c.dcd != b.dcd) mask |= kEvRlsd;
    if (c.ring != b.ring) mask |= kEvRing;
    if (c.brk != b.brk) mask |= kEvBreak;
    if (c.frame != b.frame || c.overrun != b.overrun || c.parity != b.parity ||
        c.bufOverrun != b.bufOverrun)
      mask |= kEvErr;
    if (c.rx != b.rx) mask |= kEvRxChar;
    eventBase_ = c;
  } else if (haveModem_) {
    std::uint32_t changed = modem_ ^ prevModem_;
    if (changed & kMsCtsOn) mask |= kEvCts;
    if (changed & kMsDsrOn) mask |= kEvDsr;
    if (changed & kMsRlsdOn) mask |= kEvRlsd;
    if (changed & kMsRingOn) mask |= kEvRing;
  }
  if (haveModem_) prevModem_ = modem_;
  if (rxTotal_ != prevRxTotal_) mask |= kEvRxChar;
  prevRxTotal_ = rxTotal_;
  if (shared_.txPending && !shared_.sendInProgress && outQueue_ == 0) {
    shared_.txPending = false;
    mask |= kEvTxEmpty;
  }
  mask &= shared_.eventMask;
  if (mask != 0 && !shared_.destroying) port_.CommEventsOccurred(mask);
}

void TWorkThread::Report(std::uint32_t place, int code, const char* text) {
  port_.WorkerReport(place, code, text);
}

void TWorkThread::ReportFailure(std::uint32_t place, int code, const char* text) {
  auto it = failing_.find(place);
  if (it != failing_.end() && it->second == code) return;
  failing_[place] = code;
  Report(place, code, text);
}
