#pragma once

#include <cstdint>
#include <functional>

#include "platform/SharedWindow.h"

// A light window timer: not a widget and owned by nobody in particular. Every timer of the
// process shares one hidden window (TSimpleTimerHandler), which exists from the first timer's
// creation until the last timer is destroyed. Main thread only.
//
// States: Stopped (Enabled false), Running (Enabled true and ticking) and Held (Enabled true, but
// not ticking because Interval became 0 or OnTimer was cleared). Start goes to Running from any
// state when Interval is not 0; Stop(true) goes to Stopped.
class TSimpleTimer {
 public:
  using TNotifyEvent = std::function<void(TSimpleTimer* Sender)>;

  // Interval 1000 ms, no handler, not running.
  TSimpleTimer();
  // The given interval and handler; not running.
  TSimpleTimer(std::uint32_t interval, TNotifyEvent onTimer);
  ~TSimpleTimer();
  TSimpleTimer(const TSimpleTimer&) = delete;
  TSimpleTimer& operator=(const TSimpleTimer&) = delete;

  // The timer's number on the shared window (WM_TIMER's wParam). Never reused within the run.
  platform::WPARAM Id() const { return id_; }

  // Starts the timer; a running timer restarts, so a full period begins now. False, changing
  // nothing, when Interval is 0; false with Enabled left false when the window refuses the timer.
  bool Start();
  // Stops the platform timer; with disable, Enabled becomes false first. False when no platform
  // timer was running.
  bool Stop(bool disable);

  bool Enabled() const { return enabled_; }
  // true: Start; false: Stop(true).
  void SetEnabled(bool value);

  std::uint32_t Interval() const { return interval_; }
  // A new interval restarts a timer that is Enabled (a full new period from now); 0 holds it
  // (Enabled stays true, and a later non-zero interval runs it again).
  void SetInterval(std::uint32_t value);

  // One-shot use: the timer stops itself (Stop(true)) before each call of OnTimer.
  bool AutoDisable() const { return autoDisable_; }
  void SetAutoDisable(bool value) { autoDisable_ = value; }

  const TNotifyEvent& OnTimer() const { return onTimer_; }
  // Clearing the handler of an Enabled timer holds it.
  void SetOnTimer(TNotifyEvent handler);

 private:
  void Expired();

  platform::WPARAM id_ = 0;
  bool enabled_ = false;
  std::uint32_t interval_ = 1000;
  bool autoDisable_ = false;
  TNotifyEvent onTimer_;
};

// The hidden window shared by all timers, with its bookkeeping.
class TSimpleTimerHandler {
 public:
  TSimpleTimerHandler();
  // The shared handler, or nullptr while no timer exists.
  static TSimpleTimerHandler* Instance();
  // Timers alive.
  static int RefCount();

  // Platform timers running now.
  int ActiveCount() const { return activeCount_; }
  platform::HWND Handle() const { return window_.Handle(); }

 private:
  friend class TSimpleTimer;
  platform::SharedWindow window_;
  int activeCount_ = 0;
};

// The shared handler: created for the first user, destroyed (with its window) by the last release.
TSimpleTimerHandler& AcquireTimerHandler();
void ReleaseTimerHandler();
