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
  // Beyond the bar every count looks the same; the bound keeps it an int.
  return int(std::fmin(std::nearbyint(numDigits / (range / span)), numDigits + 1.0));
}

void TLEDMeter::UpdateOffColors() {
  TColor discarded;
  for (int zone = 0; zone < 3; ++zone) {
    GetContrastColors(colors_[zone], discarded, offColors_[zone], ledContrast_, ledContrast_);
  }
}

void TLEDMeter::SetZoneColor(int zone, TColor value) {
  if (!Change(colors_[zone], value)) return;
  UpdateOffColors();
  repaint();
}

void TLEDMeter::SetBevelStyle(TBevelCut value) {
  if (Change(bevelStyle_, value)) repaint();
}

void TLEDMeter::SetColorSeperator(TColor value) {
  if (Change(colorSeperator_, value)) repaint();
}

void TLEDMeter::SetDirection(TMeterDirection value) {
  if (Change(direction_, value)) repaint();
}

void TLEDMeter::SetLEDContrast(TContrast value) {
  if (ledContrast_ == value || !IsContrast(value)) return;
  ledContrast_ = value;
  UpdateOffColors();
  update();
}

void TLEDMeter::SetMax(int value) {
  if (!Change(max_, value)) return;
  if (startColor2_ > max_) startColor2_ = max_;
  if (startColor3_ > max_) startColor3_ = max_;
  repaint();
}

void TLEDMeter::SetMin(int value) {
  if (!Change(min_, value)) return;
  if (startColor2_ < min_) startColor2_ = min_;
  if (startColor3_ < min_) startColor3_ = min_;
  repaint();
}

void TLEDMeter::SetNumDigits(int value) {
  if (value < 1) value = 1;
  if (!Change(numDigits_, value)) return;
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
  if (Change(singleLED_, value)) repaint();
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
  // Cells of no size are not drawn, so a count above the control's size costs nothing.
  for (int i = 0; i < n && w > 0 && h > 0; ++i) {
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
