#include "platform/MainThreadCall.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace platform {
namespace {

struct Call {
  explicit Call(std::function<void()> f) : fn(std::move(f)) {}
  std::function<void()> fn;
  bool done = false;
};

bool OnMainThread() {
  auto* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace

struct MainThreadCall::State {
  std::mutex mutex;
  std::condition_variable cv;
  std::deque<std::shared_ptr<Call>> pending;
  bool cancelled = false;
  std::uint64_t epoch = 0;  // counts arrivals and notifications, so that no wake-up is lost
};

// Runs on the main thread. Holds the state by shared pointer: a call may destroy the object
// that owns it.
void MainThreadCall::ServeState(const std::shared_ptr<State>& st) {
  for (;;) {
    std::shared_ptr<Call> call;
    {
      std::lock_guard lock(st->mutex);
      if (st->cancelled || st->pending.empty()) return;
      call = st->pending.front();
      st->pending.pop_front();
    }
    call->fn();
    {
      std::lock_guard lock(st->mutex);
      call->done = true;
    }
    st->cv.notify_all();
  }
}

MainThreadCall::MainThreadCall() : state_(std::make_shared<State>()) {}

MainThreadCall::~MainThreadCall() {
  Cancel();
}

bool MainThreadCall::Run(std::function<void()> fn) {
  std::shared_ptr<State> st = state_;
  if (OnMainThread()) {
    {
      std::lock_guard lock(st->mutex);
      if (st->cancelled) return false;
    }
    fn();
    return true;
  }
  auto* app = QCoreApplication::instance();
  if (app == nullptr) return false;
  auto call = std::make_shared<Call>(std::move(fn));
  {
    std::lock_guard lock(st->mutex);
    if (st->cancelled) return false;
    st->pending.push_back(call);
    ++st->epoch;
  }
  st->cv.notify_all();
  QMetaObject::invokeMethod(
      app,
      [st] {
        std::shared_ptr<State> keep = st;
        ServeState(keep);
      },
      Qt::QueuedConnection);
  std::unique_lock lock(st->mutex);
  st->cv.wait(lock, [&] { return call->done || st->cancelled; });
  return call->done;
}

void MainThreadCall::Serve() {
  ServeState(state_);
}

bool MainThreadCall::ServeUntil(const std::function<bool()>& done, std::uint32_t ms) {
  using Clock = std::chrono::steady_clock;
  std::shared_ptr<State> st = state_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(st->mutex);
      seen = st->epoch;
    }
    ServeState(st);
    if (done()) return true;
    std::unique_lock lock(st->mutex);
    if (Clock::now() >= deadline) {
      lock.unlock();
      ServeState(st);
      return done();
    }
    st->cv.wait_until(lock, deadline, [&] {
      return st->epoch != seen || (!st->cancelled && !st->pending.empty());
    });
  }
}

void MainThreadCall::Notify() {
  {
    std::lock_guard lock(state_->mutex);
    ++state_->epoch;
  }
  state_->cv.notify_all();
}

void MainThreadCall::Cancel() {
  {
    std::lock_guard lock(state_->mutex);
    state_->cancelled = true;
    state_->pending.clear();
    ++state_->epoch;
  }
  state_->cv.notify_all();
}

bool MainThreadCall::Cancelled() const {
  std::lock_guard lock(state_->mutex);
  return state_->cancelled;
}

}  // namespace platform
