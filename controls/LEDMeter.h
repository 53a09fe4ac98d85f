#pragma once

#include <functional>

#include "controls/Colors.h"
#include "controls/InstrumentControl.h"

enum class TMeterDirection { mdDown, mdLeft, mdRight, mdUp };

// A bar of NumDigits equal LED cells that light from one end (Direction) in proportion to
// Position between Min and Max, in three colour zones: ColorLED1 below StartColor2, ColorLED2
// below StartColor3, ColorLED3 from there. Unlit cells show each zone's colour darkened by
// LEDContrast (the Shadow of GetContrastColors). With SingleLED only the last lit cell is lit.
// Every cell is outlined in ColorSeperator; the cells cover the whole control (143 x 16 at
// first), inside a one-pixel bevel unless BevelStyle is bvNone.
//
// Every setter ignores a value equal to the stored one; the others repaint at once.
class TLEDMeter : public TInstrumentControl {
 public:
  using TChangeEvent = std::function<void(TLEDMeter* Sender)>;

  explicit TLEDMeter(QWidget* parent = nullptr);

  // Cells lit for a value: round(numDigits / ((max - min) / (value - min))), halves to even; 0
  // when max - min < 1 or value - min < 1. A value above max gives more than numDigits (at most
  // numDigits + 1).
  static int LitCount(int numDigits, int min, int max, int value);

  TBevelCut BevelStyle() const { return bevelStyle_; }
  void SetBevelStyle(TBevelCut value);
  TColor ColorLED1() const { return colors_[0]; }
  void SetColorLED1(TColor value) { SetZoneColor(0, value); }
  TColor ColorLED2() const { return colors_[1]; }
  void SetColorLED2(TColor value) { SetZoneColor(1, value); }
  TColor ColorLED3() const { return colors_[2]; }
  void SetColorLED3(TColor value) { SetZoneColor(2, value); }
  // The unlit colour of zone 0, 1 or 2.
  TColor OffColor(int zone) const { return offColors_[zone]; }
  TColor ColorSeperator() const { return colorSeperator_; }
  void SetColorSeperator(TColor value);
  TMeterDirection Direction() const { return direction_; }
  void SetDirection(TMeterDirection value);
  // 0..9; other values are ignored. Repaints later, not at once.
  TContrast LEDContrast() const { return ledContrast_; }
  void SetLEDContrast(TContrast value);
  // Max lowers StartColor2 and StartColor3 to the new Max when they lie above it; Min raises
  // them to the new Min when they lie below it. Position is not re-clamped by either.
  int Max() const { return max_; }
  void SetMax(int value);
  int Min() const { return min_; }
  void SetMin(int value);
  // The number of cells; values below 1 are taken as 1.
  int NumDigits() const { return numDigits_; }
  void SetNumDigits(int value);
  // A value different from the stored one (compared before clamping) is clamped to at most Max,
  // then to at least Min, stored and painted; then OnChange fires. So setting the same
  // out-of-range value again paints and fires again.
  int Position() const { return position_; }
  void SetPosition(int value);
  bool SingleLED() const { return singleLED_; }
  void SetSingleLED(bool value);
  // Clamped to Min..Max, then kept at or below StartColor3 (StartColor2) or at or above
  // StartColor2 (StartColor3).
  int StartColor2() const { return startColor2_; }
  void SetStartColor2(int value);
  int StartColor3() const { return startColor3_; }
  void SetStartColor3(int value);

  TChangeEvent OnChange;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void SetZoneColor(int zone, TColor value);
  void UpdateOffColors();

  TBevelCut bevelStyle_ = TBevelCut::bvLowered;
  TColor colors_[3] = {clLime, clYellow, clRed};
  TColor offColors_[3] = {};
  TColor colorSeperator_ = clBlack;
  TMeterDirection direction_ = TMeterDirection::mdRight;
  TContrast ledContrast_ = 6;
  int max_ = 100;
  int min_ = 0;
  int numDigits_ = 20;
  int position_ = 0;
  bool singleLED_ = false;
  int startColor2_ = 75;
  int startColor3_ = 90;
};
