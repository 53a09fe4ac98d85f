#pragma once

#include <QImage>
#include <QPoint>
#include <functional>

#include "controls/Colors.h"
#include "controls/InstrumentControl.h"

// A rotary knob (48 x 36 at first): its picture (Bitmap, drawn at 0, 0) with a pointer line on
// top. The pointer's angle, clockwise from straight up, is (Position - (Min + Max) / 2) /
// (Max - Min) x 5 radians: the middle of the range points up and the scale spans 5 radians. With
// AllowUserDrag a press and a drag set Position from the point's angle around the centre; points
// below the centre lie beyond the scale's ends and give Min or Max. Without it a press changes
// nothing and only OnMouseDown and OnMouseUp report it. A knob with Max <= Min points straight
// up and a press gives Min.
//
// The knob is opaque: what its picture does not cover shows the palette's window colour, and
// the pointer is drawn only over the picture.
class TKelmKnob : public TInstrumentControl {
 public:
  using TKnobChangeEvent = std::function<void(TKelmKnob* Sender, int Value)>;

  // The pointer line's two ends in control coordinates.
  struct TPointer {
    QPoint From, To;
  };

  explicit TKelmKnob(QWidget* parent = nullptr);

  // The pointer's angle in radians; 0 when Max <= Min.
  static double Angle(int position, int min, int max);
  // The pointer for a control of width x height: from (Diameter x 3 / 5) to (Diameter / 4)
  // pixels inside the half width, both measured from the centre.
  static TPointer Pointer(int width, int height, int diameter, double angle);
  // The position a press at (x, y) asks for, before clamping; min when max <= min.
  static int PositionAt(int width, int height, int min, int max, int x, int y);

  // A value different from the stored one is stored clamped (to at most Max, then at least Min)
  // and painted, then OnChange fires with it, even when the clamped value equals the old one. A
  // drag, unlike the program, sets only values that change the clamped position.
  int Position() const { return position_; }
  void SetPosition(int value);
  // Position is not re-clamped by either.
  int Max() const { return max_; }
  void SetMax(int value);
  int Min() const { return min_; }
  void SetMin(int value);
  TColor LineColor() const { return lineColor_; }
  void SetLineColor(TColor value);
  // 0 or less hides the pointer.
  int LineWidth() const { return lineWidth_; }
  void SetLineWidth(int value);
  int Diameter() const { return diameter_; }
  void SetDiameter(int value);
  bool AllowUserDrag() const { return allowUserDrag_; }
  void SetAllowUserDrag(bool value);
  // Copied on assignment.
  const QImage& Bitmap() const { return bitmap_; }
  void SetBitmap(const QImage& value);

  // Whether a press with AllowUserDrag is being dragged.
  bool Dragging() const { return dragging_; }

  TKnobChangeEvent OnChange;

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void SetPositionFromPoint(int x, int y);
  int Clamped(int value) const;

  int position_ = 0;
  int max_ = 100;
  int min_ = 0;
  TColor lineColor_ = clBlack;
  int lineWidth_ = 2;
  int diameter_ = 36;
  bool allowUserDrag_ = true;
  QImage bitmap_;
  bool dragging_ = false;
};
