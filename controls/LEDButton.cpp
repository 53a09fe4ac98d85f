#include "controls/LEDButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QKeySequence>
#include <QPainter>
#include <QShortcutEvent>
#include <algorithm>

#include "controls/Canvas.h"
#include "platform/Latin1.h"
#include "text/Text.h"

TLEDButton::TLEDButton(QWidget* parent) : TInstrumentControl(parent) {
  resize(45, 45);
  UpdateBevelColors();
  UpdateDarkLED();
}

void TLEDButton::UpdateBevelColors() {
  GetContrastColors(color_, highlight_, shadow_, 5, 4);
}

void TLEDButton::UpdateDarkLED() {
  TColor discarded;
  GetContrastColors(colorLED_, discarded, darkLED_, ledContrast_, ledContrast_);
}

void TLEDButton::SetBeveled(bool value) {
  if (Change(beveled_, value)) update();
}

void TLEDButton::SetBorderStyle(TBorderStyle value) {
  if (Change(borderStyle_, value)) update();
}

void TLEDButton::SetButtonDirection(TButtonDirection value) {
  if (Change(buttonDirection_, value)) update();
}

void TLEDButton::SetColor(TColor value) {
  if (!Change(color_, value)) return;
  UpdateBevelColors();
  update();
}

void TLEDButton::SetColorLED(TColor value) {
  if (!Change(colorLED_, value)) return;
  UpdateDarkLED();
  update();
}

void TLEDButton::SetDepth(int value) {
  if (Change(depth_, value)) update();
}

void TLEDButton::SetShowLED(bool value) {
  if (Change(showLED_, value)) update();
}

void TLEDButton::SetStateOn(bool value) {
  if (Change(stateOn_, value)) update();
}

void TLEDButton::SetTextPosition(TTextPosition value) {
  if (Change(textPosition_, value)) update();
}

void TLEDButton::SetCaption(const std::string& value) {
  if (!Change(caption_, value)) return;
  UpdateShortcut();
  update();
}

void TLEDButton::SetLEDContrast(TContrast value) {
  if (ledContrast_ == value || !IsContrast(value)) return;
  ledContrast_ = value;
  UpdateDarkLED();
  update();
}

void TLEDButton::SetGlyph(const QImage& value) {
  glyph_ = value;
  update();
}

void TLEDButton::SetNumGlyphs(int value) {
  if (numGlyphs_ == value || value < 0 || value > 4) return;
  numGlyphs_ = value;
  update();
}

char TLEDButton::Accelerator() const {
  for (std::size_t i = 0; i + 1 < caption_.size(); ++i) {
    if (caption_[i] != '&') continue;
    if (caption_[i + 1] != '&') return caption_[i + 1];
    ++i;
  }
  return 0;
}

void TLEDButton::UpdateShortcut() {
  if (shortcutId_ != 0) releaseShortcut(shortcutId_);
  shortcutId_ = 0;
  if (Accelerator() != 0) {
    shortcutId_ = grabShortcut(QKeySequence::mnemonic(QString::fromLatin1(caption_)));
  }
}

bool TLEDButton::DialogChar(char key) {
  const char accelerator = Accelerator();
  if (accelerator == 0 || UpperAscii(accelerator) != UpperAscii(key)) return false;
  if (isEnabled()) {
    Click();
    repaint();
  }
  return true;
}

bool TLEDButton::event(QEvent* event) {
  if (event->type() == QEvent::Shortcut &&
      static_cast<QShortcutEvent*>(event)->shortcutId() == shortcutId_ && shortcutId_ != 0) {
    DialogChar(Accelerator());
    return true;
  }
  return TInstrumentControl::event(event);
}

void TLEDButton::Click() {
  TInstrumentControl::Click();
  if (switching_) SetStateOn(!stateOn_);
}

void TLEDButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  pressed_ = true;
  repaint();
  TInstrumentControl::MouseDown(button, shift, x, y);
}

void TLEDButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  pressed_ = false;
  repaint();
  TInstrumentControl::MouseUp(button, shift, x, y);
  if (OnRelease) OnRelease(this);
}

namespace {

// The raised box's edges within r (the frame already taken off): d + 1 lines of the thick edge
// (one when pressed) and the two side fans, or straight sides when not beveled.
struct BevelPainter {
  TCanvas& canvas;
  TRect r;
  int d;
  bool pressed, beveled;
  TColor hi, sh;

  void Line(TColor color, int x1, int y1, int x2, int y2) {
    canvas.SetPen(color);
    canvas.Line(x1, y1, x2, y2);
  }

  void BottomUp() {
    const int L = r.Left, T = r.Top, Rt = r.Right, B = r.Bottom;
    Line(hi, Rt - 1, T, L, T);
    for (int i = 0; i <= d; ++i) {
      if (!beveled)
        Line(hi, L, T, L, B - 1);
      else if (pressed)
        Line(hi, L, T, L + i / 2, B - 1);
      else
        Line(hi, L, T, L + i, B - i - 1);
      if (!beveled)
        Line(sh, Rt - 1, T, Rt - 1, B);
      else if (pressed)
        Line(sh, Rt - 1, T, Rt - 1 - i / 2, B - 1);
      else
        Line(sh, Rt - 1, T, Rt - i - 1, B - i - 1);
    }
    if (pressed) return Line(sh, L, B - 1, Rt - 1, B - 1);
    for (int i = 0; i <= d; ++i) {
      if (beveled)
        Line(sh, L + i, B - i - 1, Rt - i - 1, B - i - 1);
      else
        Line(sh, L, B - i - 1, Rt - 1, B - i - 1);
    }
  }

  void TopUp() {
    const int L = r.Left, T = r.Top, Rt = r.Right, B = r.Bottom;
    Line(sh, Rt - 1, B - 1, L, B - 1);
    for (int i = 0; i <= d; ++i) {
      if (!beveled)
        Line(hi, L, B - 1, L, T - 1);
      else if (pressed)
        Line(hi, L, B - 1, L + i / 2, T);
      else
        Line(hi, L, B - 1, L + i, T + i);
      if (!beveled)
        Line(sh, Rt - 1, B - 1, Rt - 1, T - 1);
      else if (pressed)
        Line(sh, Rt - 1, B - 1, Rt - 1 - i / 2, T);
      else
        Line(sh, Rt - 1, B - 1, Rt - i - 1, T + i);
    }
    if (pressed) return Line(hi, L, T, Rt - 1, T);
    for (int i = 0; i <= d; ++i) {
      if (beveled)
        Line(hi, L + i, T + i, Rt - i - 1, T + i);
      else
        Line(hi, L, T + i, Rt - 1, T + i);
    }
  }

  void LeftUp() {
    const int L = r.Left, T = r.Top, Rt = r.Right, B = r.Bottom;
    Line(sh, Rt - 1, T, Rt - 1, B);
    for (int i = 0; i <= d; ++i) {
      if (!beveled)
        Line(hi, Rt - 1, T, L - 1, T);
      else if (pressed)
        Line(hi, Rt - 1, T, L, T + i / 2);
      else
        Line(hi, Rt - 1, T, L + i, T + i);
      if (!beveled)
        Line(sh, Rt - 1, B - 1, L - 1, B - 1);
      else if (pressed)
        Line(sh, Rt - 1, B - 1, L, B - 1 - i / 2);
      else
        Line(sh, Rt - 1, B - 1, L + i, B - i - 1);
    }
    if (pressed) return Line(hi, L, T, L, B - 1);
    for (int i = 0; i <= d; ++i) {
      if (beveled)
        Line(hi, L + i, T + i, L + i, B - i - 1);
      else
        Line(hi, L + i, T, L + i, B - 1);
    }
  }

  void RightUp() {
    const int L = r.Left, T = r.Top, Rt = r.Right, B = r.Bottom;
    Line(hi, L, T, L, B);
    for (int i = 0; i <= d; ++i) {
      if (!beveled)
        Line(hi, L, T, Rt, T);
      else if (pressed)
        Line(hi, L, T, Rt - 1, T + i / 2);
      else
        Line(hi, L, T, Rt - i - 1, T + i);
      if (!beveled)
        Line(sh, L, B - 1, Rt, B - 1);
      else if (pressed)
        Line(sh, L, B - 1, Rt - 1, B - 1 - i / 2);
      else
        Line(sh, L, B - 1, Rt - i - 1, B - i - 1);
    }
    if (pressed) return Line(sh, Rt - 1, T, Rt - 1, B);
    for (int i = 0; i <= d; ++i) {
      if (beveled)
        Line(sh, Rt - i - 1, T + i, Rt - i - 1, B - i - 1);
      else
        Line(sh, Rt - 1 - i, T, Rt - 1 - i, B);
    }
  }

  void Draw(TButtonDirection direction) {
    switch (direction) {
      case TButtonDirection::bdBottomUp:
        return BottomUp();
      case TButtonDirection::bdTopUp:
        return TopUp();
      case TButtonDirection::bdLeftUp:
        return LeftUp();
      case TButtonDirection::bdRightUp:
        return RightUp();
      case TButtonDirection::bdNone:
        return;
    }
  }
};

// Image `index` of a strip of `count` equal images, its bottom-left pixel's colour transparent.
QImage GlyphImage(const QImage& glyph, int count, int index) {
  const int w = glyph.width() / count, h = glyph.height();
  QImage image = glyph.copy(index * w, 0, w, h).convertToFormat(QImage::Format_ARGB32);
  const QRgb transparent = glyph.pixel(0, h - 1) | 0xFF000000u;
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < w; ++x) {
      if ((row[x] | 0xFF000000u) == transparent) row[x] = 0;
    }
  }
  return image;
}

}  // namespace

void TLEDButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  TCanvas canvas(painter, palette());
  painter.setFont(font());
  TRect r{0, 0, width(), height()};
  if (textPosition_ == TTextPosition::tpAbove || textPosition_ == TTextPosition::tpBelow) {
    DrawCaption(painter, r);
    // The width of "W" serves as the line height.
    const int line = QFontMetrics(font()).horizontalAdvance(QLatin1Char('W')) + 2;
    if (textPosition_ == TTextPosition::tpAbove)
      r.Top += line;
    else
      r.Bottom -= line;
  }
  canvas.SetBrush(color_);
  canvas.FillRect(r);

  // A depth beyond the button's size draws as that size.
  const int d = std::clamp(depth_, 0, std::max(width(), height()));
  BevelPainter bevel{canvas, r, d, pressed_, beveled_, highlight_, shadow_};
  if (borderStyle_ == TBorderStyle::bsSingle) {
    canvas.FrameRect(r, clWindowFrame);
    bevel.r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1};
  }
  bevel.Draw(buttonDirection_);

  if (pressed_) {
    const int s = d / 2;
    switch (buttonDirection_) {
      case TButtonDirection::bdTopUp:
        r.Top -= s, r.Bottom -= s;
        break;
      case TButtonDirection::bdLeftUp:
        r.Left -= s, r.Right -= s;
        break;
      case TButtonDirection::bdRightUp:
        r.Left += s, r.Right += s;
        break;
      default:
        r.Top += s, r.Bottom += s;
        break;
    }
  }
  canvas.SetPen(clBlack);
  if (showLED_) DrawLamp(canvas, r, d);
  if (textPosition_ == TTextPosition::tpOnButton) DrawCaption(painter, r);
  if (!glyph_.isNull() && numGlyphs_ > 0 && textPosition_ != TTextPosition::tpOnButton) {
    int index = 0;
    if (!isEnabled() && numGlyphs_ >= 2)
      index = 1;
    else if (isEnabled() && stateOn_ && numGlyphs_ > 2)
      index = 2;
    const QImage image = GlyphImage(glyph_, numGlyphs_, index);
    painter.drawImage((r.Left + r.Right - image.width()) / 2,
                      (r.Top + r.Bottom - image.height()) / 2, image);
  }
}

void TLEDButton::DrawCaption(QPainter& painter, const TRect& area) const {
  if (caption_.empty()) return;
  int vertical = Qt::AlignVCenter;
  if (textPosition_ == TTextPosition::tpAbove) vertical = Qt::AlignTop;
  if (textPosition_ == TTextPosition::tpBelow) vertical = Qt::AlignBottom;
  painter.setPen(ToQColor(isEnabled() ? clWindowText : clGrayText, palette()));
  painter.drawText(QRect(area.Left, area.Top, area.Width(), area.Height()),
                   Qt::AlignHCenter | vertical | Qt::TextSingleLine | Qt::TextShowMnemonic,
                   Latin1(caption_));
}

void TLEDButton::DrawLamp(TCanvas& canvas, TRect& r, int d) const {
  canvas.SetBrush(!isEnabled() ? color_ : (stateOn_ ? colorLED_ : darkLED_));
  const int L = r.Left, T = r.Top, Rt = r.Right, B = r.Bottom;
  switch (buttonDirection_) {
    case TButtonDirection::bdTopUp:
      canvas.Rectangle(L + d + 3, T + d + 4, Rt - d - 3, T + d + 9);
      r.Top += d + 7;
      break;
    case TButtonDirection::bdLeftUp:
      canvas.Rectangle(L + d + 4, T + d + 3, L + d + 9, B - d - 3);
      r.Left += d + 9;
      break;
    case TButtonDirection::bdRightUp:
      canvas.Rectangle(Rt - d - 9, T + d + 3, Rt - d - 4, B - d - 3);
      r.Right -= d + 9;
      break;
    default:
      canvas.Rectangle(L + d + 3, B - d - 9, Rt - d - 3, B - d - 4);
      r.Bottom -= d + 7;
      break;
  }
}
