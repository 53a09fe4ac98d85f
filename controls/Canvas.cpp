#include "controls/Canvas.h"

#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <cstdlib>

TCanvas::TCanvas(QPainter& painter, const QPalette& palette)
    : painter_(painter), palette_(palette) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
}

QColor TCanvas::Color(TColor color) const {
  return ToQColor(color, palette_);
}

void TCanvas::SetPen(TColor color, int width) {
  pen_ = color;
  penWidth_ = width < 1 ? 1 : width;
}

void TCanvas::SetBrush(TColor color) {
  brush_ = color;
}

void TCanvas::MoveTo(int x, int y) {
  at_ = QPoint(x, y);
}

void TCanvas::LineTo(int x, int y) {
  const QPoint from = at_;
  at_ = QPoint(x, y);
  if (penWidth_ > 1) {
    painter_.setPen(QPen(Color(pen_), penWidth_, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter_.drawLine(from, at_);
    return;
  }
  const QColor color = Color(pen_);
  int dx = std::abs(x - from.x()), dy = -std::abs(y - from.y());
  if (dx == 0 && dy == 0) return;
  if (dx == 0 || dy == 0) {
    // Straight lines as one rectangle, without the last pixel.
    const int x1 = std::min(from.x(), x), y1 = std::min(from.y(), y);
    QRect r(x1, y1, dx + 1, -dy + 1);
    if (x > from.x()) r.setRight(r.right() - 1);
    if (x < from.x()) r.setLeft(r.left() + 1);
    if (y > from.y()) r.setBottom(r.bottom() - 1);
    if (y < from.y()) r.setTop(r.top() + 1);
    painter_.fillRect(r, color);
    return;
  }
  const int sx = from.x() < x ? 1 : -1, sy = from.y() < y ? 1 : -1;
  int err = dx + dy;
  QPolygon points;
  for (QPoint p = from; p != at_;) {
    points << p;
    const int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      p.rx() += sx;
    }
    if (e2 <= dx) {
      err += dx;
      p.ry() += sy;
    }
  }
  painter_.setPen(QPen(color, 1));
  painter_.drawPoints(points);
}

void TCanvas::Line(int x1, int y1, int x2, int y2) {
  MoveTo(x1, y1);
  LineTo(x2, y2);
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), Color(pen_));
  const int w = penWidth_;
  if (x2 - x1 > 2 * w && y2 - y1 > 2 * w) {
    painter_.fillRect(QRect(x1 + w, y1 + w, x2 - x1 - 2 * w, y2 - y1 - 2 * w), Color(brush_));
  }
}

void TCanvas::FillRect(const TRect& r) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  painter_.fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), Color(brush_));
}

void TCanvas::FrameRect(const TRect& r, TColor color) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  const QColor c = Color(color);
  painter_.fillRect(QRect(r.Left, r.Top, r.Width(), 1), c);
  painter_.fillRect(QRect(r.Left, r.Bottom - 1, r.Width(), 1), c);
  painter_.fillRect(QRect(r.Left, r.Top, 1, r.Height()), c);
  painter_.fillRect(QRect(r.Right - 1, r.Top, 1, r.Height()), c);
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x2 <= x1 || y2 <= y1) return;
  painter_.setPen(QPen(Color(pen_), 1));
  painter_.setBrush(Color(brush_));
  painter_.drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
}

void TCanvas::Polygon(std::initializer_list<QPoint> points) {
  painter_.setPen(QPen(Color(pen_), 1));
  painter_.setBrush(Color(brush_));
  painter_.drawPolygon(points.begin(), int(points.size()));
}

void TCanvas::Bevel(TRect& r, bool raised) {
  const TColor topLeft = raised ? clBtnHighlight : clBtnShadow;
  const TColor bottomRight = raised ? clBtnShadow : clBtnHighlight;
  SetPen(topLeft);
  MoveTo(r.Right - 1, r.Top);
  LineTo(r.Left, r.Top);
  LineTo(r.Left, r.Bottom - 1);
  SetPen(bottomRight);
  LineTo(r.Right - 1, r.Bottom - 1);
  LineTo(r.Right - 1, r.Top);
  r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
}
