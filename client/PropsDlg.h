#pragma once

#include <QDialog>

// The station settings dialog: address, port, password, comment and eQSL settings of one station.
// Its controls come with its own component; the window exists so that the session can show
// and hide it.
class TPropsDlg : public QDialog {
 public:
  explicit TPropsDlg(QWidget* parent = nullptr) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Station Properties"));
  }
};
