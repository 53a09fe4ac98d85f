#pragma once

#include <QWidget>

// The microphone window: push-to-talk, VOX and the microphone squelch.
// Its controls come with its own component; the window exists so that the session can show
// and hide it.
class TSSBPanel : public QWidget {
 public:
  explicit TSSBPanel(QWidget* parent = nullptr) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("Microphone"));
  }
};
