#pragma once

#include <QString>

class QPlainTextEdit;

// A read-only text view that shows the newest text of a long session: text is appended at the
// end, and whole paragraphs drop off the top while the view holds more than maxChars characters
// or maxBlocks paragraphs (the last paragraph always stays). Only the paragraph appended to is
// laid out again. The view keeps no undo history, which would hold everything ever shown.
class TTextTail {
 public:
  TTextTail(QPlainTextEdit& view, int maxChars, int maxBlocks);

  // Appends text ("\n" begins a paragraph); the user's cursor and selection stay on their text
  // (collapsed to the top when that text dropped off).
  void Append(const QString& text);

 private:
  void DropOldest();

  QPlainTextEdit& view_;
  int maxChars_;
};
