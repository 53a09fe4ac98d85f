#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

// Runs calls of a worker thread on the main thread (the application's thread) while the worker
// waits: the blocking hand-over. The main thread serves the calls whenever it dispatches
// messages (its event loop, ProcessMessages, WaitMessages and so Delay), and on demand through
// Serve and ServeUntil, which run these calls only and dispatch nothing else.
//
// Cancel (also done by the destructor) makes every waiting and every later Run return false at
// once, without running calls that have not started. A call already running on the main thread
// then finishes on its own; its worker is no longer waiting for it, so a call must own what it
// uses (capture by value). Create and destroy the object on the main thread; the worker must
// have stopped calling Run before it is destroyed.
class MainThreadCall {
 public:
  MainThreadCall();
  ~MainThreadCall();
  MainThreadCall(const MainThreadCall&) = delete;
  MainThreadCall& operator=(const MainThreadCall&) = delete;

  // Any thread: runs call on the main thread and returns once it has run (true), or at once
  // without running it when cancelled or when there is no application (false). On the main
  // thread itself the call runs at once.
  bool Run(std::function<void()> call);

  // Main thread: runs the calls that wait now.
  void Serve();
  // Main thread: serves calls as they come until done() holds (true) or ms milliseconds have
  // passed (done()'s last value). done() is checked after each call and after each Notify.
  bool ServeUntil(const std::function<bool()>& done, std::uint32_t ms);
  // Any thread: makes a running ServeUntil check done() again.
  void Notify();

  void Cancel();
  bool Cancelled() const;

 private:
  struct State;
  static void ServeState(const std::shared_ptr<State>& st);
  std::shared_ptr<State> state_;
};

}  // namespace platform
