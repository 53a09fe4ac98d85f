#pragma once

#include <QImage>
#include <array>
#include <functional>
#include <string>

#include "controls/Colors.h"
#include "controls/InstrumentControl.h"

enum class TDecSeperator { dsPoint, dsComma, dsDoublePoint, dsMinus };
enum class TSegmentStyle { ssRectangular, ssBeveled };

// A row of NumDigits seven-segment characters (168 x 36 at first). Text is 8-bit: bits 0..6 are
// the character (lower case shows as upper case), bit 7 asks for the decimal separator
// (DecSeperator) in the gap before that character. The characters "-" (45) to "[" (91) have a
// picture, DigitWidth x DigitHeight, with lit segments in ColorLED and unlit ones in
// OffColorLED on ColorBackGround; other characters, such as the space, show background only. A
// shorter text leaves blank places on the right; a longer one is cut to NumDigits characters.
// "@" shows all seven segments unlit, as do ".", "/", ":", ";" and "?".
//
// Every setter ignores a value equal to the stored one and repaints; those that change the
// pictures' look render the 47 pictures again, so that a change of Text only copies them.
class TLEDDisplayEx : public TInstrumentControl {
 public:
  using TChangeEvent = std::function<void(TLEDDisplayEx* Sender)>;

  // Segment bits: a top, b upper right, c lower right, d bottom, e lower left, f upper left,
  // g middle.
  enum : unsigned { segA = 1, segB = 2, segC = 4, segD = 8, segE = 16, segF = 32, segG = 64 };
  static constexpr int kFirstCode = 45, kLastCode = 91;

  explicit TLEDDisplayEx(QWidget* parent = nullptr);

  // The lit segments of a character code (45..91, upper case); 0 for other codes.
  static unsigned Segments(int code);

  TBevelCut BevelStyle() const { return bevelStyle_; }
  void SetBevelStyle(TBevelCut value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TColor ColorBackGround() const { return colorBackGround_; }
  void SetColorBackGround(TColor value);
  TColor ColorLED() const { return colorLED_; }
  void SetColorLED(TColor value);
  TColor OffColorLED() const { return offColorLED_; }
  void SetOffColorLED(TColor value);
  TDecSeperator DecSeperator() const { return decSeperator_; }
  void SetDecSeperator(TDecSeperator value);
  int DigitHeight() const { return digitHeight_; }
  void SetDigitHeight(int value);
  int DigitWidth() const { return digitWidth_; }
  void SetDigitWidth(int value);
  int DigitLineWidth() const { return digitLineWidth_; }
  void SetDigitLineWidth(int value);
  // 0..9, other values ignored; kept for the window descriptions, the picture does not use it.
  TContrast LEDContrast() const { return ledContrast_; }
  void SetLEDContrast(TContrast value);
  // Values below 1 are taken as 1.
  int NumDigits() const { return numDigits_; }
  void SetNumDigits(int value);
  TSegmentStyle SegmentStyle() const { return segmentStyle_; }
  void SetSegmentStyle(TSegmentStyle value);
  // A different text is stored and painted, then OnChange fires.
  const std::string& Text() const { return text_; }
  void SetText(const std::string& value);

  TChangeEvent OnChange;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void Rebuild();
  void RenderCharacter(QImage& picture, unsigned segments) const;

  TBevelCut bevelStyle_ = TBevelCut::bvLowered;
  TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
  TColor colorBackGround_ = clBlack;
  TColor colorLED_ = clLime;
  TColor offColorLED_ = clBlack;
  TDecSeperator decSeperator_ = TDecSeperator::dsComma;
  int digitHeight_ = 30;
  int digitWidth_ = 20;
  int digitLineWidth_ = 3;
  TContrast ledContrast_ = 7;
  int numDigits_ = 6;
  TSegmentStyle segmentStyle_ = TSegmentStyle::ssBeveled;
  std::string text_;
  std::array<QImage, kLastCode - kFirstCode + 1> pictures_;
};
