#pragma once

#include <QPoint>
#include <initializer_list>

#include "controls/Colors.h"

class QPainter;
class QPalette;

// A rectangle whose right and bottom edges lie just outside it: the pixels from Left to
// Right - 1 and from Top to Bottom - 1.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
};

// The drawing conventions the controls' geometry is written in, over a QPainter without
// antialiasing: a rectangle's right and bottom edges are exclusive, a one-pixel line leaves out
// its last pixel, and the pen keeps a current position (MoveTo, LineTo). Pen and brush take
// TColor values; system colours come from the palette given at construction.
class TCanvas {
 public:
  TCanvas(QPainter& painter, const QPalette& palette);

  // width 0 or 1: a one-pixel pen; wider pens have round ends and cover their last point.
  void SetPen(TColor color, int width = 1);
  void SetBrush(TColor color);

  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void Line(int x1, int y1, int x2, int y2);
  // Outline in the pen's colour, inside in the brush's; (x2, y2) exclusive.
  void Rectangle(int x1, int y1, int x2, int y2);
  // The brush over the rectangle, no outline.
  void FillRect(const TRect& r);
  // A one-pixel frame just inside the rectangle.
  void FrameRect(const TRect& r, TColor color);
  // Filled with the brush, outlined with the pen, within (x1, y1)..(x2, y2) exclusive.
  void Ellipse(int x1, int y1, int x2, int y2);
  void Polygon(std::initializer_list<QPoint> points);
  // The one-pixel bevel of the meter and the display: top and left edges in the button-highlight
  // colour when raised (else the button-shadow colour), bottom and right edges in the other;
  // then r shrinks by one pixel per side.
  void Bevel(TRect& r, bool raised);

  QColor Color(TColor color) const;
  QPainter& Painter() { return painter_; }

 private:
  QPainter& painter_;
  const QPalette& palette_;
  TColor pen_ = clBlack;
  int penWidth_ = 1;
  TColor brush_ = clWhite;
  QPoint at_;
};
