#include "platform/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimerEvent>
#include <atomic>
#include <mutex>
#include <unordered_map>

namespace platform {
namespace {

const QEvent::Type kMessageEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

class MessageEvent : public QEvent {
 public:
  MessageEvent(unsigned m, WPARAM w, LPARAM l)
      : QEvent(kMessageEvent), msg(m), wParam(w), lParam(l) {}
  unsigned msg;
  WPARAM wParam;
  LPARAM lParam;
};

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::unordered_map<HWND, MessageWindow*>& Registry() {
  static std::unordered_map<HWND, MessageWindow*> r;
  return r;
}
std::atomic<HWND> g_nextHandle{1};

}  // namespace

MessageWindow::MessageWindow(WndProc proc) : handle_(g_nextHandle++), proc_(std::move(proc)) {
  std::lock_guard lock(RegistryMutex());
  Registry()[handle_] = this;
}

MessageWindow::~MessageWindow() {
  {
    std::lock_guard lock(RegistryMutex());
    Registry().erase(handle_);
  }
  QCoreApplication::removePostedEvents(this, kMessageEvent);
}

bool MessageWindow::Post(HWND window, unsigned msg, WPARAM wParam, LPARAM lParam) {
  std::lock_guard lock(RegistryMutex());
  auto it = Registry().find(window);
  if (it == Registry().end()) return false;
  // postEvent takes ownership and is thread-safe; the lock keeps the target alive meanwhile.
  QCoreApplication::postEvent(it->second, new MessageEvent(msg, wParam, lParam));
  return true;
}

LRESULT MessageWindow::Send(HWND window, unsigned msg, WPARAM wParam, LPARAM lParam) {
  MessageWindow* target = nullptr;
  {
    std::lock_guard lock(RegistryMutex());
    auto it = Registry().find(window);
    if (it == Registry().end()) return 0;
    target = it->second;
  }
  if (target->thread() == QThread::currentThread()) return target->Dispatch(msg, wParam, lParam);
  LRESULT result = 0;
  QMetaObject::invokeMethod(
      target, [&] { result = target->Dispatch(msg, wParam, lParam); },
      Qt::BlockingQueuedConnection);
  return result;
}

bool MessageWindow::SetTimer(WPARAM id, unsigned ms) {
  KillTimer(id);
  int qtId = startTimer(static_cast<int>(ms == 0 ? 1 : ms), Qt::PreciseTimer);
  if (qtId == 0) return false;
  timers_[id] = qtId;
  return true;
}

bool MessageWindow::KillTimer(WPARAM id) {
  auto it = timers_.find(id);
  if (it == timers_.end()) return false;
  killTimer(it->second);
  timers_.erase(it);
  return true;
}

bool MessageWindow::event(QEvent* e) {
  if (e->type() == kMessageEvent) {
    auto* m = static_cast<MessageEvent*>(e);
    Dispatch(m->msg, m->wParam, m->lParam);
    return true;
  }
  return QObject::event(e);
}

void MessageWindow::timerEvent(QTimerEvent* e) {
  for (const auto& [id, qtId] : timers_) {
    if (qtId == e->timerId()) {
      Dispatch(WM_TIMER, id, 0);
      return;
    }
  }
}

LRESULT MessageWindow::Dispatch(unsigned msg, WPARAM wParam, LPARAM lParam) {
  if (!proc_) return 0;
  // The procedure may destroy this window; keep a copy of it alive for the call.
  WndProc proc = proc_;
  return proc(msg, wParam, lParam);
}

}  // namespace platform
