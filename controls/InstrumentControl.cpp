#include "controls/InstrumentControl.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>

#include "platform/Latin1.h"

namespace {

bool ButtonOf(Qt::MouseButton qt, TMouseButton& button) {
  switch (qt) {
    case Qt::LeftButton:
      button = TMouseButton::mbLeft;
      return true;
    case Qt::RightButton:
      button = TMouseButton::mbRight;
      return true;
    case Qt::MiddleButton:
      button = TMouseButton::mbMiddle;
      return true;
    default:
      return false;
  }
}

TShiftState ShiftOf(const QMouseEvent* event) {
  TShiftState shift = 0;
  const Qt::KeyboardModifiers keys = event->modifiers();
  if (keys & Qt::ShiftModifier) shift |= ssShift;
  if (keys & Qt::AltModifier) shift |= ssAlt;
  if (keys & Qt::ControlModifier) shift |= ssCtrl;
  const Qt::MouseButtons held = event->buttons();
  if (held & Qt::LeftButton) shift |= ssLeft;
  if (held & Qt::RightButton) shift |= ssRight;
  if (held & Qt::MiddleButton) shift |= ssMiddle;
  return shift;
}

}  // namespace

TInstrumentControl::TInstrumentControl(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
}

std::string TInstrumentControl::Hint() const {
  return ToLatin1(toolTip());
}

void TInstrumentControl::SetHint(const std::string& value) {
  setToolTip(Latin1(value));
}

QMenu* TInstrumentControl::PopupMenu() const {
  return popupMenu_;
}

void TInstrumentControl::SetPopupMenu(QMenu* menu) {
  popupMenu_ = menu;
}

void TInstrumentControl::Click() {
  if (OnClick) OnClick(this);
}

void TInstrumentControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void TInstrumentControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TInstrumentControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TInstrumentControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TInstrumentControl::mousePressEvent(QMouseEvent* event) {
  TMouseButton button;
  if (!ButtonOf(event->button(), button)) return;
  if (button == TMouseButton::mbLeft) clickArmed_ = true;
  const QPoint at = event->position().toPoint();
  MouseDown(button, ShiftOf(event), at.x(), at.y());
}

void TInstrumentControl::mouseDoubleClickEvent(QMouseEvent* event) {
  TMouseButton button;
  if (!ButtonOf(event->button(), button)) return;
  if (button == TMouseButton::mbLeft) {
    clickArmed_ = false;
    DblClick();
  }
  const QPoint at = event->position().toPoint();
  MouseDown(button, ShiftOf(event) | ssDouble, at.x(), at.y());
}

void TInstrumentControl::mouseReleaseEvent(QMouseEvent* event) {
  TMouseButton button;
  if (!ButtonOf(event->button(), button)) return;
  const QPoint at = event->position().toPoint();
  if (button == TMouseButton::mbLeft) {
    const bool click = clickArmed_ && rect().contains(at);
    clickArmed_ = false;
    if (click) Click();
  }
  MouseUp(button, ShiftOf(event), at.x(), at.y());
  if (button == TMouseButton::mbRight && popupMenu_)
    popupMenu_->popup(event->globalPosition().toPoint());
}

void TInstrumentControl::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  MouseMove(ShiftOf(event), at.x(), at.y());
}

void TInstrumentControl::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange) {
    clickArmed_ = false;
    update();
  }
  QWidget::changeEvent(event);
}

void TInstrumentControl::contextMenuEvent(QContextMenuEvent* event) {
  // The mouse's menu opens on the right button's release (above), after MouseUp.
  if (event->reason() == QContextMenuEvent::Keyboard && popupMenu_) {
    popupMenu_->popup(event->globalPos());
  }
  event->accept();
}
