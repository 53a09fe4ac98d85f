#pragma once

#include <QDialog>

// The macro editor of the Morse keyboard.
// Its controls come with its own component; the window exists so that the session can show
// and hide it.
class TMacroDlg : public QDialog {
 public:
  explicit TMacroDlg(QWidget* parent = nullptr) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Macros"));
  }
};
