#include "desktop/ThemeManager.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QChildEvent>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QSlider>
#include <QSplitterHandle>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <mutex>

#include "desktop/ThemeServices.h"
#include "platform/ThemeWatcher.h"

namespace {

TThemeManager* gMainManager = nullptr;

// Guards the main role and its hand-over (which may re-enter through the hand-over itself).
std::recursive_mutex& MainLock() {
  static std::recursive_mutex lock;
  return lock;
}

// Managers that watch the application, in the order they began to: the ones offered the main
// role when the main manager goes.
std::vector<TThemeManager*>& HookedManagers() {
  static std::vector<TThemeManager*> managers;
  return managers;
}

bool IsForm(const QWidget* widget) {
  Qt::WindowType type = widget->windowType();
  return widget->isWindow() && (type == Qt::Window || type == Qt::Dialog);
}

std::vector<QWidget*> Forms() {
  std::vector<QWidget*> forms;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (IsForm(widget)) forms.push_back(widget);
  return forms;
}

QList<QWidget*> ChildWidgets(const QObject* parent) {
  return parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

constexpr int kNoOption = -1;

// The option that allows registering each class; forms need none.
constexpr int kClassOption[kControlClassCount] = {
    toSubclassButtons,   toSubclassSpeedButtons, toSubclassGroupBox,
    toSubclassTabSheet,  toSubclassPanel,        toSubclassFrame,
    toSubclassListView,  toSubclassTrackBar,     toSubclassCheckListbox,
    toSubclassStatusBar, toSubclassSplitter,     toSubclassAnimate,
    kNoOption,           toSubclassWinControl};

}  // namespace

class TWindowProcList::Filter : public QObject {
 public:
  explicit Filter(TWindowProcList* list) : list_(list) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* control = qobject_cast<QWidget*>(watched);
    return control != nullptr && list_->DispatchMessage(control, event);
  }

 private:
  TWindowProcList* list_;
};

TWindowProcList::TWindowProcList(TThemeManager* owner, TControlClass controlClass)
    : owner_(owner), class_(controlClass), filter_(std::make_unique<Filter>(this)) {}

TWindowProcList::~TWindowProcList() {
  Clear();
}

int TWindowProcList::Add(QWidget* control) {
  if (control == nullptr || TThemeManager::ClassOf(control) != class_ || Contains(control))
    return -1;
  control->installEventFilter(filter_.get());
  QObject::connect(control, &QObject::destroyed, filter_.get(),
                   [this](QObject* gone) { Forget(gone); });
  entries_.push_back(control);
  return static_cast<int>(entries_.size()) - 1;
}

bool TWindowProcList::Remove(QObject* control) {
  auto it = std::find(entries_.begin(), entries_.end(), control);
  if (it == entries_.end()) return false;
  entries_.erase(it);
  control->removeEventFilter(filter_.get());
  QObject::disconnect(control, &QObject::destroyed, filter_.get(), nullptr);
  owner_->UnregisterChildren(control);
  return true;
}

void TWindowProcList::Clear() {
  std::vector<QObject*> entries;
  entries.swap(entries_);
  for (QObject* control : entries) {
    control->removeEventFilter(filter_.get());
    QObject::disconnect(control, &QObject::destroyed, filter_.get(), nullptr);
  }
}

bool TWindowProcList::Contains(const QObject* control) const {
  return std::find(entries_.begin(), entries_.end(), control) != entries_.end();
}

void TWindowProcList::Forget(QObject* control) {
  entries_.erase(std::remove(entries_.begin(), entries_.end(), control), entries_.end());
}

bool TWindowProcList::DispatchMessage(QWidget* control, QEvent* event) {
  if (!Contains(control)) return false;
  TThemeManager* handler = TThemeManager::MainThemeManager();
  return (handler != nullptr ? handler : owner_)->HandleMessage(class_, control, event);
}

// Watches the application for windows being shown, and runs the manager's deferred work.
class TThemeManager::Hook : public QObject {
 public:
  explicit Hook(TThemeManager* manager) : manager_(manager) {}
  ~Hook() override { Unhook(); }

  void Install() {
    if (QCoreApplication::instance() == nullptr || installed_) return;
    QCoreApplication::instance()->installEventFilter(this);
    installed_ = true;
  }
  void Unhook() {
    if (installed_ && QCoreApplication::instance() != nullptr)
      QCoreApplication::instance()->removeEventFilter(this);
    installed_ = false;
  }
  bool Installed() const { return installed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show && watched->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(watched);
      if (IsForm(widget)) manager_->FormShown(widget);
    }
    return false;
  }

 private:
  TThemeManager* manager_;
  bool installed_ = false;
};

TThemeManager::TThemeManager(QWidget* /*owner*/) : hook_(std::make_unique<Hook>(this)) {
  for (int i = 0; i < kControlClassCount; ++i)
    lists_[i] = std::make_unique<TWindowProcList>(this, static_cast<TControlClass>(i));
  if (ThemeServices().ThemesEnabled()) {
    hook_->Install();
    themeWatcher_ = std::make_unique<platform::ThemeWatcher>([this] {
      UpdateThemes();
      DoOnThemeChange();
    });
    HookedManagers().push_back(this);
  }
  {
    std::lock_guard<std::recursive_mutex> guard(MainLock());
    if (gMainManager != nullptr) {
      subclassingDisabled_ = true;
      options_ = gMainManager->options_;
    } else {
      gMainManager = this;
    }
  }
  QTimer::singleShot(0, hook_.get(), [this] { Loaded(); });
}

TThemeManager::~TThemeManager() {
  ClearLists();
  auto& hooked = HookedManagers();
  hooked.erase(std::remove(hooked.begin(), hooked.end(), this), hooked.end());
  themeWatcher_.reset();
  hook_->Unhook();
  std::lock_guard<std::recursive_mutex> guard(MainLock());
  if (gMainManager == this) {
    gMainManager = nullptr;
    std::vector<TThemeManager*> candidates = hooked;
    for (TThemeManager* manager : candidates) manager->ManagerGone();
  }
}

TThemeManager* TThemeManager::MainThemeManager() {
  std::lock_guard<std::recursive_mutex> guard(MainLock());
  return gMainManager;
}

void TThemeManager::ManagerGone() {
  if (gMainManager != nullptr) return;
  gMainManager = this;
  subclassingDisabled_ = false;
  SubclassForms(nullptr);
}

void TThemeManager::SetOptions(TThemeOptions value) {
  TThemeManager* main = MainThemeManager();
  if (main != nullptr && main != this) {
    main->SetOptions(value);
    return;
  }
  if (value == options_) return;
  options_ = value;
  if (!ThemeServices().ThemesAvailable() || subclassingDisabled_) return;
  TThemeServices::SetThemeAppProperties(value & ThemeProperty::STAP_ALL);
  UpdateThemes();
  BroadcastThemeChange();
  for (QWidget* form : Forms()) form->update();
}

void TThemeManager::Loaded() {
  if (IsMainManager()) SubclassForms(nullptr);
}

void TThemeManager::BecomeMainManager() {
  std::lock_guard<std::recursive_mutex> guard(MainLock());
  if (gMainManager == this) return;
  if (gMainManager != nullptr) {
    gMainManager->subclassingDisabled_ = true;
    gMainManager->ClearLists();
  }
  gMainManager = this;
  subclassingDisabled_ = false;
  SubclassForms(nullptr);
}

TControlClass TThemeManager::ClassOf(const QWidget* control) {
  if (IsForm(control)) return TControlClass::Form;
  if (qobject_cast<const QToolButton*>(control)) return TControlClass::SpeedButton;
  if (qobject_cast<const QAbstractButton*>(control)) return TControlClass::ButtonControl;
  if (qobject_cast<const QGroupBox*>(control)) return TControlClass::GroupBox;
  auto* stack = qobject_cast<const QStackedWidget*>(control->parentWidget());
  if (stack != nullptr && qobject_cast<const QTabWidget*>(stack->parentWidget()))
    return TControlClass::TabSheet;
  if (control->metaObject() == &QFrame::staticMetaObject) return TControlClass::Panel;
  if (control->metaObject() == &QWidget::staticMetaObject) return TControlClass::Frame;
  if (qobject_cast<const QListWidget*>(control)) return TControlClass::CheckListBox;
  if (qobject_cast<const QAbstractItemView*>(control)) return TControlClass::ListView;
  if (qobject_cast<const QSlider*>(control)) return TControlClass::TrackBar;
  if (qobject_cast<const QStatusBar*>(control)) return TControlClass::StatusBar;
  if (qobject_cast<const QSplitterHandle*>(control)) return TControlClass::Splitter;
  auto* label = qobject_cast<const QLabel*>(control);
  if (label != nullptr && label->movie() != nullptr) return TControlClass::Animation;
  return TControlClass::WinControl;
}

TWindowProcList* TThemeManager::ListFor(QWidget* control, bool add) {
  TControlClass controlClass = ClassOf(control);
  if (!ThemeServices().ThemesEnabled() && controlClass != TControlClass::ListView) return nullptr;
  int option = kClassOption[static_cast<int>(controlClass)];
  if (add && option != kNoOption &&
      (options_ & ThemeOptionBit(static_cast<TThemeOption>(option))) == 0)
    return nullptr;
  return lists_[static_cast<int>(controlClass)].get();
}

void TThemeManager::HandleControlChange(QWidget* control, bool add) {
  if (control == nullptr || (add && subclassingDisabled_)) return;
  TWindowProcList* list = ListFor(control, add);
  if (list == nullptr) return;
  if (add && DoAllowSubclassing(control) && !control->property(kRefuseThemingProperty).toBool()) {
    list->Add(control);
    pendingForms_.erase(std::remove(pendingForms_.begin(), pendingForms_.end(), control),
                        pendingForms_.end());
    SubclassControls(control);
  } else {
    list->Remove(control);
  }
}

bool TThemeManager::NeedsDoubleBufferedErase(QWidget* control) const {
  return qobject_cast<QAbstractScrollArea*>(control) != nullptr;
}

bool TThemeManager::IsRegistered(const QObject* control) const {
  return std::any_of(lists_.begin(), lists_.end(),
                     [control](const auto& list) { return list->Contains(control); });
}

int TThemeManager::RegisteredCount() const {
  int count = 0;
  for (const auto& list : lists_) count += list->Count();
  return count;
}

void TThemeManager::AddControlMessageListener(TControlMessageListener listener) {
  listeners_.push_back(std::move(listener));
}

bool TThemeManager::DoAllowSubclassing(QWidget* control) {
  bool allow = true;
  if (OnAllowSubclassing) OnAllowSubclassing(this, control, allow);
  return allow;
}

bool TThemeManager::DoControlMessage(QWidget* control, QEvent* message) {
  bool handled = false;
  if (OnControlMessage) OnControlMessage(this, control, message, handled);
  for (std::size_t i = 0; !handled && i < listeners_.size();) {
    try {
      handled = listeners_[i](control, message);
      ++i;
    } catch (...) {
      // A failing listener is dropped; the others still get the event.
      listeners_.erase(listeners_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return handled;
}

void TThemeManager::DoOnThemeChange() {
  if (OnThemeChange) OnThemeChange(this);
}

bool TThemeManager::HandleMessage(TControlClass, QWidget* control, QEvent* event) {
  if (DoControlMessage(control, event)) return true;
  if (event->type() == QEvent::ChildPolished) {
    QObject* child = static_cast<QChildEvent*>(event)->child();
    if (child->isWidgetType() && !IsRegistered(child))
      HandleControlChange(static_cast<QWidget*>(child), true);
  } else if (event->type() == QEvent::ChildRemoved) {
    QObject* child = static_cast<QChildEvent*>(event)->child();
    for (auto& list : lists_)
      if (list->Remove(child)) break;
  }
  return false;
}

void TThemeManager::SubclassForms(QWidget* form) {
  if (subclassingDisabled_) return;
  if (form != nullptr) {
    HandleControlChange(form, true);
    return;
  }
  ClearLists();
  for (QWidget* each : Forms()) HandleControlChange(each, true);
}

void TThemeManager::SubclassControls(QWidget* parent) {
  for (QWidget* child : ChildWidgets(parent)) {
    if (IsRegistered(child)) continue;
    HandleControlChange(child, true);
    if (!IsRegistered(child)) SubclassControls(child);
  }
}

void TThemeManager::UnregisterChildren(QObject* parent) {
  for (QWidget* child : ChildWidgets(parent)) {
    bool removed = false;
    for (auto& list : lists_)
      if (list->Remove(child)) {
        removed = true;
        break;
      }
    if (!removed) UnregisterChildren(child);
  }
}

void TThemeManager::ClearLists() {
  for (auto& list : lists_) list->Clear();
}

void TThemeManager::UpdateThemes() {
  TThemeServices& services = ThemeServices();
  services.UpdateThemes();
  if (services.ThemesAvailable())
    options_ = (options_ & ~ThemeProperty::STAP_ALL) |
               (TThemeServices::ThemeAppProperties() & ThemeProperty::STAP_ALL);
}

void TThemeManager::BroadcastThemeChange() {
  std::function<void(QWidget*)> send = [&send](QWidget* widget) {
    QEvent change(QEvent::StyleChange);
    QCoreApplication::sendEvent(widget, &change);
    for (QWidget* child : ChildWidgets(widget)) send(child);
  };
  for (QWidget* form : Forms()) send(form);
  if (QCoreApplication::instance() != nullptr) {
    QEvent change(QEvent::ThemeChange);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &change);
  }
}

void TThemeManager::FormShown(QWidget* form) {
  if (!IsMainManager() || subclassingDisabled_ || IsRegistered(form)) return;
  if (std::find(pendingForms_.begin(), pendingForms_.end(), form) != pendingForms_.end()) return;
  pendingForms_.push_back(form);
  if (pendingForms_.size() == 1)
    QTimer::singleShot(0, hook_.get(), [this] { ProcessPendingForms(); });
}

void TThemeManager::ProcessPendingForms() {
  std::vector<QPointer<QWidget>> pending;
  pending.swap(pendingForms_);
  for (const QPointer<QWidget>& form : pending) {
    if (form.isNull()) continue;
    if (IsMainManager()) HandleControlChange(form, true);
    form->update();
  }
}
