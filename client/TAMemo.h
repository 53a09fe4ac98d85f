#pragma once

#include <QPlainTextEdit>
#include <functional>

// The type-ahead memo of the Morse keyboard: a read-only text whose keys go to the window's
// handler instead of the text. Each typed key is reported as one character code (Ctrl+A as 1,
// Backspace 8, Enter 13, Ctrl+V 22, Esc 27, the text otherwise) through OnKeyPress; the memo
// itself inserts nothing. A released key is reported with its virtual key code (F1 is 112).
// Pasting, by key or by menu, fires OnPaste and pastes nothing.
class TTAMemo : public QPlainTextEdit {
 public:
  explicit TTAMemo(QWidget* owner = nullptr);

  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool value);
  // Tab goes to the memo instead of moving the focus.
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool value);
  // A vertical scroll bar, and a horizontal one without word wrap.
  bool ScrollBars() const { return scrollBars_; }
  void SetScrollBars(bool value);

  // Moves the caret to the end of the text and scrolls it into view.
  void CaretToEnd();

  std::function<void(TTAMemo* sender, char& key)> OnKeyPress;
  std::function<void(TTAMemo* sender, unsigned virtualKey)> OnKeyUp;
  std::function<void(TTAMemo* sender)> OnPaste;

  // The character code of a key press; 0 for a key that types no character (arrows, F keys).
  static char KeyCode(const QKeyEvent& event);
  // The virtual key code of a released key (function keys only); 0 for any other.
  static unsigned VirtualKey(const QKeyEvent& event);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  bool canInsertFromMimeData(const QMimeData* source) const override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  void ApplyStyle();

  bool wordWrap_ = true;
  bool wantReturns_ = true;
  bool wantTabs_ = false;
  bool scrollBars_ = false;
};
