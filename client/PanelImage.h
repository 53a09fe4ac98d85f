#pragma once

#include <QImage>

#include "controls/InstrumentControl.h"

// A picture on the panel that takes the mouse: the panel picture itself, the dial, the switches
// and the annunciator marks. It shows its Picture at its top left corner.
class TPanelImage : public TInstrumentControl {
 public:
  explicit TPanelImage(QWidget* parent = nullptr);
  const QImage& Picture() const { return picture_; }
  void SetPicture(const QImage& picture);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage picture_;
};
