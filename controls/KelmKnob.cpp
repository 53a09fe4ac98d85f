#include "controls/KelmKnob.h"

#include <QPainter>
#include <climits>
#include <cmath>
#include <numbers>

#include "controls/Canvas.h"

TKelmKnob::TKelmKnob(QWidget* parent) : TInstrumentControl(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  resize(48, 36);
}

double TKelmKnob::Angle(int position, int min, int max) {
  if (max <= min) return 0;
  return (position - (double(min) + max) / 2) / (double(max) - min) * 5;
}

TKelmKnob::TPointer TKelmKnob::Pointer(int width, int height, int diameter, double angle) {
  const int cx = width / 2, cy = height / 2;
  const long long r1 = cx - 3LL * diameter / 5, r2 = cx - diameter / 4;
  const double s = std::sin(angle), c = std::cos(angle);
  return {QPoint(int(std::nearbyint(cx + r1 * s - 1)), int(std::nearbyint(cy - r1 * c - 1))),
          QPoint(int(std::nearbyint(cx + r2 * s - 1)), int(std::nearbyint(cy - r2 * c)) - 1)};
}

int TKelmKnob::PositionAt(int width, int height, int min, int max, int x, int y) {
  if (max <= min) return min;
  const int cx = width / 2, cy = height / 2;
  double d = std::nearbyint(std::hypot(double(x - cx), double(y - cy)));
  if (d == 0) d = 0.0001;
  auto arcsin = [](double v) { return std::asin(std::fmax(-1.0, std::fmin(1.0, v))); };
  double angle;
  if (y < cy) {
    angle = arcsin((x - cx) / d);
  } else {
    const double back = arcsin((cx - x) / d);
    angle = x > cx ? back + std::numbers::pi : back - std::numbers::pi;
  }
  const double position = std::nearbyint((double(max) - min) * angle / 5 + (double(max) + min) / 2);
  return int(std::fmax(INT_MIN, std::fmin(INT_MAX, position)));
}

int TKelmKnob::Clamped(int value) const {
  if (value > max_) value = max_;
  if (value < min_) value = min_;
  return value;
}

void TKelmKnob::SetPosition(int value) {
  if (position_ == value) return;
  position_ = Clamped(value);
  repaint();
  if (OnChange) OnChange(this, position_);
}

void TKelmKnob::SetPositionFromPoint(int x, int y) {
  const int value = Clamped(PositionAt(width(), height(), min_, max_, x, y));
  if (value != position_) SetPosition(value);
}

void TKelmKnob::SetMax(int value) {
  if (Change(max_, value)) repaint();
}

void TKelmKnob::SetLineColor(TColor value) {
  if (Change(lineColor_, value)) repaint();
}

void TKelmKnob::SetLineWidth(int value) {
  if (Change(lineWidth_, value)) repaint();
}

void TKelmKnob::SetDiameter(int value) {
  if (Change(diameter_, value)) repaint();
}

void TKelmKnob::SetAllowUserDrag(bool value) {
  if (Change(allowUserDrag_, value)) repaint();
}

void TKelmKnob::SetMin(int value) {
  if (Change(min_, value)) update();
}

void TKelmKnob::SetBitmap(const QImage& value) {
  bitmap_ = value;
  update();
}

void TKelmKnob::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (allowUserDrag_) {
    dragging_ = true;
    SetPositionFromPoint(x, y);
  }
  TInstrumentControl::MouseDown(button, shift, x, y);
}

void TKelmKnob::MouseMove(TShiftState shift, int x, int y) {
  TInstrumentControl::MouseMove(shift, x, y);
  if (dragging_) SetPositionFromPoint(x, y);
}

void TKelmKnob::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  dragging_ = false;
  TInstrumentControl::MouseUp(button, shift, x, y);
}

void TKelmKnob::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter, palette());
  canvas.SetBrush(clWindow);
  canvas.FillRect({0, 0, width(), height()});
  if (bitmap_.isNull()) return;
  painter.drawImage(0, 0, bitmap_);
  if (lineWidth_ <= 0) return;
  painter.setClipRect(0, 0, bitmap_.width(), bitmap_.height());
  const TPointer pointer = Pointer(width(), height(), diameter_, Angle(position_, min_, max_));
  canvas.SetPen(lineColor_, lineWidth_);
  canvas.Line(pointer.From.x(), pointer.From.y(), pointer.To.x(), pointer.To.y());
}
