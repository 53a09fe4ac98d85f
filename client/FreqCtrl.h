#pragma once

#include <QWidget>

// The frequency window with the stored frequencies.
// Its controls come with its own component; the window exists so that the session can show
// and hide it.
class TFreqCtrl : public QWidget {
 public:
  explicit TFreqCtrl(QWidget* parent = nullptr) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Frequency"));
  }
};
