#pragma once

#include <QPalette>
#include <QRect>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class QPainter;
class QStyle;
class QWidget;
namespace platform {
class ThemeWatcher;
}

// The element classes of the desktop's visual style, in index order.
enum class TThemedElement {
  teButton,
  teClock,
  teComboBox,
  teEdit,
  teExplorerBar,
  teHeader,
  teListView,
  teMenu,
  tePage,
  teProgress,
  teRebar,
  teScrollBar,
  teSpin,
  teStartPanel,
  teStatus,
  teTab,
  teTaskBand,
  teTaskBar,
  teToolBar,
  teToolTip,
  teTrackBar,
  teTrayNotify,
  teTreeview,
  teWindow
};
constexpr int kThemedElementCount = 24;

// The class name of an element class ("button", "clock", ... "window").
const char* ThemedElementName(TThemedElement element);

// One element of the style: its class, and the part and state numbers within that class. Part 0
// is the class's root, which no drawing routine paints.
struct TThemedElementDetails {
  TThemedElement Element = TThemedElement::teButton;
  int Part = 0;
  int State = 0;
  friend bool operator==(const TThemedElementDetails&, const TThemedElementDetails&) = default;
};

// The families of element values. Each family numbers its details from 0; the states of one part
// follow each other, and values 0 and 1 (don't-care and root) belong to no part.
enum class TElementFamily { Button, Edit, Rebar, Status, Tab, ToolBar, TrackBar };

// The values that the program's own painting names.
namespace ThemedValue {
constexpr int tbPushButtonNormal = 2;
constexpr int tbCheckBoxUncheckedNormal = 15, tbCheckBoxUncheckedDisabled = 18;
constexpr int tbCheckBoxCheckedNormal = 19, tbCheckBoxCheckedDisabled = 22;
constexpr int tbCheckBoxMixedNormal = 23, tbCheckBoxMixedDisabled = 26;
constexpr int tbGroupBoxNormal = 27, tbGroupBoxDisabled = 28;
constexpr int teEditTextNormal = 2;
constexpr int trBand = 4;
constexpr int ttBody = 43;
constexpr int ttbButtonNormal = 2;
constexpr int ttbTics = 34;
}  // namespace ThemedValue

// Edge and side flags of DrawEdge.
namespace ThemeEdge {
constexpr unsigned BDR_RAISEDOUTER = 1, BDR_SUNKENOUTER = 2, BDR_RAISEDINNER = 4,
                   BDR_SUNKENINNER = 8;
constexpr unsigned EDGE_RAISED = 5, EDGE_SUNKEN = 10;
constexpr unsigned BF_LEFT = 1, BF_TOP = 2, BF_RIGHT = 4, BF_BOTTOM = 8, BF_RECT = 15,
                   BF_ADJUST = 0x2000;
}  // namespace ThemeEdge

// Text flags of DrawText.
namespace ThemeText {
constexpr unsigned DT_LEFT = 0, DT_CENTER = 1, DT_RIGHT = 2, DT_VCENTER = 4, DT_BOTTOM = 8,
                   DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20;
}

// The application's theme properties: which parts of the program take the style.
namespace ThemeProperty {
constexpr std::uint32_t STAP_ALLOW_NONCLIENT = 1, STAP_ALLOW_CONTROLS = 2,
                        STAP_ALLOW_WEBCONTENT = 4, STAP_ALL = 7;
}

// What the style gives one element class: the palette of the widget class that shows elements of
// that class. The style itself is always the application's current one.
struct TThemeData {
  QPalette Palette;
};

// The process's access to the desktop's visual style, which Qt's widget style and palette are
// here. It knows whether the style is in use, keeps the style's data for each element class,
// turns element values into details, draws elements through the style, and reports changes of the
// style, the palette or the desktop theme. Obtain it through ThemeServices(). Main thread only.
class TThemeServices {
 public:
  using TNotifyEvent = std::function<void(TThemeServices* Sender)>;

  TThemeServices();
  virtual ~TThemeServices();
  TThemeServices(const TThemeServices&) = delete;
  TThemeServices& operator=(const TThemeServices&) = delete;

  // A widget application with a style exists.
  bool ThemesAvailable() const { return themesAvailable_; }
  // The style is in use now.
  bool UseThemes() const { return useThemes_; }
  // UseThemes, and the application's theme properties allow styled controls.
  bool ControlsEnabled() const { return controlsEnabled_; }
  // All three; the theme manager paints only while this holds.
  bool ThemesEnabled() const { return themesAvailable_ && useThemes_ && controlsEnabled_; }

  // The style's data for an element class, gathered on first request; nullptr while the style
  // is not in use.
  const TThemeData* Theme(TThemedElement element);
  // Drops the gathered data; the next request gathers it again.
  void UnloadThemeData();
  // Looks at the style again after a change.
  void UpdateThemes();

  // The details of a family's value; a value outside every part gives part 0.
  static TThemedElementDetails GetElementDetails(TElementFamily family, int value);
  // Whether the element leaves parts of its rectangle unpainted, so that the parent's background
  // must be drawn first.
  static bool IsPartiallyTransparent(const TThemedElementDetails& details);

  // Each drawing routine draws only while ThemesEnabled, and says whether it drew.
  bool DrawElement(QPainter& painter, const TThemedElementDetails& details, const QRect& rect,
                   const QRect* clip = nullptr);
  // Bevels of edge (BDR_ bits) on the sides in flags (BF_ bits); with BF_ADJUST, contentRect
  // receives the rectangle inside them.
  bool DrawEdge(QPainter& painter, const TThemedElementDetails& details, const QRect& rect,
                unsigned edge, unsigned flags, QRect* contentRect = nullptr);
  // 8-bit text, shown as Latin-1, aligned by the DT_ flags; greyed for a disabled state.
  bool DrawText(QPainter& painter, const TThemedElementDetails& details, const std::string& text,
                const QRect& rect, unsigned flags, unsigned flags2 = 0);
  // The part of bounding that holds the element's content.
  QRect ContentRect(const TThemedElementDetails& details, const QRect& bounding);
  // Paints the background of control's parent under rect (control coordinates; the whole control
  // without one). With onlyIfTransparent and details, only where the element is partially
  // transparent.
  bool DrawParentBackground(QWidget* control, QPainter& painter,
                            const TThemedElementDetails* details, bool onlyIfTransparent,
                            const QRect* rect = nullptr);

  // The application's theme properties (ThemeProperty bits; all at start).
  static std::uint32_t ThemeAppProperties();
  static void SetThemeAppProperties(std::uint32_t flags);

  // Called after the style, the palette or the desktop theme changed, once per change.
  TNotifyEvent OnThemeChange;

 protected:
  virtual void DoOnThemeChange();

 private:
  void ThemeChanged();

  bool themesAvailable_ = false;
  bool useThemes_ = false;
  bool controlsEnabled_ = false;
  std::array<std::optional<TThemeData>, kThemedElementCount> cache_;
  std::unique_ptr<platform::ThemeWatcher> watcher_;
};

// The process's one TThemeServices, created on first use.
TThemeServices& ThemeServices();
