#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <map>

namespace platform {

// A window handle: a number that names a live MessageWindow, 0 for none. Handles are never reused
// within a run, so a message posted to a destroyed window is dropped instead of reaching another.
using HWND = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_TIMER = 0x0113;
constexpr unsigned WM_USER = 0x0400;

// A hidden message window: receives (message, wParam, lParam) triples on the thread that owns it.
// Posted messages are queued and delivered in order; sent messages run at once on the owning
// thread (from another thread, the sender blocks until the window procedure has returned).
// Destroying the window drops the messages still queued for it.
class MessageWindow : public QObject {
  Q_OBJECT
 public:
  using WndProc = std::function<LRESULT(unsigned msg, WPARAM wParam, LPARAM lParam)>;

  explicit MessageWindow(WndProc proc = {});
  ~MessageWindow() override;
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return handle_; }
  void SetWndProc(WndProc proc) { proc_ = std::move(proc); }

  // Thread-safe. False when no window has that handle (any more).
  static bool Post(HWND window, unsigned msg, WPARAM wParam, LPARAM lParam);
  // Runs the window procedure and returns its result; 0 when no window has that handle.
  static LRESULT Send(HWND window, unsigned msg, WPARAM wParam, LPARAM lParam);

  bool PostMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    return Post(handle_, msg, wParam, lParam);
  }
  LRESULT SendMessage(unsigned msg, WPARAM wParam, LPARAM lParam) {
    return Send(handle_, msg, wParam, lParam);
  }

  // Window timers: WM_TIMER with wParam = id every ms milliseconds until killed. Setting an id
  // that runs already restarts it with the new interval. Unknown ids are ignored.
  bool SetTimer(WPARAM id, unsigned ms);
  bool KillTimer(WPARAM id);

 protected:
  bool event(QEvent* e) override;
  void timerEvent(QTimerEvent* e) override;

 private:
  LRESULT Dispatch(unsigned msg, WPARAM wParam, LPARAM lParam);

  HWND handle_;
  WndProc proc_;
  std::map<WPARAM, int> timers_;  // our id -> Qt's timer id
};

}  // namespace platform
