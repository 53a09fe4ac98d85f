#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <memory>

#include "desktop/ThemeServices.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"

namespace {

using E = TThemedElement;
using F = TElementFamily;

struct DetailsRow {
  F family;
  int value;
  E element;
  int part;
  int state;
};

// Every part's first and last value, and the values just outside each family.
const DetailsRow kDetails[] = {
    {F::Button, 0, E::teButton, 0, 0},
    {F::Button, 1, E::teButton, 0, 0},
    {F::Button, 2, E::teButton, 1, 1},
    {F::Button, 6, E::teButton, 1, 5},
    {F::Button, 7, E::teButton, 2, 1},
    {F::Button, 14, E::teButton, 2, 8},
    {F::Button, 15, E::teButton, 3, 1},
    {F::Button, 16, E::teButton, 3, 2},
    {F::Button, 26, E::teButton, 3, 12},
    {F::Button, 27, E::teButton, 4, 1},
    {F::Button, 28, E::teButton, 4, 2},
    {F::Button, 29, E::teButton, 5, 1},
    {F::Button, 30, E::teButton, 0, 0},
    {F::Edit, 1, E::teEdit, 0, 0},
    {F::Edit, 2, E::teEdit, 1, 1},
    {F::Edit, 8, E::teEdit, 1, 7},
    {F::Edit, 9, E::teEdit, 2, 1},
    {F::Edit, 10, E::teEdit, 0, 0},
    {F::Rebar, 2, E::teRebar, 1, 1},
    {F::Rebar, 3, E::teRebar, 2, 1},
    {F::Rebar, 4, E::teRebar, 3, 1},
    {F::Rebar, 9, E::teRebar, 3, 6},
    {F::Rebar, 10, E::teRebar, 4, 1},
    {F::Rebar, 13, E::teRebar, 4, 4},
    {F::Rebar, 14, E::teRebar, 5, 1},
    {F::Rebar, 17, E::teRebar, 5, 4},
    {F::Rebar, 18, E::teRebar, 0, 0},
    {F::Status, 2, E::teStatus, 1, 1},
    {F::Status, 3, E::teStatus, 2, 1},
    {F::Status, 4, E::teStatus, 3, 1},
    {F::Status, 5, E::teStatus, 0, 0},
    {F::Tab, 2, E::teTab, 1, 1},
    {F::Tab, 6, E::teTab, 1, 5},
    {F::Tab, 7, E::teTab, 2, 1},
    {F::Tab, 36, E::teTab, 7, 5},
    {F::Tab, 41, E::teTab, 8, 5},
    {F::Tab, 42, E::teTab, 9, 1},
    {F::Tab, 43, E::teTab, 10, 1},
    {F::Tab, 44, E::teTab, 0, 0},
    {F::ToolBar, 2, E::teToolBar, 1, 1},
    {F::ToolBar, 7, E::teToolBar, 1, 6},
    {F::ToolBar, 8, E::teToolBar, 2, 1},
    {F::ToolBar, 19, E::teToolBar, 3, 6},
    {F::ToolBar, 20, E::teToolBar, 4, 1},
    {F::ToolBar, 26, E::teToolBar, 5, 1},
    {F::ToolBar, 37, E::teToolBar, 6, 6},
    {F::ToolBar, 38, E::teToolBar, 0, 0},
    {F::TrackBar, 2, E::teTrackBar, 1, 1},
    {F::TrackBar, 3, E::teTrackBar, 2, 1},
    {F::TrackBar, 4, E::teTrackBar, 3, 1},
    {F::TrackBar, 8, E::teTrackBar, 3, 5},
    {F::TrackBar, 9, E::teTrackBar, 4, 1},
    {F::TrackBar, 29, E::teTrackBar, 8, 1},
    {F::TrackBar, 33, E::teTrackBar, 8, 5},
    {F::TrackBar, 34, E::teTrackBar, 9, 1},
    {F::TrackBar, 35, E::teTrackBar, 10, 1},
    {F::TrackBar, 36, E::teTrackBar, 0, 0},
    {F::TrackBar, -1, E::teTrackBar, 0, 0},
};

TEST(ThemeServices, NumbersElementDetailsPartByPart) {
  for (const DetailsRow& row : kDetails) {
    SCOPED_TRACE(testing::Message()
                 << "family " << static_cast<int>(row.family) << " value " << row.value);
    TThemedElementDetails details = TThemeServices::GetElementDetails(row.family, row.value);
    EXPECT_EQ(details.Element, row.element);
    EXPECT_EQ(details.Part, row.part);
    EXPECT_EQ(details.State, row.state);
  }
}

TEST(ThemeServices, NamesTheElementClassesInIndexOrder) {
  EXPECT_STREQ(ThemedElementName(E::teButton), "button");
  EXPECT_STREQ(ThemedElementName(E::teEdit), "edit");
  EXPECT_STREQ(ThemedElementName(E::teStartPanel), "startpanel");
  EXPECT_STREQ(ThemedElementName(E::teTrayNotify), "traynotify");
  EXPECT_STREQ(ThemedElementName(E::teWindow), "window");
  EXPECT_EQ(static_cast<int>(E::teWindow) + 1, kThemedElementCount);
}

int ChangedPixels(const QImage& image, QColor background) {
  int changed = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) != background) ++changed;
  return changed;
}

// Draws details on a blank image; the number of pixels the style painted, -1 when refused.
int Draw(const TThemedElementDetails& details) {
  QImage image(60, 30, QImage::Format_ARGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  bool drawn = ThemeServices().DrawElement(painter, details, image.rect());
  painter.end();
  return drawn ? ChangedPixels(image, Qt::magenta) : -1;
}

TEST(ThemeServices, DrawsElementsThroughTheStyleOnlyWhileControlsMayBeThemed) {
  TThemeServices& services = ThemeServices();
  ASSERT_TRUE(services.ThemesAvailable());
  EXPECT_TRUE(services.ThemesEnabled());
  auto push = TThemeServices::GetElementDetails(F::Button, ThemedValue::tbPushButtonNormal);
  auto edit = TThemeServices::GetElementDetails(F::Edit, ThemedValue::teEditTextNormal);
  auto body = TThemeServices::GetElementDetails(F::Tab, ThemedValue::ttBody);
  EXPECT_GT(Draw(push), 0);
  EXPECT_GT(Draw(edit), 0);
  EXPECT_EQ(Draw(body), 60 * 30);
  EXPECT_EQ(Draw(TThemeServices::GetElementDetails(F::Button, 30)), -1);

  // Controls not themed: the style is still in use, but nothing is drawn.
  TThemeServices::SetThemeAppProperties(ThemeProperty::STAP_ALLOW_NONCLIENT);
  services.UpdateThemes();
  EXPECT_TRUE(services.UseThemes());
  EXPECT_FALSE(services.ThemesEnabled());
  EXPECT_EQ(Draw(push), -1);
  TThemeServices::SetThemeAppProperties(ThemeProperty::STAP_ALL);
  services.UpdateThemes();
  EXPECT_TRUE(services.ThemesEnabled());
}

TEST(ThemeServices, EdgesBoundTheirContent) {
  QImage image(20, 20, QImage::Format_ARGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  QRect content;
  auto band = TThemeServices::GetElementDetails(F::Rebar, ThemedValue::trBand);
  ASSERT_TRUE(ThemeServices().DrawEdge(painter, band, image.rect(), ThemeEdge::EDGE_SUNKEN,
                                       ThemeEdge::BF_RECT | ThemeEdge::BF_ADJUST, &content));
  painter.end();
  EXPECT_EQ(content, QRect(2, 2, 16, 16));
  EXPECT_EQ(image.pixelColor(10, 10), QColor(Qt::magenta));
  EXPECT_NE(image.pixelColor(0, 10), QColor(Qt::magenta));
  EXPECT_NE(image.pixelColor(18, 10), QColor(Qt::magenta));
}

TEST(ThemeServices, DrawsTextAndTheParentBackground) {
  QImage image(60, 30, QImage::Format_ARGB32);
  image.fill(Qt::magenta);
  QPainter painter(&image);
  auto push = TThemeServices::GetElementDetails(F::Button, ThemedValue::tbPushButtonNormal);
  ASSERT_TRUE(ThemeServices().DrawText(
      painter, push, "Connect", image.rect(),
      ThemeText::DT_CENTER | ThemeText::DT_VCENTER | ThemeText::DT_SINGLELINE));
  painter.end();
  EXPECT_GT(ChangedPixels(image, Qt::magenta), 0);

  QWidget parent;
  QPalette palette = parent.palette();
  palette.setColor(QPalette::Window, QColor(10, 200, 30));
  parent.setPalette(palette);
  QWidget child(&parent);
  child.setGeometry(5, 5, 60, 30);
  image.fill(Qt::magenta);
  painter.begin(&image);
  auto edit = TThemeServices::GetElementDetails(F::Edit, ThemedValue::teEditTextNormal);
  // An edit field covers its whole rectangle: nothing to draw under it.
  EXPECT_FALSE(ThemeServices().DrawParentBackground(&child, painter, &edit, true));
  EXPECT_TRUE(ThemeServices().DrawParentBackground(&child, painter, &push, true));
  painter.end();
  EXPECT_EQ(image.pixelColor(30, 15), QColor(10, 200, 30));
}

TEST(ThemeServices, AThemeChangeRenewsTheDataAndIsReportedOnce) {
  TThemeServices& services = ThemeServices();
  int changes = 0;
  services.OnThemeChange = [&](TThemeServices* sender) {
    EXPECT_EQ(sender, &services);
    ++changes;
  };
  QPalette original = QApplication::palette();
  QPalette changed = original;
  changed.setColor(QPalette::Button, QColor(1, 2, 3));
  ASSERT_NE(services.Theme(E::teButton)->Palette.color(QPalette::Button), QColor(1, 2, 3));

  QApplication::setPalette(changed);
  std::uint32_t start = platform::GetTickCount();
  while (changes == 0 && platform::GetTickCount() - start < 5000) platform::WaitMessages(5);
  platform::WaitMessages(100);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(services.Theme(E::teButton)->Palette.color(QPalette::Button), QColor(1, 2, 3));

  // A widget given a style of its own changes nothing for the application.
  changes = 0;
  std::unique_ptr<QStyle> style(QStyleFactory::create("windows"));
  QWidget own;
  own.setStyle(style.get());
  platform::WaitMessages(100);
  EXPECT_EQ(changes, 0);

  QApplication::setPalette(original);
  services.OnThemeChange = nullptr;
  platform::WaitMessages(50);
}

}  // namespace
