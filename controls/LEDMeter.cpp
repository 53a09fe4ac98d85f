#include "controls/LEDMeter.h"

#include <QPainter>
#include <cmath>

#include "controls/Canvas.h"

TLEDMeter::TLEDMeter(QWidget* parent) : TInstrumentControl(parent) {
  resize(143, 16);
  UpdateOffColors();
}

int TLEDMeter::LitCount(int numDigits, int min, int max, int value) {
  const double range = double(max) - min;
  const double span = double(value) - min;
  if (range < 1 || span < 1) return 0;
  return int(std::nearbyint(numDigits / (range / span)));
}

void TLEDMeter::UpdateOffColors() {
  TColor discarded;
  for (int zone = 0; zone < 3; ++zone) {
    GetContrastColors(colors_[zone], discarded, offColors_[zone], ledContrast_, ledContrast_);
  }
}

void TLEDMeter::SetZoneColor(int zone, TColor value) {
  if (colors_[zone] == value) return;
  colors_[zone] = value;
  UpdateOffColors();
  repaint();
}

void TLEDMeter::SetBevelStyle(TBevelCut value) {
  if (bevelStyle_ == value) return;
  bevelStyle_ = value;
  repaint();
}

void TLEDMeter::SetColorSeperator(TColor value) {
  if (colorSeperator_ == value) return;
  colorSeperator_ = value;
  repaint();
}

void TLEDMeter::SetDirection(TMeterDirection value) {
  if (direction_ == value) return;
  direction_ = value;
  repaint();
}

void TLEDMeter::SetLEDContrast(TContrast value) {
  if (ledContrast_ == value || !IsContrast(value)) return;
  ledContrast_ = value;
  UpdateOffColors();
  update();
}

void TLEDMeter::SetMax(int value) {
  if (max_ == value) return;
  max_ = value;
  if (startColor2_ > max_) startColor2_ = max_;
  if (startColor3_ > max_) startColor3_ = max_;
  repaint();
}

void TLEDMeter::SetMin(int value) {
  if (min_ == value) return;
  min_ = value;
  if (startColor2_ < min_) startColor2_ = min_;
  if (startColor3_ < min_) startColor3_ = min_;
  repaint();
}

void TLEDMeter::SetNumDigits(int value) {
  if (value < 1) value = 1;
  if (numDigits_ == value) return;
  numDigits_ = value;
  repaint();
}

void TLEDMeter::SetPosition(int value) {
  if (position_ == value) return;
  if (value > max_) value = max_;
  if (value < min_) value = min_;
  position_ = value;
  repaint();
  if (OnChange) OnChange(this);
}

void TLEDMeter::SetSingleLED(bool value) {
  if (singleLED_ == value) return;
  singleLED_ = value;
  repaint();
}

void TLEDMeter::SetStartColor2(int value) {
  if (startColor2_ == value) return;
  if (value > max_) value = max_;
  if (value < min_) value = min_;
  if (value > startColor3_) value = startColor3_;
  startColor2_ = value;
  repaint();
}

void TLEDMeter::SetStartColor3(int value) {
  if (startColor3_ == value) return;
  if (value > max_) value = max_;
  if (value < min_) value = min_;
  if (value < startColor2_) value = startColor2_;
  startColor3_ = value;
  repaint();
}

void TLEDMeter::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter, palette());
  const int n = numDigits_;
  const int b = bevelStyle_ == TBevelCut::bvNone ? 0 : 1;
  const int lit = LitCount(n, min_, max_, position_);
  const int c2 = LitCount(n, min_, max_, startColor2_);
  const int c3 = LitCount(n, min_, max_, startColor3_);
  const bool across =
      direction_ == TMeterDirection::mdRight || direction_ == TMeterDirection::mdLeft;
  const int w = across ? (width() - 2 * b) / n : width() - 2 * b - 1;
  const int h = across ? height() - 2 * b : (height() - 2 * b) / n;

  canvas.SetPen(colorSeperator_);
  for (int i = 0; i < n; ++i) {
    const int zone = i < c2 ? 0 : (i < c3 ? 1 : 2);
    const bool on = singleLED_ ? i == lit - 1 : i < lit;
    canvas.SetBrush(on ? colors_[zone] : offColors_[zone]);
    int x = b, y = b;
    switch (direction_) {
      case TMeterDirection::mdRight:
        x = b + i * w;
        break;
      case TMeterDirection::mdLeft:
        x = width() - b - (i + 1) * w - 1;
        break;
      case TMeterDirection::mdUp:
        y = height() - b - (i + 1) * h;
        break;
      case TMeterDirection::mdDown:
        y = b + i * h;
        break;
    }
    canvas.Rectangle(x, y, x + w + 1, y + h);
  }
  if (b) {
    TRect r{0, 0, width(), height()};
    canvas.Bevel(r, bevelStyle_ == TBevelCut::bvRaised);
  }
}
