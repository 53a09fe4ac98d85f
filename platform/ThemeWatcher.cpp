#include "platform/ThemeWatcher.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

namespace platform {

ThemeWatcher::ThemeWatcher(std::function<void()> onChange) : onChange_(std::move(onChange)) {
  if (QCoreApplication::instance() != nullptr)
    QCoreApplication::instance()->installEventFilter(this);
}

ThemeWatcher::~ThemeWatcher() {
  if (QCoreApplication::instance() != nullptr)
    QCoreApplication::instance()->removeEventFilter(this);
}

bool ThemeWatcher::eventFilter(QObject* watched, QEvent* event) {
  bool change = false;
  switch (event->type()) {
    // Qt passes a palette change on to the windows later, from the event loop: only the
    // application's own event marks the change.
    case QEvent::ApplicationPaletteChange:
      change = watched == QCoreApplication::instance();
      break;
    case QEvent::ThemeChange:
      change = watched == QCoreApplication::instance() || watched->isWindowType();
      break;
    case QEvent::StyleChange: {
      auto* widget = qobject_cast<QWidget*>(watched);
      change = widget == nullptr || !widget->testAttribute(Qt::WA_SetStyle);
      break;
    }
    default:
      break;
  }
  if (change && !pending_) {
    pending_ = true;
    QTimer::singleShot(0, this, [this] { Report(); });
  }
  return false;
}

void ThemeWatcher::Report() {
  pending_ = false;
  if (onChange_) onChange_();
}

}  // namespace platform
