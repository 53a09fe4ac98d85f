#include <gtest/gtest.h>

#include <QTest>
#include <numbers>
#include <vector>

#include "ControlsTestSupport.h"
#include "controls/KelmKnob.h"

namespace {

TEST(KelmKnobTest, AngleTable) {
  struct Row {
    int position, min, max;
    double angle;
  };
  const Row rows[] = {
      {50, 0, 100, 0}, {100, 0, 100, 2.5}, {0, 0, 100, -2.5}, {9, 8, 50, -100.0 / 42},
      {3, 0, 5, 0.5},  {150, 0, 100, 5},   {5, 5, 5, 0},      {3, 10, 0, 0}};
  for (const auto& r : rows) {
    EXPECT_NEAR(TKelmKnob::Angle(r.position, r.min, r.max), r.angle, 1e-12)
        << r.position << " in " << r.min << ".." << r.max;
  }
}

TEST(KelmKnobTest, PointerTable) {
  struct Row {
    int width, height, diameter;
    double angle;
    QPoint from, to;
  };
  const Row rows[] = {
      {48, 36, 36, 0, {23, 14}, {23, 2}},
      {48, 36, 36, 2.5, {25, 19}, {32, 29}},
      {48, 36, 36, -2.5, {21, 19}, {14, 29}},
      {48, 36, 36, std::numbers::pi / 2, {26, 17}, {38, 17}},
      {48, 48, 20, 0, {23, 11}, {23, 4}},
  };
  for (const auto& r : rows) {
    const TKelmKnob::TPointer p = TKelmKnob::Pointer(r.width, r.height, r.diameter, r.angle);
    EXPECT_EQ(p.From, r.from) << r.angle;
    EXPECT_EQ(p.To, r.to) << r.angle;
  }
}

TEST(KelmKnobTest, PositionFromAPointTable) {
  struct Row {
    int min, max, x, y, position;
  };
  const Row rows[] = {
      {0, 100, 24, 5, 50},                          // straight above: the middle
      {0, 100, 24, 30, -13},                        // straight below: -pi, beyond Min
      {0, 100, 40, 18, 81},                         // level right: +pi/2
      {0, 100, 8, 18, 19},                          // level left: -pi/2
      {0, 100, 34, 8, 66},                          // up right, distance rounded to 14
      {0, 100, 44, 34, 95},                         // below right, still on the scale
      {0, 100, 30, 34, 106},                        // further below: beyond Max
      {0, 5, 24, 5, 2},                             // 2.5, halves to even
      {8, 50, 24, 5, 29},    {10, 10, 40, 18, 10},  // no range: Min
      {10, 0, 40, 18, 10},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(TKelmKnob::PositionAt(48, 36, r.min, r.max, r.x, r.y), r.position)
        << r.x << "," << r.y << " in " << r.min << ".." << r.max;
  }
}

class KelmKnobEvents : public testing::Test {
 protected:
  void SetUp() override {
    knob.OnChange = [this](TKelmKnob* sender, int value) {
      EXPECT_EQ(sender->Position(), value);
      changes.push_back(value);
    };
    knob.OnMouseDown = [this](TInstrumentControl*, TMouseButton, TShiftState, int, int) {
      ++downs;
    };
    knob.OnMouseUp = [this](TInstrumentControl*, TMouseButton, TShiftState, int, int) { ++ups; };
    knob.show();
  }
  TKelmKnob knob;
  std::vector<int> changes;
  int downs = 0, ups = 0;
};

TEST_F(KelmKnobEvents, SetterClampsAndAnnouncesEveryNewValue) {
  knob.SetPosition(150);
  knob.SetPosition(150);
  knob.SetPosition(100);
  EXPECT_EQ(changes, (std::vector<int>{100, 100}));
  knob.SetMax(60);
  EXPECT_EQ(knob.Position(), 100);
  knob.SetPosition(-7);
  EXPECT_EQ(knob.Position(), 0);
}

TEST_F(KelmKnobEvents, DragPastTheEndAnnouncesOnlyChanges) {
  QTest::mousePress(&knob, Qt::LeftButton, {}, QPoint(40, 18));
  EXPECT_TRUE(knob.Dragging());
  QTest::mouseMove(&knob, QPoint(30, 34));  // 106: Max
  QTest::mouseMove(&knob, QPoint(28, 35));  // 108
  QTest::mouseMove(&knob, QPoint(26, 35));  // 110
  QTest::mouseMove(&knob, QPoint(24, 5));
  QTest::mouseRelease(&knob, Qt::LeftButton, {}, QPoint(24, 5));
  EXPECT_FALSE(knob.Dragging());
  EXPECT_EQ(changes, (std::vector<int>{81, 100, 50}));
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ups, 1);
}

TEST_F(KelmKnobEvents, PressBelowTheCentreGivesMin) {
  knob.SetPosition(50);
  QTest::mouseClick(&knob, Qt::RightButton, {}, QPoint(24, 30));
  EXPECT_EQ(changes, (std::vector<int>{50, 0}));
}

TEST_F(KelmKnobEvents, WithoutDragOnlyTheMouseEvents) {
  knob.SetAllowUserDrag(false);
  QTest::mousePress(&knob, Qt::LeftButton, {}, QPoint(40, 18));
  QTest::mouseMove(&knob, QPoint(30, 5));
  QTest::mouseRelease(&knob, Qt::LeftButton, {}, QPoint(30, 5));
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ups, 1);
}

TEST_F(KelmKnobEvents, NoRangeGivesMin) {
  knob.SetMin(10);
  knob.SetMax(10);
  QTest::mouseClick(&knob, Qt::LeftButton, {}, QPoint(40, 18));
  EXPECT_EQ(changes, (std::vector<int>{10}));
}

class KelmKnobPixels : public testing::Test {
 protected:
  void SetUp() override {
    knob.setPalette(FixedPalette());
    QImage picture(48, 36, QImage::Format_RGB32);
    picture.fill(Qt::white);
    knob.SetBitmap(picture);
    knob.SetLineColor(clRed);
  }
  TKelmKnob knob;
};

TEST_F(KelmKnobPixels, PointerOverThePicture) {
  knob.SetPosition(50);
  QImage image = Grab(knob);
  EXPECT_EQ(PixelAt(image, 23, 8), clRed);
  EXPECT_EQ(PixelAt(image, 23, 20), clWhite);
  EXPECT_EQ(PixelAt(image, 30, 8), clWhite);
  knob.SetPosition(100);
  image = Grab(knob);
  EXPECT_EQ(PixelAt(image, 28, 24), clRed);
  EXPECT_EQ(PixelAt(image, 23, 8), clWhite);
  knob.SetLineWidth(0);
  image = Grab(knob);
  EXPECT_EQ(PixelAt(image, 28, 24), clWhite);
}

TEST_F(KelmKnobPixels, NoRangePointsUpAndOnlyThePictureIsDrawnOn) {
  knob.SetMax(0);
  EXPECT_EQ(PixelAt(Grab(knob), 23, 8), clRed);
  QImage small(48, 10, QImage::Format_RGB32);
  small.fill(Qt::white);
  knob.SetBitmap(small);
  const QImage image = Grab(knob);
  EXPECT_EQ(PixelAt(image, 23, 8), clRed);
  EXPECT_EQ(PixelAt(image, 23, 12), RGB(200, 210, 220));  // the palette's window colour
}

}  // namespace
