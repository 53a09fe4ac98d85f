#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

class QWidget;

namespace platform {

// Watches a top-level window for the changes of state that the desktop or the program makes:
// becoming minimized, and leaving the minimized state. The callbacks run after the window has
// changed state, on the main thread, as soon as the event loop runs again; they may hide or show
// the window.
class WindowWatcher : public QObject {
 public:
  WindowWatcher(QWidget* window, std::function<void()> onMinimized,
                std::function<void()> onRestored);
  ~WindowWatcher() override;

  QWidget* Window() const { return window_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> window_;
  std::function<void()> onMinimized_;
  std::function<void()> onRestored_;
};

}  // namespace platform
