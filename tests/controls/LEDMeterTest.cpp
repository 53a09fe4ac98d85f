#include <gtest/gtest.h>

#include "ControlsTestSupport.h"
#include "controls/LEDMeter.h"

namespace {

TEST(LEDMeterTest, LitCountTable) {
  struct Row {
    int n, min, max, value, lit;
  };
  const Row rows[] = {
      {20, 0, 2000, 0, 0},   {20, 0, 2000, 50, 0},       {20, 0, 2000, 100, 1},
      {20, 0, 2000, 150, 2}, {20, 0, 2000, 250, 2},      {20, 0, 2000, 350, 4},
      {20, 0, 2000, 450, 4}, {20, 0, 2000, 1500, 15},    {20, 0, 2000, 2000, 20},
      {10, 0, 10, 6, 6},     {10, 0, 10, 25, 11},        {10, 5, 5, 5, 0},
      {10, 0, 0, 3, 0},      {16, 0, 16, -3, 0},         {10, 10, 20, 15, 5},
      {10, 10, 20, 10, 0},   {10, 0, 1, 2000000000, 11},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TLEDMeter::LitCount(r.n, r.min, r.max, r.value), r.lit)
        << r.n << " " << r.min << ".." << r.max << " at " << r.value;
  }
}

TEST(LEDMeterTest, PositionIsClampedAndAnnouncedAfterEachChange) {
  TLEDMeter meter;
  int changes = 0;
  meter.OnChange = [&](TLEDMeter* sender) {
    EXPECT_EQ(sender, &meter);
    ++changes;
  };
  meter.SetPosition(150);
  EXPECT_EQ(meter.Position(), 100);
  EXPECT_EQ(changes, 1);
  meter.SetPosition(150);  // compared before clamping: announced again
  EXPECT_EQ(changes, 2);
  meter.SetPosition(100);
  EXPECT_EQ(changes, 2);
  meter.SetPosition(-5);
  EXPECT_EQ(meter.Position(), 0);
  meter.SetMax(50);  // not re-clamped
  meter.SetPosition(80);
  meter.SetMax(40);
  EXPECT_EQ(meter.Position(), 50);
}

TEST(LEDMeterTest, ZoneStartsStayInOrderAndInRange) {
  TLEDMeter meter;
  meter.SetStartColor2(95);
  EXPECT_EQ(meter.StartColor2(), 90);
  meter.SetStartColor3(10);
  EXPECT_EQ(meter.StartColor3(), 90);
  meter.SetStartColor3(500);
  EXPECT_EQ(meter.StartColor3(), 100);
  meter.SetMax(60);
  EXPECT_EQ(meter.StartColor2(), 60);
  EXPECT_EQ(meter.StartColor3(), 60);
  meter.SetMin(70);
  EXPECT_EQ(meter.StartColor2(), 70);
  EXPECT_EQ(meter.StartColor3(), 70);
  meter.SetNumDigits(0);
  EXPECT_EQ(meter.NumDigits(), 1);
}

// More cells than pixels: nothing to see, and nothing to wait for.
TEST(LEDMeterTest, HugeCellCountPaintsAtOnce) {
  TLEDMeter meter;
  meter.SetNumDigits(1 << 30);
  meter.SetPosition(50);
  EXPECT_EQ(Grab(meter).width(), 143);
}

TEST(LEDMeterTest, UnlitColoursFollowTheContrast) {
  TLEDMeter meter;
  EXPECT_EQ(meter.OffColor(0), RGB(0, 102, 0));
  EXPECT_EQ(meter.OffColor(1), RGB(102, 102, 0));
  EXPECT_EQ(meter.OffColor(2), RGB(102, 0, 0));
  meter.SetLEDContrast(10);
  EXPECT_EQ(meter.LEDContrast(), 6);
  meter.SetLEDContrast(5);
  EXPECT_EQ(meter.OffColor(0), RGB(0, 128, 0));
  meter.SetColorLED3(clBlue);
  EXPECT_EQ(meter.OffColor(2), RGB(0, 0, 128));
}

// The client's S-meter: one lit cell, in the zone of its value.
TEST(LEDMeterTest, SingleLedShowsOnlyTheLastLitCell) {
  TLEDMeter meter;
  meter.setPalette(FixedPalette());
  meter.SetMax(10);
  meter.SetNumDigits(10);
  meter.SetSingleLED(true);
  meter.SetStartColor2(5);
  meter.SetStartColor3(8);
  meter.SetBevelStyle(TBevelCut::bvNone);
  meter.SetPosition(6);
  QImage image = Grab(meter);  // 143 x 16: cells 14 wide, sharing their outline column
  const TColor expected[10] = {RGB(0, 102, 0), RGB(0, 102, 0), RGB(0, 102, 0),   RGB(0, 102, 0),
                               RGB(0, 102, 0), clYellow,       RGB(102, 102, 0), RGB(102, 102, 0),
                               RGB(102, 0, 0), RGB(102, 0, 0)};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(PixelAt(image, 14 * i + 7, 8), expected[i]) << i;
  EXPECT_EQ(PixelAt(image, 14, 8), clBlack);
  EXPECT_EQ(PixelAt(image, 14 * 5 + 7, 0), clBlack);

  meter.SetPosition(10);
  image = Grab(meter);
  EXPECT_EQ(PixelAt(image, 14 * 9 + 7, 8), clRed);
  EXPECT_EQ(PixelAt(image, 14 * 8 + 7, 8), RGB(102, 0, 0));
  meter.SetMax(5);  // the last lit cell lies beyond the bar: none lit
  image = Grab(meter);
  for (int i = 0; i < 10; ++i) EXPECT_NE(PixelAt(image, 14 * i + 7, 8), clRed) << i;
}

// The microphone level: 16 cells upwards inside a lowered bevel.
TEST(LEDMeterTest, UpwardBarInsideABevel) {
  TLEDMeter meter;
  meter.setPalette(FixedPalette());
  meter.resize(20, 130);
  meter.SetDirection(TMeterDirection::mdUp);
  meter.SetNumDigits(16);
  meter.SetMax(16);
  meter.SetStartColor2(10);
  meter.SetStartColor3(13);
  meter.SetPosition(11);
  const QImage image = Grab(meter);  // cells 8 high from y = 121 upwards, 17 wide
  auto cell = [&](int i) { return PixelAt(image, 10, 130 - 1 - (i + 1) * 8 + 4); };
  EXPECT_EQ(cell(0), clLime);
  EXPECT_EQ(cell(9), clLime);
  EXPECT_EQ(cell(10), clYellow);
  EXPECT_EQ(cell(11), RGB(102, 102, 0));
  EXPECT_EQ(cell(15), RGB(102, 0, 0));
  EXPECT_EQ(PixelAt(image, 0, 0), kFixedShadow);
  EXPECT_EQ(PixelAt(image, 19, 0), kFixedShadow);
  EXPECT_EQ(PixelAt(image, 0, 129), kFixedHighlight);
  EXPECT_EQ(PixelAt(image, 19, 129), kFixedHighlight);
}

TEST(LEDMeterTest, LeftwardBarLightsFromTheRight) {
  TLEDMeter meter;
  meter.setPalette(FixedPalette());
  meter.SetDirection(TMeterDirection::mdLeft);
  meter.SetBevelStyle(TBevelCut::bvRaised);
  meter.SetPosition(10);  // 2 of 20 cells, 7 wide
  const QImage image = Grab(meter);
  EXPECT_EQ(PixelAt(image, 143 - 1 - 7 + 3, 8), clLime);
  EXPECT_EQ(PixelAt(image, 143 - 1 - 14 + 3, 8), clLime);
  EXPECT_EQ(PixelAt(image, 143 - 1 - 21 + 3, 8), RGB(0, 102, 0));
  EXPECT_EQ(PixelAt(image, 0, 0), kFixedHighlight);
  EXPECT_EQ(PixelAt(image, 142, 15), kFixedShadow);
}

}  // namespace
