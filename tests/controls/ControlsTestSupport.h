#pragma once

#include <QImage>
#include <QPalette>
#include <QWidget>

#include "controls/Colors.h"

// A fixed palette for pixel tests: the system colours the controls use become known values.
inline QPalette FixedPalette() {
  QPalette p;
  for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    p.setColor(group, QPalette::Light, QColor(255, 255, 255));
    p.setColor(group, QPalette::Dark, QColor(128, 128, 128));
    p.setColor(group, QPalette::Shadow, QColor(10, 20, 30));
    p.setColor(group, QPalette::Button, QColor(192, 192, 192));
    p.setColor(group, QPalette::Window, QColor(200, 210, 220));
    p.setColor(group, QPalette::WindowText, QColor(0, 0, 0));
    p.setColor(group, QPalette::Text, QColor(0, 0, 0));
  }
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
  return p;
}

constexpr TColor kFixedHighlight = RGB(255, 255, 255);
constexpr TColor kFixedShadow = RGB(128, 128, 128);
constexpr TColor kFixedFrame = RGB(10, 20, 30);

// The widget as painted now, without showing it.
inline QImage Grab(QWidget& w) {
  return w.grab().toImage();
}

inline TColor PixelAt(const QImage& image, int x, int y) {
  return FromQColor(image.pixelColor(x, y));
}
