#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>
#include <memory>

#include "desktop/ThemeManager.h"
#include "desktop/ThemeServices.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "tests/support/WaitFor.h"

namespace {

using testsupport::WaitFor;

// A shown window with a group box holding a push button, a check box and a track bar.
struct Form {
  Form() {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    group = new QGroupBox("Radio", window.get());
    auto* inner = new QVBoxLayout(group);
    button = new QPushButton("Connect", group);
    check = new QCheckBox("Log", group);
    slider = new QSlider(Qt::Horizontal, group);
    inner->addWidget(button);
    inner->addWidget(check);
    inner->addWidget(slider);
    layout->addWidget(group);
    window->show();
  }
  std::unique_ptr<QWidget> window;
  QGroupBox* group;
  QPushButton* button;
  QCheckBox* check;
  QSlider* slider;
};

TEST(ThemeManager, RegistersTheControlsOfEveryWindowOnceLoaded) {
  Form form;
  TThemeManager manager;
  ASSERT_TRUE(manager.IsMainManager());
  EXPECT_EQ(manager.Options(), kDefaultThemeOptions);
  ASSERT_TRUE(WaitFor([&] { return manager.IsRegistered(form.button); }));
  EXPECT_TRUE(manager.IsRegistered(form.window.get()));
  EXPECT_TRUE(manager.IsRegistered(form.group));
  EXPECT_TRUE(manager.IsRegistered(form.check));
  EXPECT_TRUE(manager.IsRegistered(form.slider));
  EXPECT_EQ(TThemeManager::ClassOf(form.slider), TControlClass::TrackBar);
  EXPECT_EQ(TThemeManager::ClassOf(form.check), TControlClass::ButtonControl);

  // Added later, shown: registered; destroyed: gone from the lists.
  auto* late = new QPushButton("Later", form.group);
  late->show();
  EXPECT_TRUE(manager.IsRegistered(late));
  int count = manager.RegisteredCount();
  delete late;
  EXPECT_EQ(manager.RegisteredCount(), count - 1);
  // Removed from its parent: unregistered with its children.
  form.group->setParent(nullptr);
  EXPECT_FALSE(manager.IsRegistered(form.group));
  EXPECT_FALSE(manager.IsRegistered(form.button));
  delete form.group;
}

TEST(ThemeManager, LeavesAloneWhatRefusesOrIsNotAllowed) {
  Form form;
  form.check->setProperty(kRefuseThemingProperty, true);
  TThemeManager manager;
  manager.OnAllowSubclassing = [&](TThemeManager* sender, QWidget* control, bool& allow) {
    EXPECT_EQ(sender, &manager);
    if (control == form.slider) allow = false;
  };
  ASSERT_TRUE(WaitFor([&] { return manager.IsRegistered(form.button); }));
  EXPECT_FALSE(manager.IsRegistered(form.check));
  EXPECT_FALSE(manager.IsRegistered(form.slider));

  // Buttons no longer wanted: a new one stays out.
  manager.SetOptions(kDefaultThemeOptions & ~ThemeOptionBit(toSubclassButtons));
  auto* late = new QPushButton("Later", form.group);
  late->show();
  EXPECT_FALSE(manager.IsRegistered(late));
  manager.SetOptions(kDefaultThemeOptions);
}

TEST(ThemeManager, ControlMessagesPassTheManagerFirst) {
  Form form;
  TThemeManager manager;
  ASSERT_TRUE(WaitFor([&] { return manager.IsRegistered(form.button); }));
  int clicks = 0;
  QObject::connect(form.button, &QPushButton::clicked, [&] { ++clicks; });
  bool swallow = true;
  manager.OnControlMessage = [&](TThemeManager*, QWidget* control, QEvent* message, bool& handled) {
    if (control == form.button && message->type() == QEvent::MouseButtonPress) handled = swallow;
  };
  auto click = [&] {
    QPointF at(5, 5);
    QMouseEvent press(QEvent::MouseButtonPress, at, form.button->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, form.button->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form.button, &press);
    QCoreApplication::sendEvent(form.button, &release);
  };
  click();
  EXPECT_EQ(clicks, 0);
  swallow = false;
  click();
  EXPECT_EQ(clicks, 1);

  // A listener that fails is dropped; the event still goes on.
  int calls = 0;
  manager.AddControlMessageListener([&](QWidget*, QEvent* message) -> bool {
    if (message->type() == QEvent::MouseButtonPress) {
      ++calls;
      throw std::runtime_error("listener failed");
    }
    return false;
  });
  click();
  click();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(clicks, 3);
}

TEST(ThemeManager, ASecondManagerDefersToTheMainOneAndTakesOverWhenItGoes) {
  Form form;
  auto first = std::make_unique<TThemeManager>();
  TThemeManager second;
  ASSERT_EQ(TThemeManager::MainThemeManager(), first.get());
  EXPECT_FALSE(second.IsMainManager());
  EXPECT_FALSE(second.SubclassingEnabled());
  ASSERT_TRUE(WaitFor([&] { return first->IsRegistered(form.button); }));
  EXPECT_EQ(second.RegisteredCount(), 0);

  TThemeOptions fewer = kDefaultThemeOptions & ~ThemeOptionBit(toSubclassTrackBar);
  second.SetOptions(fewer);
  EXPECT_EQ(first->Options(), fewer);
  first->SetOptions(kDefaultThemeOptions);

  first.reset();
  EXPECT_TRUE(second.IsMainManager());
  EXPECT_TRUE(second.SubclassingEnabled());
  EXPECT_TRUE(second.IsRegistered(form.button));
  EXPECT_TRUE(second.IsRegistered(form.slider));
}

TEST(ThemeManager, BecomingMainTakesTheControlsFromTheOldMain) {
  Form form;
  TThemeManager first;
  TThemeManager second;
  ASSERT_TRUE(WaitFor([&] { return first.IsRegistered(form.button); }));
  second.BecomeMainManager();
  EXPECT_TRUE(second.IsMainManager());
  EXPECT_FALSE(first.SubclassingEnabled());
  EXPECT_EQ(first.RegisteredCount(), 0);
  EXPECT_TRUE(second.IsRegistered(form.button));
  // A window shown now is registered by the new main manager only.
  Form later;
  ASSERT_TRUE(WaitFor([&] { return second.IsRegistered(later.button); }));
  EXPECT_FALSE(first.IsRegistered(later.button));
}

// Counts OnThemeChange until one arrives, then waits on to catch any repeat.
int ChangesAfter(TThemeManager& manager, const std::function<void()>& change) {
  int changes = 0;
  manager.OnThemeChange = [&](TThemeManager* sender) {
    EXPECT_EQ(sender, &manager);
    ++changes;
  };
  change();
  WaitFor([&] { return changes > 0; });
  platform::WaitMessages(150);
  manager.OnThemeChange = nullptr;
  return changes;
}

TEST(ThemeManager, AStyleOrPaletteChangeReachesOnThemeChangeOnce) {
  Form form;
  TThemeManager manager;
  ASSERT_TRUE(WaitFor([&] { return manager.IsRegistered(form.button); }));
  std::string before = QApplication::style()->name().toStdString();

  EXPECT_EQ(ChangesAfter(manager, [] { QApplication::setStyle("windows"); }), 1);
  QPalette original = QApplication::palette();
  QPalette dark = original;
  dark.setColor(QPalette::Window, QColor(20, 20, 20));
  EXPECT_EQ(ChangesAfter(manager, [&] { QApplication::setPalette(dark); }), 1);
  // New options reapply the style to every window: one change as well.
  EXPECT_EQ(
      ChangesAfter(
          manager,
          [&] { manager.SetOptions(kDefaultThemeOptions & ~ThemeOptionBit(toSubclassSplitter)); }),
      1);
  manager.SetOptions(kDefaultThemeOptions);
  platform::WaitMessages(50);

  QApplication::setPalette(original);
  QApplication::setStyle(QString::fromStdString(before));
  platform::WaitMessages(50);
}

}  // namespace
