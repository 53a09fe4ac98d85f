#pragma once

#include <QWidget>

// The contact window: contact details, the log and the eQSL upload.
// Its controls come with its own component; the window exists so that the session can show
// and hide it.
class TQSOPanel : public QWidget {
 public:
  explicit TQSOPanel(QWidget* parent = nullptr) : QWidget(parent, Qt::Tool) {
    setWindowTitle(QStringLiteral("QSO"));
  }
};
