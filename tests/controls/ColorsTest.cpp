#include <gtest/gtest.h>

#include <QColor>
#include <QPalette>
#include <cmath>

#include "controls/Colors.h"

namespace {

struct HlsRow {
  TColorTriple hls, rgb;
};

TEST(ColorsTest, HlsToRgbTable) {
  const HlsRow rows[] = {
      {{0, 0.5, 1}, {1, 0, 0}},         {{1, 0.5, 1}, {1, 0, 0}},
      {{0.5, 0.5, 1}, {0, 1, 1}},       {{0.25, 0.75, 0.5}, {0.75, 0.875, 0.625}},
      {{0.7, 0.3, 0}, {0.3, 0.3, 0.3}}, {{0.5, 1, 1}, {1, 1, 1}},
      {{0.5, 0, 1}, {0, 0, 0}},         {{0.75, 0.25, 1}, {0.25, 0, 0.5}},
  };
  for (const auto& row : rows) {
    TColorTriple rgb{};
    HLS2RGB(row.hls, rgb);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(rgb[k], row.rgb[k], 1e-12) << row.hls[0] << " " << k;
  }
}

TEST(ColorsTest, RgbToHlsTable) {
  const HlsRow rows[] = {
      {{0, 0.5, 0}, {0.5, 0.5, 0.5}},
      {{0, 0.2, 0}, {0.2, 0.2, 0.2}},
      {{0, 0.9, 0}, {0.9, 0.9, 0.9}},
      {{1, 0.5, 1}, {1, 0, 0}},
      {{2.0 / 3, 0.5, 1}, {0, 0, 1}},
      {{1.0 / 12, 0.6, 0.5}, {0.8, 0.6, 0.4}},
      {{7.0 / 12, 0.2, 0.5}, {0.1, 0.2, 0.3}},
      {{0, 1, 0}, {1, 1, 1}},
      {{0, 0, 0}, {0, 0, 0}},
  };
  for (const auto& row : rows) {
    TColorTriple hls{};
    RGB2HLS(row.rgb, hls);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(hls[k], row.hls[k], 1e-9) << row.rgb[0] << " " << k;
  }
}

// Every colour of a coarse grid: the usual double-cone luminance and saturation, and the way
// back to the same colour.
TEST(ColorsTest, RgbToHlsMatchesTheDoubleConeAndGoesBack) {
  for (int r = 0; r <= 10; ++r) {
    for (int g = 0; g <= 10; ++g) {
      for (int b = 0; b <= 10; ++b) {
        const TColorTriple rgb{r / 10.0, g / 10.0, b / 10.0};
        TColorTriple hls{}, back{};
        RGB2HLS(rgb, hls);
        const double hi = std::fmax(rgb[0], std::fmax(rgb[1], rgb[2]));
        const double lo = std::fmin(rgb[0], std::fmin(rgb[1], rgb[2]));
        const double lum = (hi + lo) / 2;
        double sat = 0;
        if (hi - lo > 1e-9) sat = lum <= 0.5 ? (hi - lo) / (hi + lo) : (hi - lo) / (2 - hi - lo);
        EXPECT_NEAR(hls[1], lum, 1e-9) << r << g << b;
        EXPECT_NEAR(hls[2], sat, 1e-9) << r << g << b;
        HLS2RGB(hls, back);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], rgb[k], 1e-9) << r << g << b;
      }
    }
  }
}

TEST(ColorsTest, OutOfRangeComponentsAreNamedFirstFirst) {
  struct Row {
    bool toRgb;
    TColorTriple in;
    const char* message;
  };
  const Row rows[] = {
      {true, {-0.0001, 0.5, 0.5}, "HLS2RGB: 0 <= Hue value <= 1 required"},
      {true, {0.5, 1.0001, 2}, "HLS2RGB: 0 <= Luminance value <= 1 required"},
      {true, {0.5, 0.5, 1.0001}, "HLS2RGB: 0 <= Saturation value <= 1 required"},
      {false, {1.0001, -1, 0}, "RGB2HLS: 0 <= Red value <= 1 required"},
      {false, {0, -0.0001, 0}, "RGB2HLS: 0 <= Green value <= 1 required"},
      {false, {0, 0, 1.0001}, "RGB2HLS: 0 <= Blue value <= 1 required"},
  };
  for (const auto& row : rows) {
    TColorTriple out{7, 7, 7};
    try {
      row.toRgb ? HLS2RGB(row.in, out) : RGB2HLS(row.in, out);
      ADD_FAILURE() << "no exception for " << row.message;
    } catch (const EColorConv& e) {
      EXPECT_STREQ(e.what(), row.message);
    }
    EXPECT_EQ(out, (TColorTriple{7, 7, 7}));
  }
}

TEST(ColorsTest, ContrastColors) {
  struct Row {
    TColor color;
    int lightContrast, shadowContrast;
    TColor light, shadow;
  };
  const Row rows[] = {
      {clWhite, 6, 6, RGB(255, 255, 255), RGB(102, 102, 102)},
      {clLime, 6, 6, RGB(153, 255, 153), RGB(0, 102, 0)},
      {clRed, 7, 7, RGB(255, 178, 178), RGB(77, 0, 0)},
      {clYellow, 6, 6, RGB(255, 255, 153), RGB(102, 102, 0)},
      {clGray, 5, 4, RGB(191, 191, 191), RGB(77, 77, 77)},
      // (256 - X) / 2 ends in one half for X = 255, 253, 251: halves go to the even neighbour.
      {RGB(255, 253, 251), 5, 0, RGB(255, 253, 253), RGB(255, 253, 251)},
      // A light factor of 1 would take black below 0: it stays black.
      {clBlack, 0, 0, clBlack, clBlack},
  };
  for (const auto& row : rows) {
    TColor light = -1, shadow = -1;
    GetContrastColors(row.color, light, shadow, row.lightContrast, row.shadowContrast);
    EXPECT_EQ(light, row.light) << std::hex << row.color;
    EXPECT_EQ(shadow, row.shadow) << std::hex << row.color;
  }
}

TEST(ColorsTest, ShadeColorsStayWithinBytes) {
  TColor light, shadow;
  GetShadeColors(RGB(0, 10, 200), light, shadow, 1.5f, 3.0f);
  EXPECT_EQ(light, RGB(0, 0, 171));
  EXPECT_EQ(shadow, clWhite);
  GetShadeColors(RGB(0, 10, 200), light, shadow, -1.0f, -1.0f);
  EXPECT_EQ(light, clWhite);
  EXPECT_EQ(shadow, clBlack);
}

TEST(ColorsTest, QColorConversion) {
  EXPECT_EQ(ToQColor(RGB(1, 2, 3)), QColor(1, 2, 3));
  EXPECT_EQ(ToQColor(clRed), QColor(255, 0, 0));
  EXPECT_EQ(FromQColor(QColor(1, 2, 3)), RGB(1, 2, 3));
  QPalette palette;
  palette.setColor(QPalette::Active, QPalette::Light, QColor(9, 8, 7));
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(6, 5, 4));
  EXPECT_EQ(ToQColor(clBtnHighlight, palette), QColor(9, 8, 7));
  EXPECT_EQ(ToQColor(clGrayText, palette), QColor(6, 5, 4));
}

}  // namespace
