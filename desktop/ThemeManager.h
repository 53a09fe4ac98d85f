#pragma once

#include <QPointer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QEvent;
class QObject;
class QWidget;
class TThemeManager;
namespace platform {
class ThemeWatcher;
}

enum TThemeOption : unsigned {
  toAllowNonClientArea,
  toAllowControls,
  toAllowWebContent,
  toSubclassAnimate,
  toSubclassButtons,
  toSubclassCheckListbox,
  toSubclassDBLookup,
  toSubclassFrame,
  toSubclassGroupBox,
  toSubclassListView,
  toSubclassPanel,
  toSubclassTabSheet,
  toSubclassSpeedButtons,
  toSubclassSplitter,
  toSubclassStatusBar,
  toSubclassTrackBar,
  toSubclassWinControl,
  toResetMouseCapture,
  toSetTransparency,
  toAlternateTabSheetDraw
};
// A set of TThemeOption, one bit each.
using TThemeOptions = std::uint32_t;
constexpr TThemeOptions ThemeOptionBit(TThemeOption option) {
  return 1u << option;
}
// Everything but toSubclassAnimate and toAlternateTabSheetDraw.
constexpr TThemeOptions kDefaultThemeOptions = 0x7FFF7;

// The classes of controls that the manager tells apart, in the order in which a control is
// matched against them (first match wins).
enum class TControlClass {
  ButtonControl,
  SpeedButton,
  GroupBox,
  TabSheet,
  Panel,
  Frame,
  ListView,
  TrackBar,
  CheckListBox,
  StatusBar,
  Splitter,
  Animation,
  Form,
  WinControl
};
constexpr int kControlClassCount = 14;

// The dynamic property by which a control asks to be left alone: when true, no manager registers
// it.
inline constexpr char kRefuseThemingProperty[] = "refuseTheming";

// The controls of one class that a manager has registered. Registering puts the list's event
// filter in front of the control's own event handling; every event of the control then passes the
// manager first, and goes on to the control unless the manager handled it.
class TWindowProcList {
 public:
  TWindowProcList(TThemeManager* owner, TControlClass controlClass);
  ~TWindowProcList();
  TWindowProcList(const TWindowProcList&) = delete;
  TWindowProcList& operator=(const TWindowProcList&) = delete;

  TControlClass ControlClass() const { return class_; }
  // The new entry's index; -1 when the control is not of this class or already registered.
  int Add(QWidget* control);
  // Unregisters the control and its registered children; false when it was not registered.
  bool Remove(QObject* control);
  // Unregisters every control.
  void Clear();
  bool Contains(const QObject* control) const;
  int Count() const { return static_cast<int>(entries_.size()); }

  // One event of a registered control; true when it is handled and must not reach the control.
  bool DispatchMessage(QWidget* control, QEvent* event);

 private:
  class Filter;
  void Forget(QObject* control);

  TThemeManager* owner_;
  TControlClass class_;
  std::vector<QObject*> entries_;
  std::unique_ptr<Filter> filter_;
};

// Keeps the program's standard controls in step with the desktop's look. One manager, the main
// one (the first created), registers the controls of every window: an event filter in front of
// each (TWindowProcList), through which OnControlMessage sees, and may take, every event of a
// registered control. Windows shown later, and controls added to registered windows later, are
// registered as they appear; a destroyed or removed control is unregistered. Further managers are
// secondary: they register nothing, pass Options to the main one, and take over the main role
// when it is destroyed. Every manager reports changes of the style, the palette or the desktop
// theme through OnThemeChange, once per change. Qt's styles paint every standard control
// themselves, so the manager paints nothing of its own. Main thread only.
class TThemeManager {
 public:
  using TNotifyEvent = std::function<void(TThemeManager* Sender)>;
  using TControlMessageEvent =
      std::function<void(TThemeManager* Sender, QWidget* Control, QEvent* Message, bool& Handled)>;
  using TAllowSubclassingEvent =
      std::function<void(TThemeManager* Sender, QWidget* Control, bool& Allow)>;
  // A listener answers true when it handled the event.
  using TControlMessageListener = std::function<bool(QWidget* Control, QEvent* Message)>;

  // owner: the window that creates the manager (informative; the caller owns the manager). The
  // main manager registers the controls of every window once the event loop runs (Loaded).
  explicit TThemeManager(QWidget* owner = nullptr);
  virtual ~TThemeManager();
  TThemeManager(const TThemeManager&) = delete;
  TThemeManager& operator=(const TThemeManager&) = delete;

  // The manager that registers controls, or nullptr.
  static TThemeManager* MainThemeManager();
  bool IsMainManager() const { return MainThemeManager() == this; }
  bool SubclassingEnabled() const { return !subclassingDisabled_; }

  TThemeOptions Options() const { return options_; }
  // A secondary manager passes the value to the main one. A change of the main manager's options
  // sets the application's theme properties (bits 0-2), reapplies the style to every window
  // (which reports a theme change) and repaints them.
  void SetOptions(TThemeOptions value);

  // Registers the controls of every window; called once the owner is complete.
  void Loaded();
  // Takes the main role from the current main manager, which unregisters its controls.
  virtual void BecomeMainManager();
  // Registers (add) or unregisters a control, by its class and Options.
  virtual void HandleControlChange(QWidget* control, bool add);
  // True for controls that scroll their content.
  virtual bool NeedsDoubleBufferedErase(QWidget* control) const;

  // Whether control is registered with this manager, and in which class.
  bool IsRegistered(const QObject* control) const;
  int RegisteredCount() const;

  void AddControlMessageListener(TControlMessageListener listener);

  TNotifyEvent OnThemeChange;
  TControlMessageEvent OnControlMessage;
  TAllowSubclassingEvent OnAllowSubclassing;

  // The class a control is matched to, whatever the options: Form for windows, WinControl for
  // any child widget of no other class.
  static TControlClass ClassOf(const QWidget* control);

 protected:
  virtual bool DoAllowSubclassing(QWidget* control);
  virtual bool DoControlMessage(QWidget* control, QEvent* message);
  virtual void DoOnThemeChange();

 private:
  friend class TWindowProcList;
  class Hook;

  bool HandleMessage(TControlClass controlClass, QWidget* control, QEvent* event);
  TWindowProcList* ListFor(QWidget* control, bool add);
  void SubclassForms(QWidget* form);
  void SubclassControls(QWidget* parent);
  void UnregisterChildren(QObject* parent);
  void ClearLists();
  void UpdateThemes();
  void BroadcastThemeChange();
  void ManagerGone();
  void FormShown(QWidget* form);
  void ProcessPendingForms();

  TThemeOptions options_ = kDefaultThemeOptions;
  std::array<std::unique_ptr<TWindowProcList>, kControlClassCount> lists_;
  std::vector<TControlMessageListener> listeners_;
  std::vector<QPointer<QWidget>> pendingForms_;
  bool subclassingDisabled_ = false;
  std::unique_ptr<Hook> hook_;
  std::unique_ptr<platform::ThemeWatcher> themeWatcher_;
};
