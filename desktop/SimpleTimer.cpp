#include "desktop/SimpleTimer.h"

using TimerHandlerInstance = platform::SharedInstance<TSimpleTimerHandler>;

TSimpleTimerHandler::TSimpleTimerHandler() : window_(platform::WM_TIMER) {}

TSimpleTimerHandler* TSimpleTimerHandler::Instance() {
  return TimerHandlerInstance::Get();
}
int TSimpleTimerHandler::RefCount() {
  return TimerHandlerInstance::RefCount();
}

TSimpleTimerHandler& AcquireTimerHandler() {
  return TimerHandlerInstance::Acquire();
}
void ReleaseTimerHandler() {
  TimerHandlerInstance::Release();
}

TSimpleTimer::TSimpleTimer() {
  id_ = AcquireTimerHandler().window_.AddClient([this](unsigned, platform::LPARAM) {
    Expired();
    return platform::LRESULT{0};
  });
}

TSimpleTimer::TSimpleTimer(std::uint32_t interval, TNotifyEvent onTimer) : TSimpleTimer() {
  interval_ = interval;
  onTimer_ = std::move(onTimer);
}

TSimpleTimer::~TSimpleTimer() {
  if (enabled_) Stop(true);
  TSimpleTimerHandler::Instance()->window_.RemoveClient(id_);
  ReleaseTimerHandler();
}

bool TSimpleTimer::Start() {
  if (interval_ == 0) return false;
  if (enabled_) Stop(true);
  TSimpleTimerHandler* handler = TSimpleTimerHandler::Instance();
  bool ok = handler->window_.SetTimer(id_, interval_);
  if (ok) {
    enabled_ = true;
    ++handler->activeCount_;
  }
  return ok;
}

bool TSimpleTimer::Stop(bool disable) {
  if (disable) enabled_ = false;
  TSimpleTimerHandler* handler = TSimpleTimerHandler::Instance();
  bool ok = handler->window_.KillTimer(id_);
  if (ok && handler->activeCount_ > 0) --handler->activeCount_;
  return ok;
}

void TSimpleTimer::SetEnabled(bool value) {
  if (value)
    Start();
  else
    Stop(true);
}

void TSimpleTimer::SetInterval(std::uint32_t value) {
  if (value == interval_) return;
  interval_ = value;
  if (!enabled_) return;
  if (value != 0)
    Start();
  else
    Stop(false);
}

void TSimpleTimer::SetOnTimer(TNotifyEvent handler) {
  onTimer_ = std::move(handler);
  if (!onTimer_ && enabled_) Stop(false);
}

void TSimpleTimer::Expired() {
  if (autoDisable_) Stop(true);
  if (!onTimer_) return;
  // The handler may destroy this timer; the copy keeps the handler itself alive meanwhile.
  TNotifyEvent handler = onTimer_;
  handler(this);
}
