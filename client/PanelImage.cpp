#include "client/PanelImage.h"

#include <QPainter>

TPanelImage::TPanelImage(QWidget* parent) : TInstrumentControl(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanelImage::SetPicture(const QImage& picture) {
  picture_ = picture;
  update();
}

void TPanelImage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawImage(0, 0, picture_);
}
