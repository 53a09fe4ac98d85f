#include "client/TAMemo.h"

#include <QKeyEvent>
#include <QScrollBar>

TTAMemo::TTAMemo(QWidget* owner) : QPlainTextEdit(owner) {
  setReadOnly(true);
  // Read-only, yet the caret shows where typed text goes.
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  ApplyStyle();
}

void TTAMemo::ApplyStyle() {
  setLineWrapMode(wordWrap_ ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
  setTabChangesFocus(!wantTabs_);
  setVerticalScrollBarPolicy(scrollBars_ ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(scrollBars_ && !wordWrap_ ? Qt::ScrollBarAlwaysOn
                                                         : Qt::ScrollBarAlwaysOff);
}

void TTAMemo::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  ApplyStyle();
}

void TTAMemo::SetWantReturns(bool value) {
  if (value == wantReturns_) return;
  wantReturns_ = value;
  ApplyStyle();
}

void TTAMemo::SetWantTabs(bool value) {
  if (value == wantTabs_) return;
  wantTabs_ = value;
  ApplyStyle();
}

void TTAMemo::SetScrollBars(bool value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  ApplyStyle();
}

void TTAMemo::CaretToEnd() {
  QTextCursor cursor = textCursor();
  cursor.movePosition(QTextCursor::End);
  setTextCursor(cursor);
  ensureCursorVisible();
}

char TTAMemo::KeyCode(const QKeyEvent& event) {
  switch (event.key()) {
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Tab:
      return 9;
    default:
      break;
  }
  if (event.modifiers() & Qt::ControlModifier) {
    if (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
      return static_cast<char>(event.key() - Qt::Key_A + 1);
    return 0;
  }
  const QString text = event.text();
  if (text.size() != 1 || text[0].unicode() > 255) return 0;
  return static_cast<char>(text[0].unicode());
}

unsigned TTAMemo::VirtualKey(const QKeyEvent& event) {
  if (event.key() >= Qt::Key_F1 && event.key() <= Qt::Key_F24)
    return 112 + static_cast<unsigned>(event.key() - Qt::Key_F1);
  return 0;
}

void TTAMemo::keyPressEvent(QKeyEvent* event) {
  char key = KeyCode(*event);
  if (key == 0 || (key == 9 && !wantTabs_)) {
    QPlainTextEdit::keyPressEvent(event);  // moving the caret or the focus
    return;
  }
  if (OnKeyPress) OnKeyPress(this, key);
  event->accept();
}

void TTAMemo::keyReleaseEvent(QKeyEvent* event) {
  if (OnKeyUp && !event->isAutoRepeat()) OnKeyUp(this, VirtualKey(*event));
  QPlainTextEdit::keyReleaseEvent(event);
}

bool TTAMemo::canInsertFromMimeData(const QMimeData*) const {
  return true;
}

void TTAMemo::insertFromMimeData(const QMimeData*) {
  if (OnPaste) OnPaste(this);
}
