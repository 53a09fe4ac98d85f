#include "platform/Pointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QStyleHints>

namespace platform {

bool GetCursorPos(CursorPoint& point) {
  if (!QGuiApplication::instance()) return false;
  QPoint p = QCursor::pos();
  point.x = p.x();
  point.y = p.y();
  return true;
}

KeyModifiers AsyncKeyModifiers() {
  KeyModifiers result;
  if (!QGuiApplication::instance()) return result;
  Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
  result.shift = m.testFlag(Qt::ShiftModifier);
  result.alt = m.testFlag(Qt::AltModifier);
  result.ctrl = m.testFlag(Qt::ControlModifier);
  return result;
}

unsigned GetDoubleClickTime() {
  if (!QGuiApplication::instance()) return 500;
  return static_cast<unsigned>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

void SetDoubleClickTime(unsigned ms) {
  if (!QGuiApplication::instance()) return;
  QGuiApplication::styleHints()->setMouseDoubleClickInterval(static_cast<int>(ms));
}

}  // namespace platform
