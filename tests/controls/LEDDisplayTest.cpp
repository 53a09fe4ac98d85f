#include <gtest/gtest.h>

#include <string>

#include "ControlsTestSupport.h"
#include "controls/LEDDisplay.h"

namespace {

// Lit segments as letters, for rows that read like the segment table.
unsigned Lit(const std::string& letters) {
  unsigned bits = 0;
  for (char c : letters) bits |= 1u << (c - 'a');
  return bits;
}

TEST(LEDDisplayTest, SegmentTable) {
  const struct {
    char c;
    const char* lit;
  } rows[] = {{'-', "g"},       {'0', "abcdef"}, {'1', "bc"},    {'4', "bcfg"}, {'7', "abc"},
              {'8', "abcdefg"}, {'<', "de"},     {'=', "dg"},    {'>', "g"},    {'@', ""},
              {'A', "abcefg"},  {'H', "bcefg"},  {'K', "bcefg"}, {'M', "ceg"},  {'Q', "cdeg"},
              {'W', "c"},       {'X', "adeg"},   {'[', "aeg"},   {'?', ""},     {'.', ""}};
  for (const auto& row : rows) EXPECT_EQ(TLEDDisplayEx::Segments(row.c), Lit(row.lit)) << row.c;
  EXPECT_EQ(TLEDDisplayEx::Segments(' '), 0u);
  EXPECT_EQ(TLEDDisplayEx::Segments('a'), 0u);  // the caller upper-cases
}

// Default geometry: 168 x 36, six places 28 apart, pictures 20 x 30 at x = 4 + 28i, y = 3.
class LEDDisplayPixels : public testing::Test {
 protected:
  void SetUp() override {
    display.setPalette(FixedPalette());
    display.SetOffColorLED(kOff);
  }
  // The centre of segment s ('a'..'g') of place i.
  TColor Segment(const QImage& image, int i, char s) {
    static const int centre[7][2] = {{10, 2}, {17, 8}, {17, 22}, {10, 27},
                                     {2, 22}, {2, 8},  {10, 15}};
    return PixelAt(image, 4 + 28 * i + centre[s - 'a'][0], 3 + centre[s - 'a'][1]);
  }
  void ExpectPlace(const QImage& image, int i, const std::string& lit, TColor unlit) {
    for (char s = 'a'; s <= 'g'; ++s) {
      const bool on = lit.find(s) != std::string::npos;
      EXPECT_EQ(Segment(image, i, s), on ? clLime : unlit) << "place " << i << " segment " << s;
    }
  }
  static constexpr TColor kOff = RGB(40, 0, 0);
  TLEDDisplayEx display;
};

TEST_F(LEDDisplayPixels, CharactersBlanksAndCase) {
  display.SetText("8 1@a");
  const QImage image = Grab(display);
  ExpectPlace(image, 0, "abcdefg", kOff);
  ExpectPlace(image, 1, "", clBlack);  // a space: background only
  ExpectPlace(image, 2, "bc", kOff);
  ExpectPlace(image, 3, "", kOff);  // "@": every segment unlit
  ExpectPlace(image, 4, "abcefg", kOff);
  ExpectPlace(image, 5, "", clBlack);  // beyond the text
  EXPECT_EQ(PixelAt(image, 0, 0), kFixedShadow);
  EXPECT_EQ(PixelAt(image, 1, 1), kFixedFrame);
  EXPECT_EQ(PixelAt(image, 167, 35), kFixedHighlight);
}

TEST_F(LEDDisplayPixels, SeparatorInTheGapBefore) {
  display.SetDecSeperator(TDecSeperator::dsPoint);
  display.SetText(std::string("1\xB1") + "2");
  QImage image = Grab(display);
  ExpectPlace(image, 1, "bc", kOff);
  // Place 1 starts at x = 32: the point fills (26..29, 28..31).
  EXPECT_EQ(PixelAt(image, 27, 30), clLime);
  EXPECT_EQ(PixelAt(image, 28, 29), clLime);
  EXPECT_EQ(PixelAt(image, 27 + 28, 30), clBlack);  // none before place 2
  display.SetText(
      "1"
      "1"
      "2");
  image = Grab(display);
  EXPECT_EQ(PixelAt(image, 27, 30), clBlack);
}

TEST_F(LEDDisplayPixels, FrontPanelLayout) {
  display.resize(168, 36);
  display.SetNumDigits(8);  // places 21 apart, pictures 15 wide from x = 3
  display.SetDigitWidth(15);
  display.SetColorBackGround(clLime);
  display.SetOffColorLED(clLime);
  display.SetColorLED(RGB(0, 74, 0));
  display.SetText("ELECRAFT");
  const QImage image = Grab(display);
  // "E": a d e f g lit, b c unlit (lime, the background colour).
  EXPECT_EQ(PixelAt(image, 3 + 7, 3 + 2), RGB(0, 74, 0));
  EXPECT_EQ(PixelAt(image, 3 + 7, 3 + 15), RGB(0, 74, 0));
  EXPECT_EQ(PixelAt(image, 3 + 13, 3 + 8), clLime);
  // "T" at place 7: d e f g.
  EXPECT_EQ(PixelAt(image, 3 + 7 * 21 + 7, 3 + 27), RGB(0, 74, 0));
  EXPECT_EQ(PixelAt(image, 3 + 7 * 21 + 7, 3 + 2), clLime);
}

TEST_F(LEDDisplayPixels, RectangularSegments) {
  display.SetSegmentStyle(TSegmentStyle::ssRectangular);
  display.SetText("7");
  const QImage image = Grab(display);
  EXPECT_EQ(PixelAt(image, 4 + 10, 3 + 1), clLime);  // a
  EXPECT_EQ(PixelAt(image, 4 + 18, 3 + 8), clLime);  // b
  EXPECT_EQ(PixelAt(image, 4 + 10, 3 + 15), kOff);   // g
  EXPECT_EQ(PixelAt(image, 4 + 1, 3 + 8), kOff);     // f
}

TEST(LEDDisplayTest, TextChangesAreAnnounced) {
  TLEDDisplayEx display;
  int changes = 0;
  display.OnChange = [&](TLEDDisplayEx* sender) {
    EXPECT_EQ(sender->Text(), "14060");
    ++changes;
  };
  display.SetText("14060");
  display.SetText("14060");
  EXPECT_EQ(changes, 1);
  display.SetNumDigits(0);
  EXPECT_EQ(display.NumDigits(), 1);
  display.SetLEDContrast(12);
  EXPECT_EQ(display.LEDContrast(), 7);
  Grab(display);  // one place, no fault
}

}  // namespace
