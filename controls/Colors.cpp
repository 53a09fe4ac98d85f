#include "controls/Colors.h"

#include <QColor>
#include <QGuiApplication>
#include <QPalette>
#include <cmath>
#include <cstdint>

namespace {

const int kVertex[6][3] = {{1, -1, -1}, {1, 1, -1},  {-1, 1, -1},
                           {-1, 1, 1},  {-1, -1, 1}, {1, -1, 1}};

constexpr double kTiny = 1e-8;

void Check(const TColorTriple& t, const char* function, const char* const names[3]) {
  for (int k = 0; k < 3; ++k) {
    if (t[k] < 0 || t[k] > 1) {
      throw EColorConv(std::string(function) + ": 0 <= " + names[k] + " value <= 1 required");
    }
  }
}

double Clamp01(double v) {
  return v < 0 ? 0.0 : (v > 1 ? 1.0 : v);
}

int ClampByte(double v) {
  return v < 0 ? 0 : (v > 255 ? 255 : int(v));
}

// The hue (0..6) of a colour rescaled so that its smallest channel is -1 and its largest +1.
double Hue6(const double h[3], int minIndex) {
  switch (minIndex) {
    case 0:
      return h[1] > h[2] ? 2 + (h[2] + 1) / 2 : 4 - (h[1] + 1) / 2;
    case 1:
      return h[2] > h[0] ? 4 + (h[0] + 1) / 2 : 6 - (h[2] + 1) / 2;
    default:
      return h[1] < h[0] ? (h[1] + 1) / 2 : 2 - (h[0] + 1) / 2;
  }
}

// The first channel pair (green, red), (blue, green), (blue, red) that differs by more than the
// tolerance; false when all three are equal.
bool DifferingPair(const double v[3], int& p, int& q) {
  static const int kPairs[3][2] = {{1, 0}, {2, 1}, {2, 0}};
  for (const auto& pair : kPairs) {
    if (std::fabs(v[pair[0]] - v[pair[1]]) > kTiny) {
      p = pair[0];
      q = pair[1];
      return true;
    }
  }
  return false;
}

QColor SystemColor(TColor color, const QPalette& palette) {
  switch (color) {
    case clBtnFace:
      return palette.color(QPalette::Active, QPalette::Button);
    case clBtnHighlight:
      return palette.color(QPalette::Active, QPalette::Light);
    case clBtnShadow:
      return palette.color(QPalette::Active, QPalette::Dark);
    case clWindowFrame:
      return palette.color(QPalette::Active, QPalette::Shadow);
    case clGrayText:
      return palette.color(QPalette::Disabled, QPalette::Text);
    case clWindow:
      return palette.color(QPalette::Active, QPalette::Window);
    case clWindowText:
      return palette.color(QPalette::Active, QPalette::WindowText);
    default:
      return QColor(0, 0, 0);
  }
}

}  // namespace

QColor ToQColor(TColor color, const QPalette& palette) {
  if (color < 0) return SystemColor(color, palette);
  return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
}

QColor ToQColor(TColor color) {
  return ToQColor(color, QGuiApplication::palette());
}

TColor FromQColor(const QColor& color) {
  QColor rgb = color.toRgb();
  return RGB(rgb.red(), rgb.green(), rgb.blue());
}

void HLS2RGB(const TColorTriple& hls, TColorTriple& rgb) {
  static const char* const kNames[3] = {"Hue", "Luminance", "Saturation"};
  Check(hls, "HLS2RGB", kNames);
  const double x = hls[0] * 6;
  const double whole = std::trunc(x);
  const int i = int(static_cast<std::int64_t>(whole) % 6);
  const int j = (i + 1) % 6;
  const double f = x - whole;
  const double lum = hls[1];
  for (int k = 0; k < 3; ++k) {
    double c = (kVertex[j][k] - kVertex[i][k]) * f + kVertex[i][k];
    c *= hls[2];
    c = lum > 0.5 ? lum + (1 - lum) * c : lum * (c + 1);
    rgb[k] = Clamp01(c);
  }
}

void RGB2HLS(const TColorTriple& rgb, TColorTriple& hls) {
  static const char* const kNames[3] = {"Red", "Green", "Blue"};
  Check(rgb, "RGB2HLS", kNames);
  double a[3];
  for (int k = 0; k < 3; ++k) a[k] = 2 * rgb[k] - 1;
  int top = 0;
  double m = std::fabs(a[0]);
  for (int k = 1; k < 3; ++k) {
    if (std::fabs(a[k]) > m) {
      m = std::fabs(a[k]);
      top = k;
    }
  }
  if (m < kTiny) {
    hls = {0, 0.5, 0};
    return;
  }
  double n[3], h[3];
  for (int k = 0; k < 3; ++k) n[k] = a[k] / m;
  const bool bright = a[top] > 0;
  double spread = 0;
  for (int k = 0; k < 3; ++k) spread = std::fmax(spread, bright ? 1 - n[k] : n[k] + 1);
  if (spread < kTiny) {
    hls = {0, rgb[0], 0};
    return;
  }
  int minIndex = top;
  if (bright) {
    double least = 1;
    minIndex = 0;
    for (int k = 0; k < 3; ++k) {
      h[k] = (2 / spread) * (n[k] - 1) + 1;
      if (h[k] < least) {
        least = h[k];
        minIndex = k;
      }
    }
  } else {
    for (int k = 0; k < 3; ++k) h[k] = (2 / spread) * (n[k] + 1) - 1;
  }
  const double hue = Hue6(h, minIndex) / 6;

  // One offset: -1 above one half (the bright nappe of the cone), +1 below.
  const double o = bright ? -1 : 1;
  double sat = 0;
  int p, q;
  if (DifferingPair(a, p, q)) {
    sat = bright ? (a[p] - a[q]) / ((a[p] + o) * h[q] - (a[q] + o) * h[p])
                 : (a[p] - a[q]) / ((a[q] + o) * h[p] - (a[p] + o) * h[q]);
  }
  double c = a[0] + o;
  if (DifferingPair(h, p, q)) c = (h[p] * (a[q] + o) - h[q] * (a[p] + o)) / (h[p] - h[q]);
  const double lum = bright ? c / 2 + 1 : c / 2;
  hls = {Clamp01(hue), Clamp01(lum), Clamp01(sat)};
}

void GetShadeColors(TColor color, TColor& light, TColor& shadow, float lightFactor,
                    float shadowFactor) {
  const TColor rgb = FromQColor(ToQColor(color));
  const int channel[3] = {GetRValue(rgb), GetGValue(rgb), GetBValue(rgb)};
  int lit[3];
  for (int k = 0; k < 3; ++k) {
    lit[k] = ClampByte(255 - std::nearbyint((256 - channel[k]) * double(lightFactor)));
  }
  TColorTriple hls, dark;
  RGB2HLS({channel[0] / 255.0, channel[1] / 255.0, channel[2] / 255.0}, hls);
  hls[1] = Clamp01(hls[1] * double(shadowFactor));
  HLS2RGB(hls, dark);
  light = RGB(lit[0], lit[1], lit[2]);
  shadow = RGB(ClampByte(std::nearbyint(dark[0] * 255)), ClampByte(std::nearbyint(dark[1] * 255)),
               ClampByte(std::nearbyint(dark[2] * 255)));
}

void GetContrastColors(TColor color, TColor& light, TColor& shadow, int lightContrast,
                       int shadowContrast) {
  GetShadeColors(color, light, shadow, float(10 - lightContrast) / 10.0f,
                 float(10 - shadowContrast) / 10.0f);
}
