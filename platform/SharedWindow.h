#pragma once

#include <functional>
#include <map>

#include "platform/MessageWindow.h"

namespace platform {

// A hidden message window that many objects of one kind share (all window timers, all tray
// icons), on the main thread. Each object registers as a client and receives a number that is
// never reused within the run. Messages of the one kind that carries a client number in wParam
// (the client message: WM_TIMER for timers, the icon callback for tray icons) go to that client's
// procedure; a number that names no live client (a client that has gone, or a made-up number) is
// ignored, so a late message can never reach a destroyed object. Every other message goes to the
// window's own procedure.
class SharedWindow {
 public:
  // The client's procedure gets the message and its lParam.
  using ClientProc = std::function<LRESULT(unsigned msg, LPARAM lParam)>;

  explicit SharedWindow(unsigned clientMessage, MessageWindow::WndProc ownProc = {});
  ~SharedWindow();
  SharedWindow(const SharedWindow&) = delete;
  SharedWindow& operator=(const SharedWindow&) = delete;

  HWND Handle() const { return window_.Handle(); }

  WPARAM AddClient(ClientProc proc);
  // Kills the client's timer; messages for it that are still queued are ignored.
  void RemoveClient(WPARAM id);
  bool HasClient(WPARAM id) const { return clients_.count(id) != 0; }
  std::size_t ClientCount() const { return clients_.size(); }

  // A timer of the window that delivers WM_TIMER with wParam = id; false for an id that is not a
  // client. Setting a running timer restarts it with the new period.
  bool SetTimer(WPARAM id, unsigned ms);
  // False when the id has no running timer.
  bool KillTimer(WPARAM id);

 private:
  LRESULT WndProc(unsigned msg, WPARAM wParam, LPARAM lParam);

  unsigned clientMessage_;
  MessageWindow::WndProc ownProc_;
  std::map<WPARAM, ClientProc> clients_;
  MessageWindow window_;
};

// One process-wide instance of T with a count of users: the first Acquire creates it, the
// Release that brings the count to 0 destroys it, and a later Acquire creates a new one. Main
// thread only.
template <class T>
class SharedInstance {
 public:
  static T& Acquire() {
    if (!instance_) instance_ = new T();
    ++count_;
    return *instance_;
  }
  static void Release() {
    if (!instance_) return;
    if (count_ > 0) --count_;
    if (count_ == 0) {
      T* doomed = instance_;
      instance_ = nullptr;
      delete doomed;
    }
  }
  static T* Get() { return instance_; }
  static int RefCount() { return count_; }

 private:
  static inline T* instance_ = nullptr;
  static inline int count_ = 0;
};

}  // namespace platform
