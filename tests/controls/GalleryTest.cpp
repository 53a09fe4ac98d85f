// Writes one picture of each control in a few states into the build folder
// (tests/controls/gallery/*.png), enlarged three times, for a person to look at.
#include <gtest/gtest.h>

#include <QDir>
#include <QPainter>
#include <QRadialGradient>
#include <functional>
#include <vector>

#include "ControlsTestSupport.h"
#include "controls/KelmKnob.h"
#include "controls/LEDButton.h"
#include "controls/LEDDisplay.h"
#include "controls/LEDMeter.h"

namespace {

// The states side by side (or one below the other), on a panel-grey ground.
void WriteGallery(const char* name, std::vector<QImage> states, bool vertical = false) {
  int w = 8, h = 8;
  for (const QImage& s : states) {
    if (vertical)
      w = std::max(w, s.width() + 16), h += s.height() + 8;
    else
      h = std::max(h, s.height() + 16), w += s.width() + 8;
  }
  QImage sheet(w, h, QImage::Format_RGB32);
  sheet.fill(QColor(160, 160, 160));
  QPainter painter(&sheet);
  int at = 8;
  for (const QImage& s : states) {
    painter.drawImage(vertical ? 8 : at, vertical ? at : 8, s);
    at += (vertical ? s.height() : s.width()) + 8;
  }
  painter.end();
  QDir().mkpath(TALVO_GALLERY_DIR);
  const QString path = QString(TALVO_GALLERY_DIR) + "/" + name + ".png";
  ASSERT_TRUE(sheet.scaled(w * 3, h * 3).save(path)) << path.toStdString();
  EXPECT_GT(QImage(path).width(), 0);
}

template <typename Control>
QImage Shot(Control& control, const std::function<void(Control&)>& set) {
  set(control);
  return Grab(control);
}

TEST(GalleryTest, Meters) {
  std::vector<QImage> states;
  TLEDMeter rx;  // the server's audio meter
  rx.setPalette(FixedPalette());
  rx.SetMax(2000);
  rx.SetStartColor3(1500);
  rx.SetStartColor2(90);
  for (int p : {0, 250, 1200, 2000})
    states.push_back(Shot<TLEDMeter>(rx, [p](auto& m) { m.SetPosition(p); }));
  TLEDMeter s;  // the client's S-meter
  s.setPalette(FixedPalette());
  s.SetMax(10);
  s.SetNumDigits(10);
  s.SetSingleLED(true);
  s.SetStartColor2(5);
  s.SetStartColor3(8);
  s.SetBevelStyle(TBevelCut::bvNone);
  for (int p : {3, 6, 9}) states.push_back(Shot<TLEDMeter>(s, [p](auto& m) { m.SetPosition(p); }));
  WriteGallery("meter", states, true);

  std::vector<QImage> levels;
  TLEDMeter level;  // the microphone level
  level.setPalette(FixedPalette());
  level.resize(16, 143);
  level.SetDirection(TMeterDirection::mdUp);
  level.SetNumDigits(16);
  level.SetMax(16);
  level.SetStartColor2(10);
  level.SetStartColor3(13);
  for (int p : {4, 11, 16})
    levels.push_back(Shot<TLEDMeter>(level, [p](auto& m) { m.SetPosition(p); }));
  WriteGallery("meter-up", levels);
}

TEST(GalleryTest, Displays) {
  std::vector<QImage> states;
  TLEDDisplayEx panel;  // the front panel's display
  panel.setPalette(FixedPalette());
  panel.SetNumDigits(8);
  panel.SetDigitWidth(15);
  panel.SetDecSeperator(TDecSeperator::dsPoint);
  panel.SetColorBackGround(clLime);
  panel.SetOffColorLED(clLime);
  panel.SetColorLED(RGB(0, 74, 0));
  for (const char* t : {"ELECRAFT",
                        " 14\xB0"
                        "60\xB0"
                        "00",
                        "-12 ABC ", "RIT 0\xB5"}) {
    states.push_back(Shot<TLEDDisplayEx>(panel, [t](auto& d) { d.SetText(t); }));
  }
  TLEDDisplayEx plain;
  plain.setPalette(FixedPalette());
  plain.SetOffColorLED(RGB(0, 48, 0));
  for (auto sep : {TDecSeperator::dsComma, TDecSeperator::dsDoublePoint, TDecSeperator::dsMinus}) {
    states.push_back(Shot<TLEDDisplayEx>(plain, [sep](auto& d) {
      d.SetDecSeperator(sep);
      d.SetText(
          "0123\xB4"
          "5");
    }));
  }
  plain.SetSegmentStyle(TSegmentStyle::ssRectangular);
  plain.SetDecSeperator(TDecSeperator::dsPoint);
  states.push_back(Shot<TLEDDisplayEx>(plain, [](auto& d) {
    d.SetText(
        "6789\xC1"
        "H");
  }));
  WriteGallery("display", states, true);

  TLEDDisplayEx large;  // the segments' shapes, large
  large.setPalette(FixedPalette());
  large.resize(200, 90);
  large.SetNumDigits(3);
  large.SetDigitWidth(48);
  large.SetDigitHeight(80);
  large.SetDigitLineWidth(8);
  large.SetOffColorLED(RGB(0, 48, 0));
  large.SetText(
      "8\xB4"
      "@");
  WriteGallery("display-large", {Grab(large)});
}

TEST(GalleryTest, Buttons) {
  std::vector<QImage> states;
  TLEDButton ptt;  // the microphone window's push-to-talk button
  ptt.setPalette(FixedPalette());
  ptt.SetColorLED(clRed);
  states.push_back(Shot<TLEDButton>(ptt, [](auto&) {}));
  states.push_back(Shot<TLEDButton>(ptt, [](auto& b) { b.SetStateOn(true); }));
  for (auto dir : {TButtonDirection::bdTopUp, TButtonDirection::bdLeftUp,
                   TButtonDirection::bdRightUp, TButtonDirection::bdNone}) {
    states.push_back(Shot<TLEDButton>(ptt, [dir](auto& b) { b.SetButtonDirection(dir); }));
  }
  TLEDButton captioned;
  captioned.setPalette(FixedPalette());
  captioned.resize(60, 60);
  captioned.SetCaption("&PTT");
  captioned.SetTextPosition(TTextPosition::tpBelow);
  states.push_back(Shot<TLEDButton>(captioned, [](auto&) {}));
  captioned.SetTextPosition(TTextPosition::tpOnButton);
  captioned.SetBeveled(false);
  states.push_back(Shot<TLEDButton>(captioned, [](auto&) {}));
  captioned.setEnabled(false);
  states.push_back(Shot<TLEDButton>(captioned, [](auto&) {}));
  TLEDButton power;  // the front panel's power button
  power.setPalette(FixedPalette());
  power.resize(30, 16);
  power.SetBeveled(false);
  power.SetBorderStyle(TBorderStyle::bsNone);
  power.SetColorLED(clLime);
  power.SetSwitching(false);
  states.push_back(Shot<TLEDButton>(power, [](auto&) {}));
  states.push_back(Shot<TLEDButton>(power, [](auto& b) { b.SetStateOn(true); }));
  WriteGallery("button", states);
}

TEST(GalleryTest, Knobs) {
  QImage picture(48, 36, QImage::Format_RGB32);
  picture.fill(QColor(160, 160, 160));
  {
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient shine(18, 10, 20);
    shine.setColorAt(0, QColor(120, 120, 120));
    shine.setColorAt(1, QColor(30, 30, 30));
    p.setBrush(shine);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(24, 18), 16, 16);
  }
  std::vector<QImage> states;
  TKelmKnob knob;
  knob.setPalette(FixedPalette());
  knob.SetBitmap(picture);
  knob.SetLineColor(clWhite);
  for (int p : {0, 25, 50, 75, 100})
    states.push_back(Shot<TKelmKnob>(knob, [p](auto& k) { k.SetPosition(p); }));
  states.push_back(Shot<TKelmKnob>(knob, [](auto& k) { k.SetLineWidth(0); }));
  WriteGallery("knob", states);
}

}  // namespace
