#pragma once

#include <QIcon>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/SimpleTimer.h"
#include "platform/NotifyIcon.h"
#include "platform/SharedWindow.h"

class QMenu;
class QWidget;
namespace platform {
class WindowWatcher;
}

// The images of an icon animation.
using TImageList = std::vector<QIcon>;

// One icon in the desktop's notification area: a tool tip, mouse events, a pop-up menu, icon
// animation through an image list, and hiding the owner window to the tray when it is minimized.
// All tray icons of the process share one hidden window (TTrayIconHandler) that receives the
// icons' callback messages. Main thread only.
//
// A window is never hidden while no tray host runs on the desktop: there would be no icon to
// bring it back. Minimizing then leaves it minimized as usual, and HideMainWindow does nothing.
class TTrayIcon {
 public:
  enum class TMouseButton { mbLeft, mbRight, mbMiddle };
  using TShiftState = unsigned;
  static constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16,
                               ssMiddle = 32;

  using TNotifyEvent = std::function<void(TTrayIcon* Sender)>;
  using TMouseEvent =
      std::function<void(TTrayIcon* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
  using TMouseMoveEvent = std::function<void(TTrayIcon* Sender, TShiftState Shift, int X, int Y)>;
  using TCycleEvent = std::function<void(TTrayIcon* Sender, int NextIndex)>;
  using TStartupEvent = std::function<void(TTrayIcon* Sender, bool& ShowMainForm)>;

  // The callback message of every icon: wParam names the icon, lParam is the mouse code.
  static constexpr unsigned WM_TRAYNOTIFY = platform::WM_USER + 1024;
  // The longest tool tip, in characters.
  static constexpr std::size_t kMaxTip = 127;

  // owner: the main window that minimizes to the tray and that RestoreMainWindow and
  // HideMainWindow act on; nullptr for an icon without one.
  explicit TTrayIcon(QWidget* owner = nullptr);
  // Removes the icon. Virtual: the event methods below are there to be overridden.
  virtual ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  // A stored flag (a design-time preview has no meaning in the running program).
  bool DesignPreview() const { return designPreview_; }
  void SetDesignPreview(bool value) { designPreview_ = value; }

  // The animation images; setting (or clearing) them selects image 0.
  const std::optional<TImageList>& IconList() const { return iconList_; }
  void SetIconList(std::optional<TImageList> list);

  // true: restart the animation at image 0 with period CycleInterval; false: stop it.
  bool CycleIcons() const { return cycleIcons_; }
  void SetCycleIcons(bool value);
  // Milliseconds per image; a running animation restarts at image 0 with the new period.
  std::uint32_t CycleInterval() const { return cycleInterval_; }
  void SetCycleInterval(std::uint32_t value);

  // false: mouse activity on the icon fires no event (message clicks still do).
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }

  // The tool tip (8-bit text; the first 127 characters are shown).
  const std::string& Hint() const { return hint_; }
  void SetHint(std::string value);
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value);

  // The image shown now.
  const QIcon& Icon() const { return icon_; }
  void SetIcon(const QIcon& value);

  bool IconVisible() const { return iconVisible_; }
  void SetIconVisible(bool value);

  // The image of IconList shown; clamped into the list. Without a list (or with an empty one) it
  // is 0 and the image stays as it is.
  int IconIndex() const { return iconIndex_; }
  void SetIconIndex(int value);

  // Shown on the right button (and the left one with LeftPopup); not owned. A double click
  // triggers the menu's default action, unless LeftPopup.
  QMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(QMenu* menu);
  bool LeftPopup() const { return leftPopup_; }
  void SetLeftPopup(bool value) { leftPopup_ = value; }

  // Enables OnMouseEnter and OnMouseExit (pointer polled every 20 ms after a mouse move).
  bool WantEnterExitEvents() const { return wantEnterExit_; }
  void SetWantEnterExitEvents(bool value);

  // Minimizing the owner hides it and shows the icon.
  bool MinimizeToTray() const { return minimizeToTray_; }
  void SetMinimizeToTray(bool value) { minimizeToTray_ = value; }

  // How the right button is reported: false, by its button-up code; true, by the context-menu
  // and select codes.
  bool ShellVersion3() const { return shellVersion3_; }
  void SetShellVersion(bool flag) { shellVersion3_ = flag; }

  // Events; Sender is always this icon.
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;
  TCycleEvent OnCycle;
  TNotifyEvent OnBalloonHintShow;
  TNotifyEvent OnBalloonHintHide;
  TNotifyEvent OnBalloonHintTimeout;
  TNotifyEvent OnBalloonHintClick;
  TNotifyEvent OnMinimizeToTray;
  TStartupEvent OnStartup;

  // Call once the properties are set: asks OnStartup whether the main window is to be shown (and
  // hides it to the tray if not), then shows the icon, the animation and the exit polling as
  // configured. The result says whether the program should show its main window: true when
  // OnStartup left it so, or when the window could not go to the tray (no tray host).
  bool Loaded();

  // Show, take away or update the icon. False when no tray host took the change.
  bool AddTrayIcon();
  bool RemoveTrayIcon();
  bool UpdateTrayIcon();

  // Shows the owner window again, not minimized, in front.
  void RestoreMainWindow();
  // Hides the owner window to the tray; false (and nothing hidden) without an owner, while the
  // icon is not visible, or while no tray host runs.
  bool HideMainWindow();
  // Opens PopupMenu at the pointer, unless it is open already.
  void PopupAtCursor();

  // Whether a tray host runs on the desktop.
  static bool TrayAvailable();

  // The shared window's handle and this icon's number on it: WM_TRAYNOTIFY goes there.
  platform::HWND CallbackWindow() const;
  platform::WPARAM Identifier() const { return id_; }
  const platform::NotifyIcon& Notify() const { return *notify_; }

 protected:
  virtual void Click();
  virtual void DblClick();
  virtual void DoCycle();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseEnter();
  virtual void MouseExit();
  virtual void DoMinimizeToTray();

 private:
  friend class TTrayIconHandler;
  void HandleIconMessage(unsigned code);
  void ClickTimerProc();
  void CycleTimerProc();
  void ExitTimerProc();
  void OwnerMinimized();
  void OwnerRestored();
  void ShowImage(int index);
  int NextIndex() const;
  TShiftState CurrentShiftState() const;
  std::string TipText() const;
  QWidget* MainWindow() const;
  void HideMainWindowNow();

  platform::WPARAM id_ = 0;
  QPointer<QWidget> owner_;
  bool designPreview_ = false;
  std::optional<TImageList> iconList_;
  bool cycleIcons_ = false;
  std::uint32_t cycleInterval_ = 0;
  bool enabled_ = true;
  std::string hint_;
  bool showHint_ = true;
  QIcon icon_;
  bool iconVisible_ = false;
  int iconIndex_ = 0;
  QPointer<QMenu> popupMenu_;
  bool leftPopup_ = false;
  bool wantEnterExit_ = false;
  bool minimizeToTray_ = false;
  bool shellVersion3_ = false;

  bool clickStarted_ = false;
  bool clickReady_ = false;
  bool dblClickSeen_ = false;
  bool didExit_ = true;
  int lastMoveX_ = 0;
  int lastMoveY_ = 0;

  std::unique_ptr<platform::NotifyIcon> notify_;
  TSimpleTimer cycleTimer_;
  TSimpleTimer clickTimer_;
  TSimpleTimer exitTimer_;
  std::unique_ptr<platform::WindowWatcher> watcher_;
};

// The hidden window shared by all tray icons. It outlives close requests and the end-of-session
// messages (it answers them with 1), and passes each icon's callback to that icon only.
class TTrayIconHandler {
 public:
  TTrayIconHandler();
  // The shared handler, or nullptr while no tray icon exists.
  static TTrayIconHandler* Instance();
  static int RefCount();
  platform::HWND Handle() const { return window_.Handle(); }

 private:
  friend class TTrayIcon;
  platform::SharedWindow window_;
};

TTrayIconHandler& AcquireTrayIconHandler();
void ReleaseTrayIconHandler();
