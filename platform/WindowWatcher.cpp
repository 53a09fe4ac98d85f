#include "platform/WindowWatcher.h"

#include <QEvent>
#include <QWidget>
#include <QWindowStateChangeEvent>

namespace platform {

WindowWatcher::WindowWatcher(QWidget* window, std::function<void()> onMinimized,
                             std::function<void()> onRestored)
    : window_(window), onMinimized_(std::move(onMinimized)), onRestored_(std::move(onRestored)) {
  if (window_) window_->installEventFilter(this);
}

WindowWatcher::~WindowWatcher() {
  if (window_) window_->removeEventFilter(this);
}

bool WindowWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_ && event->type() == QEvent::WindowStateChange) {
    auto* change = static_cast<QWindowStateChangeEvent*>(event);
    bool was = change->oldState().testFlag(Qt::WindowMinimized);
    bool is = window_->windowState().testFlag(Qt::WindowMinimized);
    // The change is reported from inside the toolkit's own show or state call, which would undo
    // a hide made here; the callback runs once that call has returned, if the state still holds.
    if (is != was)
      QMetaObject::invokeMethod(
          this,
          [this, is] {
            if (!window_ || window_->windowState().testFlag(Qt::WindowMinimized) != is) return;
            auto callback = is ? onMinimized_ : onRestored_;
            if (callback) callback();
          },
          Qt::QueuedConnection);
  }
  return false;
}

}  // namespace platform
