// Needs a real X display with a tray host on it: runs under xvfb-run and starts trayer there.
#include <gtest/gtest.h>

#include <QMenu>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "desktop/TrayIcon.h"
#include "platform/MessagePump.h"
#include "platform/Pointer.h"
#include "platform/Tick.h"
#include "tests/support/WaitFor.h"

namespace {

using testsupport::WaitFor;

QIcon Solid(Qt::GlobalColor colour) {
  QPixmap pixmap(22, 22);
  pixmap.fill(colour);
  return QIcon(pixmap);
}

class TrayHost : public testing::Test {
 protected:
  // One tray host for the whole suite, started on the display that xvfb-run made.
  static void SetUpTestSuite() {
    if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) return;
    problem_.clear();
    QString trayer = QStandardPaths::findExecutable(QStringLiteral("trayer"));
    if (trayer.isEmpty()) return void(problem_ = "trayer is missing (scripts/install-deps.sh)");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
      return void(problem_ = "xdotool is missing (scripts/install-deps.sh)");
    host_ = new QProcess;
    host_->start(trayer, {"--edge", "top", "--align", "left", "--widthtype", "pixel", "--width",
                          "120", "--heighttype", "pixel", "--height", "32"});
    if (!host_->waitForStarted(10000)) return void(problem_ = "trayer did not start");
    if (!WaitFor([] { return TTrayIcon::TrayAvailable(); }, 15000))
      problem_ = "the tray host did not come up";
  }
  static void TearDownTestSuite() {
    if (!host_) return;
    if (host_->state() != QProcess::NotRunning) {
      host_->terminate();
      if (!host_->waitForFinished(5000)) {
        host_->kill();
        host_->waitForFinished(5000);
      }
    }
    delete host_;
    host_ = nullptr;
  }
  void SetUp() override {
    if (std::getenv("TALVO_TEST_DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display";
    ASSERT_TRUE(problem_.empty()) << problem_;
  }

  // Runs xdotool with the pointer on the icon's centre, letting events flow meanwhile.
  void Pointer(const TTrayIcon& tray, const QStringList& action) {
    QRect where = tray.Notify().Geometry();
    ASSERT_FALSE(where.isEmpty());
    QStringList args = {"mousemove", QString::number(where.center().x()),
                        QString::number(where.center().y())};
    args += action;
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), args);
    ASSERT_TRUE(tool.waitForStarted(5000));
    ASSERT_TRUE(WaitFor([&] { return tool.state() == QProcess::NotRunning; }, 10000));
    ASSERT_EQ(tool.exitCode(), 0);
  }

  static inline QProcess* host_ = nullptr;
  static inline std::string problem_;
};

TEST_F(TrayHost, TheIconAppearsAndClicksReachTheComponent) {
  std::vector<std::string> log;
  TTrayIcon tray;
  tray.SetIcon(Solid(Qt::red));
  tray.SetHint("Talvo Server");
  tray.OnClick = [&](TTrayIcon*) { log.push_back("click"); };
  tray.OnMouseDown = [&](TTrayIcon*, TTrayIcon::TMouseButton b, TTrayIcon::TShiftState, int, int) {
    log.push_back(b == TTrayIcon::TMouseButton::mbLeft    ? "down L"
                  : b == TTrayIcon::TMouseButton::mbRight ? "down R"
                                                          : "down M");
  };
  tray.OnMouseUp = [&](TTrayIcon*, TTrayIcon::TMouseButton b, TTrayIcon::TShiftState, int, int) {
    log.push_back(b == TTrayIcon::TMouseButton::mbLeft    ? "up L"
                  : b == TTrayIcon::TMouseButton::mbRight ? "up R"
                                                          : "up M");
  };
  EXPECT_TRUE(tray.AddTrayIcon());
  ASSERT_TRUE(WaitFor([&] { return !tray.Notify().Geometry().isEmpty(); }, 10000))
      << "the host did not take the icon";

  Pointer(tray, {"click", "1"});
  ASSERT_TRUE(WaitFor([&] { return log.size() >= 3; }, 10000));
  EXPECT_EQ(log, (std::vector<std::string>{"down L", "click", "up L"}));

  log.clear();
  Pointer(tray, {"click", "2"});
  ASSERT_TRUE(WaitFor([&] { return log.size() >= 2; }, 10000));
  EXPECT_EQ(log, (std::vector<std::string>{"down M", "up M"}));

  // A double click with a double-click handler: no single click.
  log.clear();
  int doubles = 0;
  tray.OnDblClick = [&](TTrayIcon*) {
    ++doubles;
    log.push_back("dblclick");
  };
  Pointer(tray, {"click", "--repeat", "2", "--delay", "40", "1"});
  ASSERT_TRUE(WaitFor([&] { return doubles == 1; }, 10000));
  platform::WaitMessages(platform::GetDoubleClickTime() * 2 + 200);
  EXPECT_EQ(log, (std::vector<std::string>{"down L", "up L", "dblclick", "up L"}));

  // The right button opens the attached menu.
  QMenu menu;
  menu.addAction("Server Status");
  tray.SetPopupMenu(&menu);
  log.clear();
  Pointer(tray, {"click", "3"});
  ASSERT_TRUE(WaitFor([&] { return log.size() >= 2; }, 10000));
  EXPECT_EQ(log, (std::vector<std::string>{"down R", "up R"}));
  EXPECT_TRUE(menu.isVisible());
  menu.hide();

  EXPECT_TRUE(tray.RemoveTrayIcon());
  EXPECT_TRUE(WaitFor([&] { return tray.Notify().Geometry().isEmpty(); }, 5000));
}

TEST_F(TrayHost, MinimizedWindowComesBackByDoubleClickOnTheIcon) {
  QWidget window;
  window.resize(240, 120);
  window.setWindowTitle(QStringLiteral("Talvo tray test"));
  TTrayIcon tray(&window);
  tray.SetIcon(Solid(Qt::blue));
  tray.SetMinimizeToTray(true);
  int minimized = 0;
  tray.OnMinimizeToTray = [&](TTrayIcon*) { ++minimized; };
  tray.OnDblClick = [&](TTrayIcon* sender) { sender->RestoreMainWindow(); };
  window.show();
  ASSERT_TRUE(WaitFor([&] { return window.isVisible(); }, 5000));

  window.showMinimized();
  ASSERT_TRUE(WaitFor([&] { return !window.isVisible(); }, 5000));
  EXPECT_EQ(minimized, 1);
  EXPECT_TRUE(tray.IconVisible());
  ASSERT_TRUE(WaitFor([&] { return !tray.Notify().Geometry().isEmpty(); }, 10000));

  Pointer(tray, {"click", "--repeat", "2", "--delay", "40", "1"});
  ASSERT_TRUE(WaitFor([&] { return window.isVisible(); }, 10000));
  EXPECT_FALSE(window.isMinimized());
}

}  // namespace
