#pragma once

#include <QWidget>
#include <string>

#include "client/ClientLinks.h"

class QPlainTextEdit;

// The receive-text window: Morse text that the server's decoder passes on. It shows itself when
// text arrives.
class TRxWin : public QWidget, public ITextView {
 public:
  explicit TRxWin(QWidget* parent = nullptr);
  void AddText(const std::string& text) override;
  std::string Text() const;

 private:
  QPlainTextEdit* memo_;
};
