#pragma once

#include <QImage>
#include <functional>
#include <string>

#include "controls/Canvas.h"
#include "controls/Colors.h"
#include "controls/InstrumentControl.h"

class QPainter;

enum class TButtonDirection { bdBottomUp, bdLeftUp, bdNone, bdRightUp, bdTopUp };
enum class TTextPosition { tpAbove, tpBelow, tpNone, tpOnButton };

// A push button drawn as a raised box (45 x 45 at first) whose thick edge (Depth + 1 lines) and
// lamp lie on the side named by ButtonDirection, with a caption (Caption, TextPosition) and an
// optional picture (Glyph). The lamp shows ColorLED when StateOn, else ColorLED darkened by
// LEDContrast; a disabled button shows it in the face colour and its caption grey.
//
// Any mouse button held on the button shows the pressed look (a one-line thick edge, the face
// moved Depth / 2 pixels towards it). With Switching, the lamp flips together with a click: a
// left-button release inside the button or its accelerator (Alt and the character after "&" in
// the caption). OnClick runs first and sees StateOn as it was; StateOn is flipped right after.
// A release outside, another mouse button or the release after a double click only ends the
// pressed look. Without Switching only the program sets StateOn.
//
// Setters ignore a value equal to the stored one; the others repaint.
class TLEDButton : public TInstrumentControl {
 public:
  using TReleaseEvent = std::function<void(TLEDButton* Sender)>;

  explicit TLEDButton(QWidget* parent = nullptr);

  bool Beveled() const { return beveled_; }
  void SetBeveled(bool value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TButtonDirection ButtonDirection() const { return buttonDirection_; }
  void SetButtonDirection(TButtonDirection value);
  // The face; the bevel's highlight and shadow follow it (GetContrastColors with 5 and 4).
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TColor BevelHighlight() const { return highlight_; }
  TColor BevelShadow() const { return shadow_; }
  TColor ColorLED() const { return colorLED_; }
  void SetColorLED(TColor value);
  // The unlit lamp's colour, from ColorLED and LEDContrast.
  TColor DarkLED() const { return darkLED_; }
  // 0..9; other values are ignored.
  TContrast LEDContrast() const { return ledContrast_; }
  void SetLEDContrast(TContrast value);
  int Depth() const { return depth_; }
  void SetDepth(int value);
  // The caption's font is the widget's font (QWidget::setFont).
  // A strip of NumGlyphs equal images: the first for the normal look, the second when disabled,
  // the third while StateOn (with more than two). Its bottom-left pixel's colour is transparent.
  const QImage& Glyph() const { return glyph_; }
  void SetGlyph(const QImage& value);
  // 0..4; other values are ignored.
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int value);
  bool ShowLED() const { return showLED_; }
  void SetShowLED(bool value);
  bool StateOn() const { return stateOn_; }
  void SetStateOn(bool value);
  // Stored without repainting.
  bool Switching() const { return switching_; }
  void SetSwitching(bool value) { switching_ = value; }
  TTextPosition TextPosition() const { return textPosition_; }
  void SetTextPosition(TTextPosition value);
  // 8-bit text; "&" marks the accelerator character (shown underlined), "&&" a plain "&".
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);

  // Whether a mouse button is held on the button (the pressed look).
  bool Pressed() const { return pressed_; }

  // The accelerator: when the caption holds "&" followed by key (without regard to case), runs
  // the click (OnClick, then the flip with Switching) if enabled, and answers true (handled,
  // even when disabled); otherwise false.
  bool DialogChar(char key);

  // Called after each mouse release; the programs leave it empty.
  TReleaseEvent OnRelease;

 protected:
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void paintEvent(QPaintEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void DrawCaption(QPainter& painter, const TRect& area) const;
  void DrawLamp(TCanvas& canvas, TRect& r, int d) const;
  void UpdateBevelColors();
  void UpdateDarkLED();
  void UpdateShortcut();
  char Accelerator() const;

  bool beveled_ = true;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  TButtonDirection buttonDirection_ = TButtonDirection::bdBottomUp;
  TColor color_ = clGray;
  TColor highlight_ = clWhite;
  TColor shadow_ = clBlack;
  TColor colorLED_ = clBlue;
  TColor darkLED_ = clBlack;
  TContrast ledContrast_ = 6;
  int depth_ = 3;
  QImage glyph_;
  int numGlyphs_ = 1;
  bool showLED_ = true;
  bool stateOn_ = false;
  bool switching_ = true;
  TTextPosition textPosition_ = TTextPosition::tpNone;
  std::string caption_;
  bool pressed_ = false;
  int shortcutId_ = 0;
};
