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

TWorkThread::TWorkThread(TSerialPort& port)
    : port_(port), device_(*port.device_), thread_([this] { Execute(); }) {}

TWorkThread::~TWorkThread() {
  Terminate();
  if (thread_.joinable()) thread_.join();
}

void TWorkThread::Terminate() {
  terminated_ = true;
  device_.Wake();
}

bool TWorkThread::PortActive() const {
  return port_.active_;
}

void TWorkThread::Execute() {
  bool running = port_.active_;
  for (;;) {
    if (running) {
      port_.busy_ = true;
      if (port_.openGeneration_ != generation_) StartOfOpening();
      if (PortActive()) PollLineStatus();
      CheckWriteDone();
      if (PortActive()) ReadInput();
      if (PortActive()) CheckCommEvents();
      bool active = PortActive();
      int err = device_.Wait(kCycleMs, active && inQueue_ == 0, active && port_.sendInProgress_);
      if (err != 0)
        ReportFailure(9911, err, "Error getting Overlappedresult");
      else
        ClearFailure(9911);
      if (!PortActive() && !port_.sendInProgress_) running = false;
    }
    if (!running) {
      port_.busy_ = false;
      port_.calls_.Notify();
      if (terminated_) break;
      running = port_.active_;
      if (!running) device_.Wait(kIdleMs, false, false);
    }
  }
  port_.busy_ = false;
  port_.finished_ = true;
  port_.calls_.Notify();
}

void TWorkThread::StartOfOpening() {
  generation_ = port_.openGeneration_;
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
    port_.modemState_ = status;
    port_.ctsState_ = (status & kMsCtsOn) != 0;
    port_.dsrState_ = (status & kMsDsrOn) != 0;
    port_.rlsdState_ = (status & kMsRlsdOn) != 0;
    port_.ringState_ = (status & kMsRingOn) != 0;
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
  std::int32_t flow = port_.flowControl_;
  bool ctsFlow = (flow & kFlowCtsOut) || (flow & kFlowRtsToggle) == kFlowRtsHandshake;
  if (ctsFlow && haveModem_ && !(modem_ & kMsCtsOn) && out > 0) flags |= fCtlHold;

  if (errors != port_.commError_ || flags != port_.commStateFlags_ ||
      in != port_.commStateInQueue_ || out != port_.commStateOutQueue_) {
    port_.commError_ = errors;
    port_.commStateFlags_ = flags;
    port_.commStateInQueue_ = in;
    port_.commStateOutQueue_ = out;
    TSerialPort* p = &port_;
    HandOver([p] {
      if (p->destroying_) return;
      auto handler = p->OnCommStat;
      if (handler) handler(*p);
    });
  }
}

void TWorkThread::CheckWriteDone() {
  if (!port_.sendInProgress_) return;
  std::vector<WriteOutcome> outcomes;
  {
    std::lock_guard lock(port_.writeMutex_);
    // Ends the write in progress and starts the queued ones until one has to wait.
    auto finish = [&](std::uint32_t place, int code, const char* text, std::uint32_t written) {
      outcomes.push_back({place, code, text, true, written});
      port_.writeData_.clear();
      port_.writeDone_ = 0;
      port_.writeAbort_ = 0;
      while (!port_.writeQueue_.empty()) {
        std::string next = std::move(port_.writeQueue_.front());
        port_.writeQueue_.pop_front();
        port_.queuedBytes_ -= next.size();
        std::uint32_t size = static_cast<std::uint32_t>(next.size());
        int error = 0;
        switch (port_.StartWriteLocked(std::move(next), error)) {
          case TSerialPort::WriteStart::Pending:
            return;
          case TSerialPort::WriteStart::Done:
            outcomes.push_back({0, 0, "", true, size});
            break;
          case TSerialPort::WriteStart::Failed:
            outcomes.push_back({903, error, "Error writing Data", false, 0});
            break;
        }
      }
      port_.sendInProgress_ = false;
    };

    while (port_.sendInProgress_) {
      std::uint32_t asked = static_cast<std::uint32_t>(port_.writeData_.size());
      if (port_.writeAbort_ != 0) {
        port_.lastWriteError_ = port_.writeAbort_;
        finish(9702, port_.writeAbort_, "Error getting Overlapped Result",
               static_cast<std::uint32_t>(port_.writeDone_));
        continue;
      }
      std::size_t moved = 0;
      int err = 0;
      if (port_.writeDone_ < port_.writeData_.size()) {
        err = device_.Write(port_.writeData_.data() + port_.writeDone_,
                            port_.writeData_.size() - port_.writeDone_, moved);
      }
      if (err != 0 && !TryAgain(err)) {
        port_.lastWriteError_ = err;
        finish(9702, err, "Error getting Overlapped Result",
               static_cast<std::uint32_t>(port_.writeDone_));
        continue;
      }
      if (moved > 0) {
        port_.writeDone_ += moved;
        port_.txPending_ = true;
      }
      if (port_.writeDone_ == port_.writeData_.size()) {
        finish(0, 0, "", asked);
        continue;
      }
      std::uint32_t elapsed = platform::GetTickCount() - port_.writeStart_;
      std::uint64_t limit = static_cast<std::uint64_t>(asked) * port_.wtoCharDelayTime_ / 1000 +
                            port_.wtoExtraDelayTime_;
      if (elapsed > limit) {
        port_.lastWriteError_ = ETIMEDOUT;
        finish(9701, ETIMEDOUT, "Error write TimeOut",
               static_cast<std::uint32_t>(port_.writeDone_));
        continue;
      }
      break;
    }
  }

  TSerialPort* p = &port_;
  for (const auto& o : outcomes) {
    if (o.place != 0) Report(o.place, o.code, o.text);
    if (o.writeDone) {
      port_.writtenBytes_ = o.written;
      HandOver([p] { p->FireWriteDone(); });
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
      static_cast<double>(n) * port_.rtoCharDelayTime_ / 1000.0 + port_.rtoExtraDelayTime_;
  const bool readNow = port_.readRequest_ || n >= port_.clusterSize_ ||
                       static_cast<double>(now - quietSince_) > quietFor ||
                       (lineErrors_ & kLineErrorMask) != 0;
  if (!readNow) return;

  std::vector<char> buffer(n);
  std::size_t got = 0;
  int err = device_.Read(buffer.data(), n, got);
  if (TryAgain(err)) return;  // counted but not there yet: decide again next cycle
  port_.readRequest_ = false;
  if (err != 0) {
    ReportFailure(9804, err, "Error reading Data");
    return;
  }
  ClearFailure(9804);
  bytesRead_ += got;
  buffer.resize(got);
  // The event character is seen when its byte is read: the driver has no such watch.
  if (std::find(buffer.begin(), buffer.end(), port_.eventChar_.load()) != buffer.end())
    pendingEvents_ |= kEvRxFlag;
  if (port_.stripNullChars_)
    buffer.erase(std::remove(buffer.begin(), buffer.end(), '\0'), buffer.end());
  DeliverCluster(buffer.data(), buffer.size());
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
  if (port_.txPending_ && !port_.sendInProgress_ && outQueue_ == 0) {
    port_.txPending_ = false;
    mask |= kEvTxEmpty;
  }
  mask &= port_.eventMask_;
  if (mask != 0) DispatchCommEvents(mask);
}

void TWorkThread::DeliverCluster(const char* data, std::size_t count) {
  if (port_.destroying_) return;
  auto cluster =
      std::make_shared<TSerialCluster>(data, static_cast<std::uint32_t>(count), lineErrors_);
  TSerialPort* p = &port_;
  HandOver([p, cluster] {
    if (p->destroying_) return;
    p->chunks_.push_back(cluster);
    auto handler = p->OnRxClusterEvent;
    if (handler) handler(*p);
  });
}

void TWorkThread::DispatchCommEvents(std::uint32_t mask) {
  if (port_.destroying_) return;
  port_.commEvent_ = mask;
  TSerialPort* p = &port_;
  std::weak_ptr<int> alive = port_.alive_;
  HandOver([p, alive, mask] {
    using Member = TSerialPort::TNotifyEvent TSerialPort::*;
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
    auto fire = [&](Member event) {
      if (alive.expired() || p->destroying_) return false;
      auto handler = p->*event;
      if (handler) handler(*p);
      return true;
    };
    for (const auto& e : kOrder)
      if ((mask & e.bit) && !fire(e.event)) return;
    if (mask != 0) fire(&TSerialPort::OnCommEvent);
  });
}

void TWorkThread::Report(std::uint32_t place, int code, const char* text) {
  TSerialPort* p = &port_;
  std::string msg = text;
  HandOver(
      [p, place, code, msg] { p->ReportError(place, static_cast<std::uint32_t>(code), 0, msg); });
}

void TWorkThread::ReportFailure(std::uint32_t place, int code, const char* text) {
  auto it = failing_.find(place);
  if (it != failing_.end() && it->second == code) return;
  failing_[place] = code;
  Report(place, code, text);
}

bool TWorkThread::HandOver(std::function<void()> call) {
  if (port_.destroying_) return false;
  TSerialPort* p = &port_;
  std::weak_ptr<int> alive = port_.alive_;
  return port_.calls_.Run([p, alive, call = std::move(call)] {
    ++p->handOverDepth_;
    call();
    if (!alive.expired()) --p->handOverDepth_;
  });
}
