#include "desktop/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "platform/Pointer.h"
#include "platform/WindowWatcher.h"

namespace {

using TrayHandlerInstance = platform::SharedInstance<TTrayIconHandler>;

// Messages that would end a window or the user's session: the tray window answers them with 1
// and lives on.
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_QUERYENDSESSION = 0x0011;
constexpr unsigned WM_QUIT = 0x0012;
constexpr unsigned WM_ENDSESSION = 0x0016;
constexpr unsigned WM_NCDESTROY = 0x0082;

platform::LRESULT TrayWindowProc(unsigned msg, platform::WPARAM, platform::LPARAM) {
  switch (msg) {
    case WM_DESTROY:
    case platform::WM_CLOSE:
    case WM_QUERYENDSESSION:
    case WM_QUIT:
    case WM_ENDSESSION:
    case WM_NCDESTROY:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

TTrayIconHandler::TTrayIconHandler() : window_(TTrayIcon::WM_TRAYNOTIFY, TrayWindowProc) {}
TTrayIconHandler* TTrayIconHandler::Instance() {
  return TrayHandlerInstance::Get();
}
int TTrayIconHandler::RefCount() {
  return TrayHandlerInstance::RefCount();
}
TTrayIconHandler& AcquireTrayIconHandler() {
  return TrayHandlerInstance::Acquire();
}
void ReleaseTrayIconHandler() {
  TrayHandlerInstance::Release();
}

TTrayIcon::TTrayIcon(QWidget* owner)
    : owner_(owner),
      cycleTimer_(1000, [this](TSimpleTimer*) { CycleTimerProc(); }),
      clickTimer_(1000, [this](TSimpleTimer*) { ClickTimerProc(); }),
      exitTimer_(20, [this](TSimpleTimer*) { ExitTimerProc(); }) {
  TTrayIconHandler& handler = AcquireTrayIconHandler();
  id_ = handler.window_.AddClient([this](unsigned, platform::LPARAM code) {
    HandleIconMessage(static_cast<unsigned>(code));
    return platform::LRESULT{0};
  });
  notify_ = std::make_unique<platform::NotifyIcon>(handler.Handle(), id_, WM_TRAYNOTIFY);
  if (owner)
    watcher_ = std::make_unique<platform::WindowWatcher>(
        owner->window(), [this] { OwnerMinimized(); }, [this] { OwnerRestored(); });
}

TTrayIcon::~TTrayIcon() {
  SetIconVisible(false);
  designPreview_ = false;
  watcher_.reset();
  notify_.reset();
  TTrayIconHandler::Instance()->window_.RemoveClient(id_);
  ReleaseTrayIconHandler();
}

platform::HWND TTrayIcon::CallbackWindow() const {
  return TTrayIconHandler::Instance()->Handle();
}

bool TTrayIcon::TrayAvailable() {
  return platform::NotifyIcon::Available();
}

// --- properties

void TTrayIcon::SetIconList(std::optional<TImageList> list) {
  iconList_ = std::move(list);
  SetIconIndex(0);
}

void TTrayIcon::SetCycleIcons(bool value) {
  cycleIcons_ = value;
  if (value) {
    SetIconIndex(0);
    cycleTimer_.SetInterval(cycleInterval_);
    cycleTimer_.SetEnabled(true);
  } else {
    cycleTimer_.SetEnabled(false);
  }
}

void TTrayIcon::SetCycleInterval(std::uint32_t value) {
  cycleInterval_ = value;
  SetCycleIcons(cycleIcons_);
}

void TTrayIcon::SetHint(std::string value) {
  hint_ = std::move(value);
  UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool value) {
  showHint_ = value;
  UpdateTrayIcon();
}

void TTrayIcon::SetIcon(const QIcon& value) {
  icon_ = value;
  UpdateTrayIcon();
}

void TTrayIcon::SetIconVisible(bool value) {
  if (value)
    AddTrayIcon();
  else
    RemoveTrayIcon();
}

void TTrayIcon::SetIconIndex(int value) {
  if (iconList_ && !iconList_->empty()) {
    int last = static_cast<int>(iconList_->size()) - 1;
    iconIndex_ = value > last ? last : (value < 0 ? 0 : value);
    icon_ = (*iconList_)[static_cast<std::size_t>(iconIndex_)];
  } else {
    iconIndex_ = 0;
  }
  UpdateTrayIcon();
}

void TTrayIcon::SetPopupMenu(QMenu* menu) {
  popupMenu_ = menu;
  notify_->SetMenu(menu);
}

void TTrayIcon::SetWantEnterExitEvents(bool value) {
  wantEnterExit_ = value;
  exitTimer_.SetEnabled(value);
}

// --- the shell side

std::string TTrayIcon::TipText() const {
  if (hint_.empty() || !showHint_) return {};
  std::string tip = hint_.substr(0, hint_.find('\0'));
  if (tip.size() > kMaxTip) tip.resize(kMaxTip);
  return tip;
}

bool TTrayIcon::AddTrayIcon() {
  iconVisible_ = true;
  return notify_->Add(icon_, TipText());
}

bool TTrayIcon::RemoveTrayIcon() {
  iconVisible_ = false;
  return notify_->Delete();
}

bool TTrayIcon::UpdateTrayIcon() {
  return notify_->Modify(icon_, TipText());
}

bool TTrayIcon::Loaded() {
  bool showMainForm = true;
  if (MainWindow()) {
    if (OnStartup) OnStartup(this, showMainForm);
    // Without a tray host the window cannot go there; it is shown instead.
    if (!showMainForm && !HideMainWindow()) showMainForm = true;
  }
  UpdateTrayIcon();
  SetIconVisible(iconVisible_);
  SetCycleIcons(cycleIcons_);
  SetWantEnterExitEvents(wantEnterExit_);
  SetShellVersion(shellVersion3_);
  return showMainForm;
}

// --- mouse

TTrayIcon::TShiftState TTrayIcon::CurrentShiftState() const {
  platform::KeyModifiers keys = platform::AsyncKeyModifiers();
  return (keys.shift ? ssShift : 0) | (keys.alt ? ssAlt : 0) | (keys.ctrl ? ssCtrl : 0);
}

void TTrayIcon::HandleIconMessage(unsigned code) {
  using namespace platform;
  switch (code) {
    case NIN_BALLOONSHOW:
      if (OnBalloonHintShow) OnBalloonHintShow(this);
      return;
    case NIN_BALLOONHIDE:
      if (OnBalloonHintHide) OnBalloonHintHide(this);
      return;
    case NIN_BALLOONTIMEOUT:
      if (OnBalloonHintTimeout) OnBalloonHintTimeout(this);
      return;
    case NIN_BALLOONUSERCLICK:
      if (OnBalloonHintClick) OnBalloonHintClick(this);
      return;
    default:
      break;
  }
  if (!enabled_) return;

  CursorPoint at;
  GetCursorPos(at);
  const TShiftState shift = CurrentShiftState();
  switch (code) {
    case WM_MOUSEMOVE:
      if (wantEnterExit_ && didExit_) {
        MouseEnter();
        didExit_ = false;
      }
      MouseMove(shift, at.x, at.y);
      lastMoveX_ = at.x;
      lastMoveY_ = at.y;
      break;
    case WM_LBUTTONDOWN:
      // With a double-click handler the click waits one double-click time for a second one.
      if (OnDblClick) {
        clickTimer_.SetInterval(GetDoubleClickTime());
        clickTimer_.SetEnabled(true);
      }
      MouseDown(TMouseButton::mbLeft, shift | ssLeft, at.x, at.y);
      clickStarted_ = true;
      if (leftPopup_) PopupAtCursor();
      break;
    case WM_LBUTTONUP:
      if (clickStarted_) {
        clickReady_ = true;
        if (!clickTimer_.Enabled()) {
          clickStarted_ = false;
          clickReady_ = false;
          Click();
        }
      }
      clickStarted_ = false;
      MouseUp(TMouseButton::mbLeft, shift | ssLeft, at.x, at.y);
      break;
    case WM_LBUTTONDBLCLK:
      clickReady_ = false;
      dblClickSeen_ = true;
      DblClick();
      if (popupMenu_ && !leftPopup_) {
        QAction* item = popupMenu_->defaultAction();
        if (item && popupMenu_->actions().contains(item)) item->trigger();
      }
      break;
    case WM_RBUTTONDOWN:
      MouseDown(TMouseButton::mbRight, shift | ssRight, at.x, at.y);
      PopupAtCursor();
      break;
    case WM_RBUTTONUP:
      if (!shellVersion3_) MouseUp(TMouseButton::mbRight, shift | ssRight, at.x, at.y);
      break;
    case WM_CONTEXTMENU:
    case NIN_SELECT:
    case NIN_KEYSELECT:
      if (shellVersion3_) MouseUp(TMouseButton::mbRight, shift | ssRight, at.x, at.y);
      break;
    case WM_MBUTTONDOWN:
      MouseDown(TMouseButton::mbMiddle, shift | ssMiddle, at.x, at.y);
      break;
    case WM_MBUTTONUP:
      MouseUp(TMouseButton::mbMiddle, shift | ssMiddle, at.x, at.y);
      break;
    default:
      break;
  }
}

void TTrayIcon::ClickTimerProc() {
  clickTimer_.SetEnabled(false);
  if (!dblClickSeen_ && clickReady_) {
    clickReady_ = false;
    Click();
  }
  dblClickSeen_ = false;
}

void TTrayIcon::ExitTimerProc() {
  if (didExit_) return;
  platform::CursorPoint at;
  if (!platform::GetCursorPos(at)) return;
  if (at.x != lastMoveX_ || at.y != lastMoveY_) {
    didExit_ = true;
    MouseExit();
  }
}

void TTrayIcon::PopupAtCursor() {
  if (!popupMenu_ || popupMenu_->isVisible()) return;
  platform::CursorPoint at;
  if (!platform::GetCursorPos(at)) return;
  popupMenu_->popup(QPoint(at.x, at.y));
}

// --- animation

int TTrayIcon::NextIndex() const {
  if (!iconList_) return 0;
  return iconIndex_ < static_cast<int>(iconList_->size()) - 1 ? iconIndex_ + 1 : 0;
}

void TTrayIcon::ShowImage(int index) {
  if (!iconList_ || index < 0 || index >= static_cast<int>(iconList_->size())) return;
  icon_ = (*iconList_)[static_cast<std::size_t>(index)];
  UpdateTrayIcon();
}

void TTrayIcon::CycleTimerProc() {
  if (!iconList_) return;
  ShowImage(iconIndex_);
  DoCycle();
  iconIndex_ = NextIndex();
}

// --- the main window

QWidget* TTrayIcon::MainWindow() const {
  return owner_ ? owner_->window() : nullptr;
}

void TTrayIcon::HideMainWindowNow() {
  if (QWidget* window = MainWindow()) window->hide();
}

bool TTrayIcon::HideMainWindow() {
  if (!MainWindow() || !iconVisible_ || !TrayAvailable()) return false;
  HideMainWindowNow();
  return true;
}

void TTrayIcon::RestoreMainWindow() {
  QWidget* window = MainWindow();
  if (!window) return;
  if (window->windowState().testFlag(Qt::WindowMinimized))
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
  window->show();
  window->raise();
  window->activateWindow();
}

void TTrayIcon::OwnerMinimized() {
  if (!minimizeToTray_ || !TrayAvailable()) return;
  if (OnMinimizeToTray) OnMinimizeToTray(this);
  DoMinimizeToTray();
}

void TTrayIcon::OwnerRestored() {
  QWidget* window = MainWindow();
  if (window && !window->isVisible()) window->show();
}

// --- events

void TTrayIcon::Click() {
  if (OnClick) OnClick(this);
}
void TTrayIcon::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TTrayIcon::DoCycle() {
  if (OnCycle) OnCycle(this, NextIndex());
}
void TTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
void TTrayIcon::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TTrayIcon::MouseEnter() {
  if (OnMouseEnter) OnMouseEnter(this);
}
void TTrayIcon::MouseExit() {
  if (OnMouseExit) OnMouseExit(this);
}

void TTrayIcon::DoMinimizeToTray() {
  // A window hidden while no tray host runs could not be brought back.
  if (!MainWindow() || !TrayAvailable()) return;
  HideMainWindowNow();
  SetIconVisible(true);
}
