#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

class QColor;
class QPalette;

// Screen colours are 32-bit values with red in the low byte, then green, then blue
// (0x00BBGGRR). A negative value names a system colour, which takes its current value from the
// palette (see ToQColor).
using TColor = std::int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// System colours, resolved through the palette of the widget that paints (or the application's):
constexpr TColor clBtnFace = TColor(0x80000001);       // QPalette::Button
constexpr TColor clBtnHighlight = TColor(0x80000002);  // QPalette::Light
constexpr TColor clBtnShadow = TColor(0x80000003);     // QPalette::Dark
constexpr TColor clWindowFrame = TColor(0x80000004);   // QPalette::Shadow
constexpr TColor clGrayText = TColor(0x80000005);      // QPalette::Text of the Disabled group
constexpr TColor clWindow = TColor(0x80000006);        // QPalette::Window
constexpr TColor clWindowText = TColor(0x80000007);    // QPalette::WindowText

// The one conversion of a TColor to Qt's colour. A system colour takes its value from the given
// palette; an unknown system colour gives black.
QColor ToQColor(TColor color, const QPalette& palette);
// The same with the application's palette.
QColor ToQColor(TColor color);
// A Qt colour as a TColor (alpha dropped).
TColor FromQColor(const QColor& color);
// RGB(red, green, blue), each 0..255.
constexpr TColor RGB(int red, int green, int blue) {
  return TColor(unsigned(red & 0xFF) | unsigned(green & 0xFF) << 8 | unsigned(blue & 0xFF) << 16);
}
constexpr int GetRValue(TColor c) {
  return c & 0xFF;
}
constexpr int GetGValue(TColor c) {
  return (c >> 8) & 0xFF;
}
constexpr int GetBValue(TColor c) {
  return (c >> 16) & 0xFF;
}

// Three components, each 0..1: red, green, blue, or hue, luminance, saturation. Hue is a fraction
// of a full turn: 0 and 1 red, 1/6 yellow, 2/6 green, 3/6 cyan, 4/6 blue, 5/6 magenta.
using TColorTriple = std::array<double, 3>;

// A component outside 0..1. The message names the first such component, for example
// "HLS2RGB: 0 <= Hue value <= 1 required".
class EColorConv : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Conversions on the double cone (luminance 0 black, 1/2 full colours, 1 white). Results are
// clamped to 0..1; out-of-range input raises EColorConv and leaves the result untouched.
void HLS2RGB(const TColorTriple& hls, TColorTriple& rgb);
void RGB2HLS(const TColorTriple& rgb, TColorTriple& hls);

// A contrast step, 0..9; the controls ignore other values.
using TContrast = int;
constexpr bool IsContrast(int value) {
  return value >= 0 && value <= 9;
}

// Light: each channel X becomes 255 - round((256 - X) * LightFactor), so a smaller factor gives a
// lighter colour and 0 gives white. Shadow: the colour's luminance times ShadowFactor, hue and
// saturation kept. Rounding is to nearest with halves to even; channels are kept within 0..255.
// A system colour is resolved through the application's palette first.
void GetShadeColors(TColor color, TColor& light, TColor& shadow, float lightFactor,
                    float shadowFactor);
// GetShadeColors with the factors (10 - LightContrast) / 10 and (10 - ShadowContrast) / 10.
void GetContrastColors(TColor color, TColor& light, TColor& shadow, int lightContrast,
                       int shadowContrast);
