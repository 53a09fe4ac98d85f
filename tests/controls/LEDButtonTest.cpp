#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>
#include <string>
#include <vector>

#include "ControlsTestSupport.h"
#include "controls/LEDButton.h"

namespace {

// A button with every event written to a journal, StateOn as each handler saw it.
class LEDButtonEvents : public testing::Test {
 protected:
  void SetUp() override {
    button.setPalette(FixedPalette());
    auto state = [this] { return std::string(button.StateOn() ? "on" : "off"); };
    button.OnClick = [=, this](TInstrumentControl*) { journal.push_back("click " + state()); };
    button.OnDblClick = [=, this](TInstrumentControl*) { journal.push_back("dbl " + state()); };
    button.OnMouseDown = [=, this](TInstrumentControl*, TMouseButton, TShiftState shift, int, int) {
      journal.push_back(std::string(shift & ssDouble ? "down2 " : "down ") + state());
    };
    button.OnMouseUp = [=, this](TInstrumentControl*, TMouseButton, TShiftState, int, int) {
      journal.push_back("up " + state());
    };
    button.show();
  }

  TLEDButton button;
  std::vector<std::string> journal;
};

using Journal = std::vector<std::string>;

TEST_F(LEDButtonEvents, ClickSeesTheOldStateThenTheLampFlips) {
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_EQ(journal, (Journal{"down off", "click off", "up on"}));
  EXPECT_TRUE(button.StateOn());
  EXPECT_FALSE(button.Pressed());
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_FALSE(button.StateOn());
}

TEST_F(LEDButtonEvents, ReleaseOutsideOrAnotherButtonOnlyShowsThePress) {
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_TRUE(button.Pressed());
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(80, 80));
  QTest::mousePress(&button, Qt::RightButton, {}, QPoint(22, 22));
  EXPECT_TRUE(button.Pressed());
  QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(22, 22));
  EXPECT_EQ(journal, (Journal{"down off", "up off", "down off", "up off"}));
  EXPECT_FALSE(button.StateOn());
  EXPECT_FALSE(button.Pressed());
}

// Qt delivers a double click as press, release, double click, release.
TEST_F(LEDButtonEvents, DoubleClickFlipsOnce) {
  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(22, 22));
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(22, 22));
  QTest::mouseDClick(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_TRUE(button.Pressed());
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_EQ(journal, (Journal{"down off", "click off", "up on", "dbl on", "down2 on", "up on"}));
  EXPECT_TRUE(button.StateOn());
}

TEST_F(LEDButtonEvents, PopupMenuOpensAfterTheRightRelease) {
  QMenu menu;
  menu.addAction("Power Off");
  button.SetPopupMenu(&menu);
  QTest::mousePress(&button, Qt::RightButton, {}, QPoint(22, 22));
  EXPECT_FALSE(menu.isVisible());
  QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(22, 22));
  EXPECT_TRUE(menu.isVisible());
  EXPECT_FALSE(button.Pressed());
  EXPECT_EQ(journal, (Journal{"down off", "up off"}));
  menu.close();
}

TEST_F(LEDButtonEvents, WithoutSwitchingOnlyTheProgramSetsTheLamp) {
  button.SetSwitching(false);
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_EQ(journal, (Journal{"down off", "click off", "up off"}));
  button.SetStateOn(true);
  EXPECT_TRUE(button.StateOn());
}

TEST_F(LEDButtonEvents, AcceleratorClicks) {
  button.SetCaption("&Tx");
  EXPECT_TRUE(button.DialogChar('t'));
  EXPECT_EQ(journal, (Journal{"click off"}));
  EXPECT_TRUE(button.StateOn());
  EXPECT_FALSE(button.DialogChar('x'));
  button.setEnabled(false);
  EXPECT_TRUE(button.DialogChar('T'));  // handled, but nothing happens
  EXPECT_EQ(journal.size(), 1u);
  button.setEnabled(true);
  button.SetCaption("R&&D");
  EXPECT_FALSE(button.DialogChar('D'));
}

TEST_F(LEDButtonEvents, DisabledIgnoresTheMouse) {
  button.setEnabled(false);
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(22, 22));
  EXPECT_TRUE(journal.empty());
  EXPECT_FALSE(button.StateOn());
}

TEST(LEDButtonTest, DerivedColours) {
  TLEDButton button;
  EXPECT_EQ(button.BevelHighlight(), RGB(191, 191, 191));
  EXPECT_EQ(button.BevelShadow(), RGB(77, 77, 77));
  EXPECT_EQ(button.DarkLED(), RGB(0, 0, 102));
  button.SetLEDContrast(10);
  EXPECT_EQ(button.LEDContrast(), 6);
  button.SetColorLED(clRed);
  EXPECT_EQ(button.DarkLED(), RGB(102, 0, 0));
}

// Default 45 x 45 button: frame, bevel one pixel inside it, lamp (6, 33)..(39, 38) exclusive.
TEST(LEDButtonTest, LampBevelAndPress) {
  TLEDButton button;
  button.setPalette(FixedPalette());
  QImage image = Grab(button);
  EXPECT_EQ(PixelAt(image, 22, 35), RGB(0, 0, 102));
  EXPECT_EQ(PixelAt(image, 22, 33), clBlack);
  EXPECT_EQ(PixelAt(image, 0, 0), kFixedFrame);
  EXPECT_EQ(PixelAt(image, 22, 1), RGB(191, 191, 191));
  for (int y = 40; y <= 43; ++y) EXPECT_EQ(PixelAt(image, 22, y), RGB(77, 77, 77)) << y;
  EXPECT_EQ(PixelAt(image, 22, 20), clGray);

  button.SetStateOn(true);
  image = Grab(button);
  EXPECT_EQ(PixelAt(image, 22, 35), clBlue);

  QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(22, 22));
  image = Grab(button);
  EXPECT_EQ(PixelAt(image, 22, 33), clGray);  // lamp one pixel lower
  EXPECT_EQ(PixelAt(image, 22, 34), clBlack);
  EXPECT_EQ(PixelAt(image, 22, 43), RGB(77, 77, 77));
  EXPECT_EQ(PixelAt(image, 22, 42), clGray);  // a single line for the thick edge
  QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(22, 22));

  button.setEnabled(false);
  image = Grab(button);
  EXPECT_EQ(PixelAt(image, 22, 35), clGray);
}

TEST(LEDButtonTest, LampSideFollowsTheDirection) {
  struct Row {
    TButtonDirection direction;
    int x, y;
  };
  const Row rows[] = {{TButtonDirection::bdTopUp, 22, 9},
                      {TButtonDirection::bdLeftUp, 9, 22},
                      {TButtonDirection::bdRightUp, 35, 22},
                      {TButtonDirection::bdNone, 22, 35}};
  for (const auto& row : rows) {
    TLEDButton button;
    button.setPalette(FixedPalette());
    button.SetButtonDirection(row.direction);
    button.SetStateOn(true);
    EXPECT_EQ(PixelAt(Grab(button), row.x, row.y), clBlue) << int(row.direction);
  }
}

// The front panel's power button: 30 x 16, flat, no frame, lime lamp.
TEST(LEDButtonTest, PowerButton) {
  TLEDButton button;
  button.setPalette(FixedPalette());
  button.resize(30, 16);
  button.SetBeveled(false);
  button.SetBorderStyle(TBorderStyle::bsNone);
  button.SetColorLED(clLime);
  button.SetStateOn(true);
  const QImage image = Grab(button);
  EXPECT_EQ(PixelAt(image, 15, 6), clLime);
  EXPECT_EQ(PixelAt(image, 0, 0), RGB(191, 191, 191));
  EXPECT_EQ(PixelAt(image, 29, 5), RGB(77, 77, 77));
}

}  // namespace

namespace {

// Three 8 x 6 images on white (the bottom-left pixel: transparent), drawn centred above the lamp
// at (18, 14).
TEST(LEDButtonTest, GlyphImageFollowsTheState) {
  QImage glyph(24, 6, QImage::Format_RGB32);
  glyph.fill(Qt::white);
  const QColor colours[3] = {Qt::red, Qt::green, Qt::blue};
  for (int i = 0; i < 3; ++i) {
    for (int y = 1; y < 5; ++y) {
      for (int x = 1; x < 7; ++x) glyph.setPixelColor(8 * i + x, y, colours[i]);
    }
  }
  TLEDButton button;
  button.setPalette(FixedPalette());
  button.SetGlyph(glyph);
  button.SetNumGlyphs(3);
  EXPECT_EQ(PixelAt(Grab(button), 21, 16), clRed);
  EXPECT_EQ(PixelAt(Grab(button), 18, 14), clGray);
  button.SetStateOn(true);
  EXPECT_EQ(PixelAt(Grab(button), 21, 16), clBlue);
  button.setEnabled(false);
  EXPECT_EQ(PixelAt(Grab(button), 21, 16), clLime);
  button.SetNumGlyphs(1);  // one image serves every state
  EXPECT_EQ(PixelAt(Grab(button), 21 - 8, 16), clRed);
}

}  // namespace
