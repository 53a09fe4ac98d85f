#include <gtest/gtest.h>

#include <QAction>
#include <QColor>
#include <QCursor>
#include <QMenu>
#include <QPixmap>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>
#include <vector>

#include "desktop/TrayIcon.h"
#include "platform/MessagePump.h"
#include "platform/Pointer.h"
#include "platform/Tick.h"
#include "tests/support/WaitFor.h"

namespace {

using platform::MessageWindow;
using platform::NotifyIcon;

using testsupport::WaitFor;

QIcon Solid(Qt::GlobalColor colour) {
  QPixmap pixmap(16, 16);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

TImageList FourImages() {
  return {Solid(Qt::red), Solid(Qt::green), Solid(Qt::blue), Solid(Qt::yellow)};
}

const char* ButtonName(TTrayIcon::TMouseButton b) {
  switch (b) {
    case TTrayIcon::TMouseButton::mbLeft:
      return "L";
    case TTrayIcon::TMouseButton::mbRight:
      return "R";
    default:
      return "M";
  }
}

// A tray icon whose events are written to a log, fed with callback codes as the tray host would.
class TrayEvents : public testing::Test {
 protected:
  static constexpr unsigned kDoubleClick = 150;

  void SetUp() override {
    savedDoubleClick_ = platform::GetDoubleClickTime();
    platform::SetDoubleClickTime(kDoubleClick);
    tray = std::make_unique<TTrayIcon>();
    tray->OnClick = [this](TTrayIcon* s) { Log(s, "click"); };
    tray->OnMouseDown = [this](TTrayIcon* s, TTrayIcon::TMouseButton b, TTrayIcon::TShiftState sh,
                               int x, int y) {
      Log(s, std::string("down ") + ButtonName(b));
      lastShift = sh;
      lastX = x;
      lastY = y;
    };
    tray->OnMouseUp = [this](TTrayIcon* s, TTrayIcon::TMouseButton b, TTrayIcon::TShiftState sh,
                             int, int) {
      Log(s, std::string("up ") + ButtonName(b));
      lastShift = sh;
    };
  }
  void TearDown() override {
    tray.reset();
    platform::SetDoubleClickTime(savedDoubleClick_);
  }

  void Log(TTrayIcon* sender, const std::string& what) {
    EXPECT_EQ(sender, tray.get());
    log.push_back(what);
  }
  void Feed(unsigned code) {
    MessageWindow::Send(tray->CallbackWindow(), TTrayIcon::WM_TRAYNOTIFY, tray->Identifier(),
                        static_cast<platform::LPARAM>(code));
  }
  void AddDblClick() {
    tray->OnDblClick = [this](TTrayIcon* s) { Log(s, "dblclick"); };
  }
  using Log_t = std::vector<std::string>;

  std::unique_ptr<TTrayIcon> tray;
  Log_t log;
  TTrayIcon::TShiftState lastShift = 0;
  int lastX = -1, lastY = -1;

 private:
  unsigned savedDoubleClick_ = 0;
};

TEST_F(TrayEvents, WithoutDoubleClickHandlerTheClickComesAtButtonUpBeforeMouseUp) {
  QCursor::setPos(321, 123);
  Feed(platform::WM_LBUTTONDOWN);
  EXPECT_EQ(lastShift & TTrayIcon::ssLeft, TTrayIcon::ssLeft);
  EXPECT_EQ(lastX, 321);
  EXPECT_EQ(lastY, 123);
  Feed(platform::WM_LBUTTONUP);
  EXPECT_EQ(log, (Log_t{"down L", "click", "up L"}));
  platform::WaitMessages(kDoubleClick * 2);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(TrayEvents, WithDoubleClickHandlerASingleClickWaitsOneDoubleClickTime) {
  AddDblClick();
  std::uint32_t down = platform::GetTickCount();
  Feed(platform::WM_LBUTTONDOWN);
  Feed(platform::WM_LBUTTONUP);
  EXPECT_EQ(log, (Log_t{"down L", "up L"}));
  ASSERT_TRUE(WaitFor([&] { return log.size() == 3; }, 5000));
  EXPECT_GE(platform::GetTickCount() - down, kDoubleClick - 10);
  EXPECT_EQ(log, (Log_t{"down L", "up L", "click"}));
  platform::WaitMessages(kDoubleClick * 2);
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(TrayEvents, ADoubleClickDropsThePendingClick) {
  AddDblClick();
  Feed(platform::WM_LBUTTONDOWN);
  Feed(platform::WM_LBUTTONUP);
  Feed(platform::WM_LBUTTONDBLCLK);
  Feed(platform::WM_LBUTTONUP);
  platform::WaitMessages(kDoubleClick * 3);
  EXPECT_EQ(log, (Log_t{"down L", "up L", "dblclick", "up L"}));

  // The next single click is not swallowed by the double click before it.
  log.clear();
  Feed(platform::WM_LBUTTONDOWN);
  Feed(platform::WM_LBUTTONUP);
  ASSERT_TRUE(WaitFor([&] { return log.size() == 3; }, 5000));
  EXPECT_EQ(log, (Log_t{"down L", "up L", "click"}));
}

TEST_F(TrayEvents, APressHeldLongerThanTheDoubleClickTimeClicksAtButtonUp) {
  AddDblClick();
  Feed(platform::WM_LBUTTONDOWN);
  platform::WaitMessages(kDoubleClick * 3);
  EXPECT_EQ(log, (Log_t{"down L"}));
  Feed(platform::WM_LBUTTONUP);
  EXPECT_EQ(log, (Log_t{"down L", "click", "up L"}));
}

TEST_F(TrayEvents, RightAndMiddleButtonsAndTheMenu) {
  QMenu menu;
  QAction* status = menu.addAction("Status");
  QAction* other = menu.addAction("Other");
  menu.setDefaultAction(status);
  int statusHits = 0, otherHits = 0;
  QObject::connect(status, &QAction::triggered, [&] { ++statusHits; });
  QObject::connect(other, &QAction::triggered, [&] { ++otherHits; });
  tray->SetPopupMenu(&menu);
  EXPECT_EQ(tray->PopupMenu(), &menu);

  Feed(platform::WM_RBUTTONDOWN);
  EXPECT_EQ(lastShift & TTrayIcon::ssRight, TTrayIcon::ssRight);
  EXPECT_TRUE(menu.isVisible());
  Feed(platform::WM_RBUTTONUP);
  menu.hide();
  Feed(platform::WM_MBUTTONDOWN);
  EXPECT_EQ(lastShift & TTrayIcon::ssMiddle, TTrayIcon::ssMiddle);
  Feed(platform::WM_MBUTTONUP);
  EXPECT_EQ(log, (Log_t{"down R", "up R", "down M", "up M"}));

  // With the newer shell protocol the right button's release comes as a context-menu code.
  log.clear();
  tray->SetShellVersion(true);
  Feed(platform::WM_RBUTTONUP);
  Feed(platform::WM_CONTEXTMENU);
  Feed(platform::NIN_KEYSELECT);
  EXPECT_EQ(log, (Log_t{"up R", "up R"}));
  tray->SetShellVersion(false);
  Feed(platform::WM_CONTEXTMENU);
  EXPECT_EQ(log.size(), 2u);
  menu.hide();

  // A double click triggers the menu's default item, unless the left button opens the menu.
  AddDblClick();
  Feed(platform::WM_LBUTTONDBLCLK);
  EXPECT_EQ(statusHits, 1);
  EXPECT_EQ(otherHits, 0);
  tray->SetLeftPopup(true);
  Feed(platform::WM_LBUTTONDBLCLK);
  EXPECT_EQ(statusHits, 1);
  EXPECT_FALSE(menu.isVisible());
  Feed(platform::WM_LBUTTONDOWN);
  EXPECT_TRUE(menu.isVisible());
  menu.hide();
}

TEST_F(TrayEvents, AMenuThatIsDestroyedIsDropped) {
  auto menu = std::make_unique<QMenu>();
  tray->SetPopupMenu(menu.get());
  menu.reset();
  EXPECT_EQ(tray->PopupMenu(), nullptr);
  Feed(platform::WM_RBUTTONDOWN);
  Feed(platform::WM_LBUTTONDBLCLK);
  EXPECT_EQ(log, (Log_t{"down R"}));
}

TEST_F(TrayEvents, DisabledIconIgnoresTheMouseButNotMessageClicks) {
  int balloons = 0;
  tray->OnBalloonHintShow = [&](TTrayIcon*) { balloons += 1; };
  tray->OnBalloonHintHide = [&](TTrayIcon*) { balloons += 10; };
  tray->OnBalloonHintTimeout = [&](TTrayIcon*) { balloons += 100; };
  tray->OnBalloonHintClick = [&](TTrayIcon*) { balloons += 1000; };
  tray->SetEnabled(false);
  for (unsigned code : {platform::WM_LBUTTONDOWN, platform::WM_LBUTTONUP, platform::WM_RBUTTONDOWN,
                        platform::WM_RBUTTONUP, platform::WM_MBUTTONDOWN, platform::WM_MOUSEMOVE})
    Feed(code);
  for (unsigned code : {platform::NIN_BALLOONSHOW, platform::NIN_BALLOONHIDE,
                        platform::NIN_BALLOONTIMEOUT, platform::NIN_BALLOONUSERCLICK})
    Feed(code);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(balloons, 1111);
}

TEST_F(TrayEvents, EnterAndExitFollowThePointer) {
  int enters = 0, exits = 0, moves = 0;
  tray->OnMouseEnter = [&](TTrayIcon*) { ++enters; };
  tray->OnMouseExit = [&](TTrayIcon*) { ++exits; };
  tray->OnMouseMove = [&](TTrayIcon*, TTrayIcon::TShiftState, int, int) { ++moves; };
  QCursor::setPos(10, 10);
  Feed(platform::WM_MOUSEMOVE);  // not wanted yet: a move only
  EXPECT_EQ(enters, 0);
  tray->SetWantEnterExitEvents(true);
  Feed(platform::WM_MOUSEMOVE);
  Feed(platform::WM_MOUSEMOVE);
  EXPECT_EQ(enters, 1);
  EXPECT_EQ(moves, 3);
  platform::WaitMessages(100);
  EXPECT_EQ(exits, 0);  // the pointer has not moved away
  QCursor::setPos(60, 70);
  ASSERT_TRUE(WaitFor([&] { return exits == 1; }, 5000));
  Feed(platform::WM_MOUSEMOVE);
  EXPECT_EQ(enters, 2);
}

TEST_F(TrayEvents, StaleIdentifiersReachNoIcon) {
  auto other = std::make_unique<TTrayIcon>();
  platform::WPARAM gone = other->Identifier();
  EXPECT_EQ(other->CallbackWindow(), tray->CallbackWindow());
  EXPECT_EQ(TTrayIconHandler::RefCount(), 2);
  other.reset();
  EXPECT_EQ(TTrayIconHandler::RefCount(), 1);
  MessageWindow::Send(tray->CallbackWindow(), TTrayIcon::WM_TRAYNOTIFY, gone,
                      platform::WM_LBUTTONDOWN);
  MessageWindow::Send(tray->CallbackWindow(), TTrayIcon::WM_TRAYNOTIFY, gone + 999,
                      platform::WM_LBUTTONDOWN);
  EXPECT_TRUE(log.empty());

  // The shared window outlives close and end-of-session requests.
  platform::HWND window = tray->CallbackWindow();
  EXPECT_EQ(MessageWindow::Send(window, platform::WM_CLOSE, 0, 0), 1);
  EXPECT_EQ(MessageWindow::Send(window, 0x0011 /* query end of session */, 0, 0), 1);
  EXPECT_EQ(MessageWindow::Send(window, 0x0016 /* end of session */, 1, 0), 1);
  EXPECT_EQ(MessageWindow::Send(window, platform::WM_USER + 5, 0, 0), 0);
  EXPECT_TRUE(MessageWindow::Post(window, platform::WM_CLOSE, 0, 0));
  platform::ProcessMessages();
  Feed(platform::WM_LBUTTONDOWN);
  EXPECT_EQ(log, (Log_t{"down L"}));

  tray.reset();
  EXPECT_EQ(TTrayIconHandler::Instance(), nullptr);
  EXPECT_FALSE(MessageWindow::Post(window, platform::WM_CLOSE, 0, 0));
}

TEST(TrayIcon, ToolTipIsCutTo127CharactersAndEmptyWhenNotShown) {
  TTrayIcon tray;
  EXPECT_TRUE(tray.ShowHint());
  EXPECT_TRUE(tray.Enabled());
  EXPECT_FALSE(tray.IconVisible());
  std::string hint(200, 'x');
  hint[126] = 'E';
  tray.SetHint(hint);
  EXPECT_EQ(tray.Hint(), hint);
  EXPECT_EQ(tray.Notify().Tip(), hint.substr(0, 127));
  tray.SetShowHint(false);
  EXPECT_EQ(tray.Notify().Tip(), "");
  tray.SetShowHint(true);
  tray.SetHint("Talvo Server\r\nConnected: \xE9t\xE9");
  EXPECT_EQ(tray.Notify().Tip(), "Talvo Server\r\nConnected: \xE9t\xE9");
  tray.SetHint("");
  EXPECT_EQ(tray.Notify().Tip(), "");
}

TEST(TrayIcon, IconVisibleAddsAndRemovesTheIcon) {
  NotifyIcon::SetAvailableForTesting(1);
  {
    TTrayIcon tray;
    tray.SetIcon(Solid(Qt::red));
    EXPECT_FALSE(tray.UpdateTrayIcon());  // not shown yet
    tray.SetIconVisible(true);
    EXPECT_TRUE(tray.IconVisible());
    EXPECT_TRUE(tray.Notify().Added());
    EXPECT_TRUE(tray.UpdateTrayIcon());
    tray.SetIcon(Solid(Qt::blue));
    EXPECT_EQ(tray.Notify().Image().cacheKey(), tray.Icon().cacheKey());
    tray.SetIconVisible(false);
    EXPECT_FALSE(tray.Notify().Added());
    tray.SetIconVisible(true);
  }
  // Without a tray host the icon is still wanted (it shows when a host starts), but the shell
  // side reports the failure.
  NotifyIcon::SetAvailableForTesting(0);
  TTrayIcon tray;
  EXPECT_FALSE(tray.AddTrayIcon());
  EXPECT_TRUE(tray.IconVisible());
  EXPECT_TRUE(tray.Notify().Added());
  NotifyIcon::SetAvailableForTesting(-1);
}

TEST(TrayIcon, IndexIsClampedIntoTheList) {
  TImageList images = FourImages();
  TTrayIcon tray;
  QIcon start = Solid(Qt::black);
  tray.SetIcon(start);
  tray.SetIconIndex(3);  // no list: index 0, image unchanged
  EXPECT_EQ(tray.IconIndex(), 0);
  EXPECT_EQ(tray.Icon().cacheKey(), start.cacheKey());

  tray.SetIconList(TImageList{});
  tray.SetIconIndex(5);
  EXPECT_EQ(tray.IconIndex(), 0);
  EXPECT_EQ(tray.Icon().cacheKey(), start.cacheKey());

  tray.SetIconList(images);
  EXPECT_EQ(tray.IconIndex(), 0);
  EXPECT_EQ(tray.Icon().cacheKey(), images[0].cacheKey());
  tray.SetIconIndex(7);
  EXPECT_EQ(tray.IconIndex(), 3);
  EXPECT_EQ(tray.Icon().cacheKey(), images[3].cacheKey());
  EXPECT_EQ(tray.Notify().Image().cacheKey(), images[3].cacheKey());
  tray.SetIconIndex(-2);
  EXPECT_EQ(tray.IconIndex(), 0);
  EXPECT_EQ(tray.Icon().cacheKey(), images[0].cacheKey());
  tray.SetIconIndex(2);
  tray.SetIconList(std::nullopt);
  EXPECT_EQ(tray.IconIndex(), 0);
}

TEST(TrayIcon, CyclingStepsThroughTheImagesAndWraps) {
  TImageList images = FourImages();
  TTrayIcon tray;
  std::vector<int> next;
  std::vector<qint64> shown;
  tray.OnCycle = [&](TTrayIcon*, int nextIndex) {
    next.push_back(nextIndex);
    shown.push_back(tray.Icon().cacheKey());
  };
  tray.SetCycleIcons(true);  // no list: ticks change nothing
  tray.SetCycleInterval(20);
  platform::WaitMessages(100);
  EXPECT_TRUE(next.empty());

  tray.SetIconList(images);
  tray.SetCycleInterval(30);
  ASSERT_TRUE(WaitFor([&] { return next.size() >= 6; }, 5000));
  EXPECT_EQ(std::vector<int>(next.begin(), next.begin() + 6), (std::vector<int>{1, 2, 3, 0, 1, 2}));
  for (std::size_t k = 0; k < 6; ++k) EXPECT_EQ(shown[k], images[k % 4].cacheKey()) << k;

  // From image 3 the next tick shows image 3 and reports 0, then the cycle starts over.
  tray.SetCycleInterval(200);
  next.clear();
  shown.clear();
  tray.SetIconIndex(7);
  EXPECT_EQ(tray.IconIndex(), 3);
  ASSERT_TRUE(WaitFor([&] { return next.size() >= 2; }, 5000));
  EXPECT_EQ(next[0], 0);
  EXPECT_EQ(shown[0], images[3].cacheKey());
  EXPECT_EQ(shown[1], images[0].cacheKey());

  tray.SetCycleIcons(false);
  std::size_t stopped = next.size();
  platform::WaitMessages(300);
  EXPECT_EQ(next.size(), stopped);
}

TEST(TrayIcon, ANewCycleIntervalRestartsAtImageZeroWithTheNewPeriod) {
  TImageList images = FourImages();
  TTrayIcon tray;
  std::vector<std::uint32_t> at;
  tray.OnCycle = [&](TTrayIcon*, int) { at.push_back(platform::GetTickCount()); };
  tray.SetIconList(images);
  tray.SetCycleInterval(25);
  tray.SetCycleIcons(true);
  EXPECT_EQ(tray.CycleInterval(), 25u);
  ASSERT_TRUE(WaitFor([&] { return at.size() >= 2; }, 5000));
  EXPECT_NE(tray.IconIndex(), 0);
  std::uint32_t changed = platform::GetTickCount();
  tray.SetCycleInterval(400);
  EXPECT_EQ(tray.IconIndex(), 0);
  EXPECT_EQ(tray.Icon().cacheKey(), images[0].cacheKey());
  at.clear();
  ASSERT_TRUE(WaitFor([&] { return !at.empty(); }, 5000));
  EXPECT_GE(at[0] - changed, 370u);
  EXPECT_EQ(tray.IconIndex(), 1);
}

// The owner window goes to the tray through a real change of its window state.
class MinimizeToTray : public testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<QWidget>();
    window->resize(200, 100);
    tray = std::make_unique<TTrayIcon>(window.get());
    tray->SetIcon(Solid(Qt::red));
    tray->SetMinimizeToTray(true);
    tray->OnMinimizeToTray = [this](TTrayIcon*) {
      ++minimizeEvents;
      EXPECT_TRUE(window->isVisible());  // told before the window goes
    };
    window->show();
  }
  void TearDown() override {
    tray.reset();
    window.reset();
    NotifyIcon::SetAvailableForTesting(-1);
  }

  std::unique_ptr<QWidget> window;
  std::unique_ptr<TTrayIcon> tray;
  int minimizeEvents = 0;
};

TEST_F(MinimizeToTray, MinimizingHidesTheWindowAndShowsTheIconRestoreBringsItBack) {
  NotifyIcon::SetAvailableForTesting(1);
  EXPECT_FALSE(tray->IconVisible());
  window->showMinimized();
  platform::ProcessMessages();
  EXPECT_EQ(minimizeEvents, 1);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(tray->IconVisible());
  EXPECT_TRUE(tray->Notify().Added());

  tray->RestoreMainWindow();
  platform::ProcessMessages();
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isMinimized());

  // The same through the platform window, as the window manager would do it.
  window->windowHandle()->setWindowState(Qt::WindowMinimized);
  ASSERT_TRUE(WaitFor([&] { return minimizeEvents == 2; }, 5000));
  EXPECT_FALSE(window->isVisible());
  tray->RestoreMainWindow();
  EXPECT_TRUE(window->isVisible());

  // HideMainWindow hides while the icon is there, and never when it is not.
  EXPECT_TRUE(tray->HideMainWindow());
  EXPECT_FALSE(window->isVisible());
  tray->RestoreMainWindow();
  tray->SetIconVisible(false);
  EXPECT_FALSE(tray->HideMainWindow());
  EXPECT_TRUE(window->isVisible());
}

TEST_F(MinimizeToTray, WithoutTheOptionTheWindowJustMinimizes) {
  NotifyIcon::SetAvailableForTesting(1);
  tray->SetMinimizeToTray(false);
  window->showMinimized();
  platform::ProcessMessages();
  EXPECT_EQ(minimizeEvents, 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isMinimized());
  EXPECT_FALSE(tray->IconVisible());
}

TEST_F(MinimizeToTray, WithoutATrayHostTheWindowIsNeverHidden) {
  NotifyIcon::SetAvailableForTesting(0);
  tray->SetIconVisible(true);
  window->showMinimized();
  platform::ProcessMessages();
  EXPECT_EQ(minimizeEvents, 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_TRUE(window->isMinimized());
  EXPECT_FALSE(tray->HideMainWindow());
  EXPECT_TRUE(window->isVisible());
  tray->RestoreMainWindow();
  EXPECT_FALSE(window->isMinimized());
}

TEST_F(MinimizeToTray, StartingHiddenNeedsATrayHost) {
  int asked = 0;
  tray->OnStartup = [&](TTrayIcon* sender, bool& show) {
    EXPECT_EQ(sender, tray.get());
    EXPECT_TRUE(show);
    ++asked;
    show = false;
  };
  tray->SetIconVisible(true);
  NotifyIcon::SetAvailableForTesting(0);
  EXPECT_TRUE(tray->Loaded());
  EXPECT_TRUE(window->isVisible());
  NotifyIcon::SetAvailableForTesting(1);
  EXPECT_FALSE(tray->Loaded());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(asked, 2);
  EXPECT_TRUE(tray->Notify().Added());
}

TEST(TrayIcon, LoadedStartsWhatWasConfigured) {
  NotifyIcon::SetAvailableForTesting(1);
  TImageList images = FourImages();
  int cycles = 0;
  {
    TTrayIcon tray;
    tray.OnCycle = [&](TTrayIcon*, int) { ++cycles; };
    tray.SetIconList(images);
    tray.SetCycleInterval(20);
    tray.SetCycleIcons(true);
    tray.SetIconVisible(true);
    tray.SetHint("Talvo Server");
    EXPECT_TRUE(tray.Loaded());  // no owner: nothing to hide, nothing asked
    EXPECT_TRUE(tray.Notify().Added());
    EXPECT_EQ(tray.Notify().Tip(), "Talvo Server");
    EXPECT_TRUE(WaitFor([&] { return cycles >= 2; }, 5000));
  }
  NotifyIcon::SetAvailableForTesting(-1);
}

}  // namespace
