#include "controls/LEDDisplay.h"

#include <QPainter>

#include "controls/Canvas.h"
#include "text/Text.h"

namespace {

// Lit segments of the codes 45 ("-") to 91 ("["), in order.
constexpr unsigned A = TLEDDisplayEx::segA, B = TLEDDisplayEx::segB, C = TLEDDisplayEx::segC,
                   D = TLEDDisplayEx::segD, E = TLEDDisplayEx::segE, F = TLEDDisplayEx::segF,
                   G = TLEDDisplayEx::segG;
constexpr unsigned kSegments[47] = {
    G,                          // -
    0,                          // .
    0,                          // /
    A | B | C | D | E | F,      // 0
    B | C,                      // 1
    A | B | D | E | G,          // 2
    A | B | C | D | G,          // 3
    B | C | F | G,              // 4
    A | C | D | F | G,          // 5
    A | C | D | E | F | G,      // 6
    A | B | C,                  // 7
    A | B | C | D | E | F | G,  // 8
    A | B | C | D | F | G,      // 9
    0,                          // :
    0,                          // ;
    D | E,                      // <
    D | G,                      // =
    G,                          // >
    0,                          // ?
    0,                          // @
    A | B | C | E | F | G,      // A
    C | D | E | F | G,          // B
    A | D | E | F,              // C
    B | C | D | E | G,          // D
    A | D | E | F | G,          // E
    A | E | F | G,              // F
    A | C | D | E | F,          // G
    B | C | E | F | G,          // H
    E | F,                      // I
    B | C | D,                  // J
    B | C | E | F | G,          // K
    D | E | F,                  // L
    C | E | G,                  // M
    C | E | G,                  // N
    C | D | E | G,              // O
    A | B | E | F | G,          // P
    C | D | E | G,              // Q
    E | G,                      // R
    A | C | D | F | G,          // S
    D | E | F | G,              // T
    B | C | D | E | F,          // U
    C | D | E,                  // V
    C,                          // W
    A | D | E | G,              // X
    B | C | F | G,              // Y
    D | E | G,                  // Z
    A | E | G,                  // [
};

}  // namespace

TLEDDisplayEx::TLEDDisplayEx(QWidget* parent) : TInstrumentControl(parent) {
  resize(168, 36);
  Rebuild();
}

unsigned TLEDDisplayEx::Segments(int code) {
  if (code < kFirstCode || code > kLastCode) return 0;
  return kSegments[code - kFirstCode];
}

void TLEDDisplayEx::RenderCharacter(QImage& picture, unsigned segments) const {
  const int w = digitWidth_, h = digitHeight_, lw = digitLineWidth_;
  picture.fill(ToQColor(colorBackGround_, palette()));
  QPainter painter(&picture);
  TCanvas canvas(painter, palette());
  auto color = [&](unsigned segment) { return segments & segment ? colorLED_ : offColorLED_; };
  const unsigned order[7] = {segA, segF, segB, segG, segE, segC, segD};
  const int m = h / 2;
  if (segmentStyle_ == TSegmentStyle::ssBeveled) {
    const int t = (lw + 2) / 2;
    const QPoint p0(0, 0), p1(w - 1, 0), p2(lw + 1, lw + 1), p3(w - lw - 2, lw + 1), p4(0, m),
        p5(lw + 1, m - t), p6(w - lw - 2, m - t), p7(w - 1, m), p8(lw + 1, m + t),
        p9(w - lw - 2, m + t), p10(0, h - 1), p11(w - 1, h - 1), p12(lw + 1, h - lw - 2),
        p13(w - lw - 2, h - lw - 2);
    canvas.SetPen(colorBackGround_);
    for (unsigned segment : order) {
      canvas.SetBrush(color(segment));
      switch (segment) {
        case segA:
          canvas.Polygon({p0, p1, p3, p2});
          break;
        case segF:
          canvas.Polygon({p0, p2, p5, p4});
          break;
        case segB:
          canvas.Polygon({p1, p7, p6, p3});
          break;
        case segG:
          canvas.Polygon({p4, p5, p6, p7, p9, p8});
          break;
        case segE:
          canvas.Polygon({p4, p8, p12, p10});
          break;
        case segC:
          canvas.Polygon({p7, p11, p13, p9});
          break;
        default:
          canvas.Polygon({p10, p12, p13, p11});
          break;
      }
    }
    return;
  }
  const int xl = lw / 2, xr = w - lw / 2 - 1;
  for (unsigned segment : order) {
    canvas.SetPen(color(segment), lw);
    switch (segment) {
      case segA:
        canvas.Line(lw, lw / 2, w - lw - 1, lw / 2);
        break;
      case segF:
        canvas.Line(xl, 3 * lw / 2, xl, m - lw);
        break;
      case segB:
        canvas.Line(xr, 3 * lw / 2, xr, m - lw);
        break;
      case segG:
        canvas.Line(lw, m, w - lw, m);
        break;
      case segE:
        canvas.Line(xl, m + lw, xl, h - 3 * lw / 2);
        break;
      case segC:
        canvas.Line(xr, m + lw, xr, h - 3 * lw / 2);
        break;
      default:
        canvas.Line(lw, h - lw / 2 - 1, w - lw, h - lw / 2 - 1);
        break;
    }
  }
}

void TLEDDisplayEx::Rebuild() {
  for (int code = kFirstCode; code <= kLastCode; ++code) {
    QImage& picture = pictures_[code - kFirstCode];
    if (digitWidth_ < 1 || digitHeight_ < 1) {
      picture = QImage();
      continue;
    }
    picture = QImage(digitWidth_, digitHeight_, QImage::Format_RGB32);
    RenderCharacter(picture, Segments(code));
  }
}

void TLEDDisplayEx::SetBevelStyle(TBevelCut value) {
  if (Change(bevelStyle_, value)) update();
}

void TLEDDisplayEx::SetBorderStyle(TBorderStyle value) {
  if (Change(borderStyle_, value)) update();
}

void TLEDDisplayEx::SetColorBackGround(TColor value) {
  if (!Change(colorBackGround_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetColorLED(TColor value) {
  if (!Change(colorLED_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetOffColorLED(TColor value) {
  if (!Change(offColorLED_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetDecSeperator(TDecSeperator value) {
  if (Change(decSeperator_, value)) update();
}

void TLEDDisplayEx::SetDigitHeight(int value) {
  if (!Change(digitHeight_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetDigitWidth(int value) {
  if (!Change(digitWidth_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetDigitLineWidth(int value) {
  if (!Change(digitLineWidth_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetSegmentStyle(TSegmentStyle value) {
  if (!Change(segmentStyle_, value)) return;
  Rebuild();
  update();
}

void TLEDDisplayEx::SetLEDContrast(TContrast value) {
  if (ledContrast_ == value || !IsContrast(value)) return;
  ledContrast_ = value;
  update();
}

void TLEDDisplayEx::SetNumDigits(int value) {
  if (value < 1) value = 1;
  if (!Change(numDigits_, value)) return;
  update();
}

void TLEDDisplayEx::SetText(const std::string& value) {
  if (!Change(text_, value)) return;
  repaint();
  if (OnChange) OnChange(this);
}

void TLEDDisplayEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter, palette());
  canvas.SetBrush(colorBackGround_);
  canvas.FillRect({0, 0, width(), height()});
  const int pitch = width() / numDigits_;
  const int dh = digitHeight_, lw = digitLineWidth_;
  int x = (pitch - digitWidth_) / 2;
  const int y = (height() - dh) / 2;
  canvas.SetBrush(colorLED_);
  // Places without width (more places than pixels) are not drawn.
  for (int i = 0; i < numDigits_ && pitch > 0; ++i) {
    const unsigned char byte = i < int(text_.size()) ? static_cast<unsigned char>(text_[i]) : ' ';
    const int code = static_cast<unsigned char>(UpperAscii(char(byte & 0x7F)));
    if (code >= kFirstCode && code <= kLastCode && !pictures_[code - kFirstCode].isNull()) {
      painter.drawImage(x, y, pictures_[code - kFirstCode]);
    }
    if (byte & 0x80) {
      canvas.SetPen(colorLED_);
      switch (decSeperator_) {
        case TDecSeperator::dsPoint:
          canvas.Ellipse(x - 6, y + dh - 5, x - 2, y + dh - 1);
          break;
        case TDecSeperator::dsComma:
          canvas.Ellipse(x - 6, y + dh - 8, x - 2, y + dh - 4);
          canvas.MoveTo(x - 3, y + dh - 5);
          canvas.LineTo(x - 6, y + dh - 1);
          canvas.LineTo(x - 2, y + dh - 6);
          break;
        case TDecSeperator::dsDoublePoint:
          for (int c : {y + dh / 3, y + 2 * dh / 3}) canvas.Ellipse(x - 6, c - 2, x - 2, c + 2);
          break;
        case TDecSeperator::dsMinus:
          canvas.SetPen(colorLED_, lw);
          canvas.Line(x - 6, y + dh / 2, x - lw, y + dh / 2);
          break;
      }
    }
    x += pitch;
  }
  TRect r{0, 0, width(), height()};
  if (bevelStyle_ != TBevelCut::bvNone) canvas.Bevel(r, bevelStyle_ == TBevelCut::bvRaised);
  if (borderStyle_ == TBorderStyle::bsSingle) canvas.FrameRect(r, clWindowFrame);
}
