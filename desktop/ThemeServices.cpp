#include "desktop/ThemeServices.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QWidget>
#include <initializer_list>

#include "platform/Latin1.h"
#include "platform/ThemeWatcher.h"

namespace {

struct ElementClass {
  const char* name;
  const char* widgetClass;  // whose palette the class's elements take
};

constexpr ElementClass kElementClasses[kThemedElementCount] = {
    {"button", "QPushButton"},    {"clock", "QWidget"},       {"combobox", "QComboBox"},
    {"edit", "QLineEdit"},        {"explorerbar", "QWidget"}, {"header", "QHeaderView"},
    {"listview", "QListView"},    {"menu", "QMenu"},          {"page", "QTabWidget"},
    {"progress", "QProgressBar"}, {"rebar", "QToolBar"},      {"scrollbar", "QScrollBar"},
    {"spin", "QAbstractSpinBox"}, {"startpanel", "QWidget"},  {"status", "QStatusBar"},
    {"tab", "QTabBar"},           {"taskband", "QWidget"},    {"taskbar", "QWidget"},
    {"toolbar", "QToolBar"},      {"tooltip", "QTipLabel"},   {"trackbar", "QSlider"},
    {"traynotify", "QWidget"},    {"treeview", "QTreeView"},  {"window", "QWidget"},
};

// How the style paints a part.
enum class Kind {
  None,
  PushButton,
  Radio,
  Check,
  GroupBox,
  EditText,
  Gripper,
  GripperVert,
  Band,
  Chevron,
  ChevronVert,
  StatusPane,
  SizeGrip,
  TabItem,
  TabPane,
  TabBody,
  ToolButton,
  ToolDropDown,
  ToolSeparator,
  ToolSeparatorVert,
  SliderTrack,
  SliderTrackVert,
  SliderThumb,
  SliderThumbVert,
  SliderTics,
  SliderTicsVert
};

// The states of a part, one letter for each state number from 1: n normal, h hot, p pressed,
// d disabled, D default, s selected, f focused, r read-only, c checked, C hot and checked.
// Radio buttons and check boxes repeat "nhpd" for off, on and mixed.
struct PartInfo {
  int first, last;
  Kind kind;
  const char* states;
  bool transparent;
};

struct Family {
  TThemedElement element;
  std::initializer_list<PartInfo> parts;  // part numbers 1, 2, ... in order
};

const Family& FamilyOf(TElementFamily family) {
  using E = TThemedElement;
  using K = Kind;
  static const Family kButton{E::teButton,
                              {{2, 6, K::PushButton, "nhpdD", true},
                               {7, 14, K::Radio, "nhpd", true},
                               {15, 26, K::Check, "nhpd", true},
                               {27, 28, K::GroupBox, "nd", true},
                               {29, 29, K::PushButton, "n", true}}};
  static const Family kEdit{E::teEdit,
                            {{2, 8, K::EditText, "nhsdfr", false}, {9, 9, K::None, "n", true}}};
  static const Family kRebar{E::teRebar,
                             {{2, 2, K::Gripper, "n", true},
                              {3, 3, K::GripperVert, "n", true},
                              {4, 9, K::Band, "nhpdcC", false},
                              {10, 13, K::Chevron, "nhp", true},
                              {14, 17, K::ChevronVert, "nhp", true}}};
  static const Family kStatus{E::teStatus,
                              {{2, 2, K::StatusPane, "n", true},
                               {3, 3, K::StatusPane, "n", true},
                               {4, 4, K::SizeGrip, "n", true}}};
  static const Family kTab{E::teTab,
                           {{2, 6, K::TabItem, "nhsdf", true},
                            {7, 11, K::TabItem, "nhsdf", true},
                            {12, 16, K::TabItem, "nhsdf", true},
                            {17, 21, K::TabItem, "nhsdf", true},
                            {22, 26, K::TabItem, "nhsdf", true},
                            {27, 31, K::TabItem, "nhsdf", true},
                            {32, 36, K::TabItem, "nhsdf", true},
                            {37, 41, K::TabItem, "nhsdf", true},
                            {42, 42, K::TabPane, "n", true},
                            {43, 43, K::TabBody, "n", false}}};
  static const Family kToolBar{E::teToolBar,
                               {{2, 7, K::ToolButton, "nhpdcC", true},
                                {8, 13, K::ToolButton, "nhpdcC", true},
                                {14, 19, K::ToolButton, "nhpdcC", true},
                                {20, 25, K::ToolDropDown, "nhpdcC", true},
                                {26, 31, K::ToolSeparator, "nhpdcC", true},
                                {32, 37, K::ToolSeparatorVert, "nhpdcC", true}}};
  static const Family kTrackBar{E::teTrackBar,
                                {{2, 2, K::SliderTrack, "n", true},
                                 {3, 3, K::SliderTrackVert, "n", true},
                                 {4, 8, K::SliderThumb, "nhpfd", true},
                                 {9, 13, K::SliderThumb, "nhpfd", true},
                                 {14, 18, K::SliderThumb, "nhpfd", true},
                                 {19, 23, K::SliderThumbVert, "nhpfd", true},
                                 {24, 28, K::SliderThumbVert, "nhpfd", true},
                                 {29, 33, K::SliderThumbVert, "nhpfd", true},
                                 {34, 34, K::SliderTics, "n", true},
                                 {35, 35, K::SliderTicsVert, "n", true}}};
  switch (family) {
    case TElementFamily::Button:
      return kButton;
    case TElementFamily::Edit:
      return kEdit;
    case TElementFamily::Rebar:
      return kRebar;
    case TElementFamily::Status:
      return kStatus;
    case TElementFamily::Tab:
      return kTab;
    case TElementFamily::ToolBar:
      return kToolBar;
    case TElementFamily::TrackBar:
      break;
  }
  return kTrackBar;
}

constexpr TElementFamily kFamilies[] = {TElementFamily::Button,  TElementFamily::Edit,
                                        TElementFamily::Rebar,   TElementFamily::Status,
                                        TElementFamily::Tab,     TElementFamily::ToolBar,
                                        TElementFamily::TrackBar};

// The part that details name, or nullptr for a root, an unknown part or another class.
const PartInfo* PartOf(const TThemedElementDetails& details) {
  for (TElementFamily f : kFamilies) {
    const Family& family = FamilyOf(f);
    if (family.element != details.Element) continue;
    if (details.Part < 1 || details.Part > static_cast<int>(family.parts.size())) return nullptr;
    return family.parts.begin() + (details.Part - 1);
  }
  return nullptr;
}

// The state letter of details' state, and for radio buttons and check boxes the check group
// (0 off, 1 on, 2 mixed).
char StateLetter(const PartInfo& part, int state, int* group) {
  std::string_view letters = part.states;
  int index = state < 1 ? 0 : state - 1;
  *group = 0;
  if (part.kind == Kind::Radio || part.kind == Kind::Check) {
    *group = index / 4;
    index %= 4;
  }
  return index < static_cast<int>(letters.size()) ? letters[index] : 'n';
}

void FillOption(QStyleOption& option, const QPalette& palette, const QRect& rect, char letter) {
  option.rect = rect;
  option.palette = palette;
  option.direction = QApplication::layoutDirection();
  option.state = QStyle::State_Enabled;
  switch (letter) {
    case 'h':
      option.state |= QStyle::State_MouseOver;
      break;
    case 'p':
      option.state |= QStyle::State_Sunken;
      break;
    case 'd':
      option.state &= ~QStyle::State_Enabled;
      break;
    case 's':
      option.state |= QStyle::State_Selected;
      break;
    case 'f':
      option.state |= QStyle::State_HasFocus;
      break;
    case 'r':
      option.state |= QStyle::State_ReadOnly;
      break;
    case 'c':
      option.state |= QStyle::State_On;
      break;
    case 'C':
      option.state |= QStyle::State_On | QStyle::State_MouseOver;
      break;
    default:
      break;
  }
}

void DrawSlider(QStyle* style, QPainter& painter, QStyleOption& base, Kind kind) {
  QStyleOptionSlider option;
  static_cast<QStyleOption&>(option) = base;
  bool vertical = kind == Kind::SliderTrackVert || kind == Kind::SliderThumbVert ||
                  kind == Kind::SliderTicsVert;
  option.orientation = vertical ? Qt::Vertical : Qt::Horizontal;
  if (!vertical) option.state |= QStyle::State_Horizontal;
  option.minimum = 0;
  option.maximum = 100;
  option.tickPosition = QSlider::TicksBelow;
  option.tickInterval = 10;
  option.subControls =
      kind == Kind::SliderTrack || kind == Kind::SliderTrackVert ? QStyle::SC_SliderGroove
      : kind == Kind::SliderTics || kind == Kind::SliderTicsVert ? QStyle::SC_SliderTickmarks
                                                                 : QStyle::SC_SliderHandle;
  style->drawComplexControl(QStyle::CC_Slider, &option, &painter);
}

// Paints one part through the style.
void DrawPart(QStyle* style, QPainter& painter, const PartInfo& part, char letter, int group,
              QStyleOption& base) {
  switch (part.kind) {
    case Kind::PushButton: {
      QStyleOptionButton option;
      static_cast<QStyleOption&>(option) = base;
      if (letter == 'D') option.features |= QStyleOptionButton::DefaultButton;
      style->drawControl(QStyle::CE_PushButtonBevel, &option, &painter);
      return;
    }
    case Kind::Radio:
    case Kind::Check: {
      QStyleOptionButton option;
      static_cast<QStyleOption&>(option) = base;
      option.state |= group == 1   ? QStyle::State_On
                      : group == 2 ? QStyle::State_NoChange
                                   : QStyle::State_Off;
      style->drawPrimitive(
          part.kind == Kind::Radio ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox,
          &option, &painter);
      return;
    }
    case Kind::GroupBox:
    case Kind::EditText:
    case Kind::StatusPane: {
      QStyleOptionFrame option;
      static_cast<QStyleOption&>(option) = base;
      option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
      style->drawPrimitive(part.kind == Kind::GroupBox   ? QStyle::PE_FrameGroupBox
                           : part.kind == Kind::EditText ? QStyle::PE_PanelLineEdit
                                                         : QStyle::PE_FrameStatusBarItem,
                           &option, &painter);
      return;
    }
    case Kind::Gripper:
      base.state |= QStyle::State_Horizontal;
      style->drawPrimitive(QStyle::PE_IndicatorToolBarHandle, &base, &painter);
      return;
    case Kind::GripperVert:
      style->drawPrimitive(QStyle::PE_IndicatorToolBarHandle, &base, &painter);
      return;
    case Kind::Band: {
      QStyleOptionToolBar option;
      static_cast<QStyleOption&>(option) = base;
      style->drawPrimitive(QStyle::PE_PanelToolBar, &option, &painter);
      return;
    }
    case Kind::Chevron:
    case Kind::ChevronVert:
      style->drawPrimitive(QStyle::PE_PanelButtonTool, &base, &painter);
      style->drawPrimitive(part.kind == Kind::Chevron ? QStyle::PE_IndicatorArrowRight
                                                      : QStyle::PE_IndicatorArrowDown,
                           &base, &painter);
      return;
    case Kind::SizeGrip: {
      QStyleOptionSizeGrip option;
      static_cast<QStyleOption&>(option) = base;
      option.corner =
          base.direction == Qt::RightToLeft ? Qt::BottomLeftCorner : Qt::BottomRightCorner;
      style->drawControl(QStyle::CE_SizeGrip, &option, &painter);
      return;
    }
    case Kind::TabItem: {
      QStyleOptionTab option;
      static_cast<QStyleOption&>(option) = base;
      style->drawControl(QStyle::CE_TabBarTabShape, &option, &painter);
      return;
    }
    case Kind::TabPane: {
      QStyleOptionTabWidgetFrame option;
      static_cast<QStyleOption&>(option) = base;
      option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
      style->drawPrimitive(QStyle::PE_FrameTabWidget, &option, &painter);
      return;
    }
    case Kind::TabBody:
      painter.fillRect(base.rect, base.palette.window());
      return;
    case Kind::ToolButton:
      style->drawPrimitive(QStyle::PE_PanelButtonTool, &base, &painter);
      return;
    case Kind::ToolDropDown:
      style->drawPrimitive(QStyle::PE_IndicatorButtonDropDown, &base, &painter);
      return;
    case Kind::ToolSeparator:
      base.state |= QStyle::State_Horizontal;
      style->drawPrimitive(QStyle::PE_IndicatorToolBarSeparator, &base, &painter);
      return;
    case Kind::ToolSeparatorVert:
      style->drawPrimitive(QStyle::PE_IndicatorToolBarSeparator, &base, &painter);
      return;
    case Kind::SliderTrack:
    case Kind::SliderTrackVert:
    case Kind::SliderThumb:
    case Kind::SliderThumbVert:
    case Kind::SliderTics:
    case Kind::SliderTicsVert:
      DrawSlider(style, painter, base, part.kind);
      return;
    case Kind::None:
      return;
  }
}

std::uint32_t& AppProperties() {
  static std::uint32_t properties = ThemeProperty::STAP_ALL;
  return properties;
}

bool WidgetApplication() {
  return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

const char* ThemedElementName(TThemedElement element) {
  int index = static_cast<int>(element);
  return index >= 0 && index < kThemedElementCount ? kElementClasses[index].name : "";
}

TThemeServices::TThemeServices() {
  themesAvailable_ = WidgetApplication() && QApplication::style() != nullptr;
  if (WidgetApplication())
    watcher_ = std::make_unique<platform::ThemeWatcher>([this] { ThemeChanged(); });
  UpdateThemes();
}

TThemeServices::~TThemeServices() {
  UnloadThemeData();
}

const TThemeData* TThemeServices::Theme(TThemedElement element) {
  int index = static_cast<int>(element);
  if (!useThemes_ || index < 0 || index >= kThemedElementCount) return nullptr;
  if (!cache_[index])
    cache_[index] = TThemeData{QApplication::palette(kElementClasses[index].widgetClass)};
  return &*cache_[index];
}

void TThemeServices::UnloadThemeData() {
  for (auto& entry : cache_) entry.reset();
}

void TThemeServices::UpdateThemes() {
  if (useThemes_) UnloadThemeData();
  useThemes_ = themesAvailable_ && WidgetApplication() && QApplication::style() != nullptr;
  controlsEnabled_ = useThemes_ && (AppProperties() & ThemeProperty::STAP_ALLOW_CONTROLS) != 0;
}

TThemedElementDetails TThemeServices::GetElementDetails(TElementFamily family, int value) {
  const Family& f = FamilyOf(family);
  TThemedElementDetails details{f.element, 0, 0};
  int number = 1;
  for (const PartInfo& part : f.parts) {
    if (value >= part.first && value <= part.last) {
      details.Part = number;
      details.State = value - part.first + 1;
      break;
    }
    ++number;
  }
  return details;
}

bool TThemeServices::IsPartiallyTransparent(const TThemedElementDetails& details) {
  const PartInfo* part = PartOf(details);
  return part == nullptr || part->transparent;
}

bool TThemeServices::DrawElement(QPainter& painter, const TThemedElementDetails& details,
                                 const QRect& rect, const QRect* clip) {
  const PartInfo* part = PartOf(details);
  const TThemeData* theme = ThemesEnabled() ? Theme(details.Element) : nullptr;
  if (part == nullptr || part->kind == Kind::None || theme == nullptr) return false;
  int group = 0;
  char letter = StateLetter(*part, details.State, &group);
  QStyleOption option;
  FillOption(option, theme->Palette, rect, letter);
  painter.save();
  if (clip != nullptr) painter.setClipRect(*clip, Qt::IntersectClip);
  DrawPart(QApplication::style(), painter, *part, letter, group, option);
  painter.restore();
  return true;
}

bool TThemeServices::DrawEdge(QPainter& painter, const TThemedElementDetails& details,
                              const QRect& rect, unsigned edge, unsigned flags,
                              QRect* contentRect) {
  using namespace ThemeEdge;
  const TThemeData* theme = ThemesEnabled() ? Theme(details.Element) : nullptr;
  if (theme == nullptr) return false;
  const QPalette& pal = theme->Palette;
  QRect r = rect;
  // Outer bevel, then inner: raised shows light at top left, sunken the reverse.
  struct Bevel {
    unsigned raised, sunken;
    QColor light, dark;
  };
  const Bevel bevels[] = {
      {BDR_RAISEDOUTER, BDR_SUNKENOUTER, pal.light().color(), pal.shadow().color()},
      {BDR_RAISEDINNER, BDR_SUNKENINNER, pal.midlight().color(), pal.dark().color()}};
  painter.save();
  for (const Bevel& bevel : bevels) {
    if ((edge & (bevel.raised | bevel.sunken)) == 0) continue;
    bool raised = (edge & bevel.raised) != 0;
    QColor topLeft = raised ? bevel.light : bevel.dark;
    QColor bottomRight = raised ? bevel.dark : bevel.light;
    if (flags & BF_LEFT) painter.fillRect(r.left(), r.top(), 1, r.height(), topLeft);
    if (flags & BF_TOP) painter.fillRect(r.left(), r.top(), r.width(), 1, topLeft);
    if (flags & BF_RIGHT) painter.fillRect(r.right(), r.top(), 1, r.height(), bottomRight);
    if (flags & BF_BOTTOM) painter.fillRect(r.left(), r.bottom(), r.width(), 1, bottomRight);
    r.adjust(flags & BF_LEFT ? 1 : 0, flags & BF_TOP ? 1 : 0, flags & BF_RIGHT ? -1 : 0,
             flags & BF_BOTTOM ? -1 : 0);
  }
  painter.restore();
  if (contentRect != nullptr) *contentRect = (flags & BF_ADJUST) != 0 ? r : rect;
  return true;
}

bool TThemeServices::DrawText(QPainter& painter, const TThemedElementDetails& details,
                              const std::string& text, const QRect& rect, unsigned flags,
                              unsigned flags2) {
  using namespace ThemeText;
  const TThemeData* theme = ThemesEnabled() ? Theme(details.Element) : nullptr;
  if (theme == nullptr) return false;
  int alignment = (flags & DT_CENTER)  ? Qt::AlignHCenter
                  : (flags & DT_RIGHT) ? Qt::AlignRight
                                       : Qt::AlignLeft;
  alignment |= (flags & DT_VCENTER)  ? Qt::AlignVCenter
               : (flags & DT_BOTTOM) ? Qt::AlignBottom
                                     : Qt::AlignTop;
  if ((flags & DT_WORDBREAK) != 0 && (flags & DT_SINGLELINE) == 0) alignment |= Qt::TextWordWrap;
  const PartInfo* part = PartOf(details);
  int group = 0;
  bool enabled =
      (flags2 & 1) == 0 && (part == nullptr || StateLetter(*part, details.State, &group) != 'd');
  QApplication::style()->drawItemText(&painter, rect, alignment, theme->Palette, enabled,
                                      Latin1(text), QPalette::ButtonText);
  return true;
}

QRect TThemeServices::ContentRect(const TThemedElementDetails& details, const QRect& bounding) {
  QStyle* style = WidgetApplication() ? QApplication::style() : nullptr;
  const PartInfo* part = PartOf(details);
  if (style == nullptr || part == nullptr) return bounding;
  QStyleOption option;
  option.rect = bounding;
  if (part->kind == Kind::PushButton) {
    QStyleOptionButton button;
    static_cast<QStyleOption&>(button) = option;
    return style->subElementRect(QStyle::SE_PushButtonContents, &button, nullptr);
  }
  if (part->kind == Kind::EditText) {
    QStyleOptionFrame frame;
    static_cast<QStyleOption&>(frame) = option;
    frame.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
    return style->subElementRect(QStyle::SE_LineEditContents, &frame, nullptr);
  }
  int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth);
  return bounding.adjusted(frame, frame, -frame, -frame);
}

bool TThemeServices::DrawParentBackground(QWidget* control, QPainter& painter,
                                          const TThemedElementDetails* details,
                                          bool onlyIfTransparent, const QRect* rect) {
  QWidget* parent = control != nullptr ? control->parentWidget() : nullptr;
  if (!ThemesEnabled() || parent == nullptr) return false;
  if (onlyIfTransparent && details != nullptr && !IsPartiallyTransparent(*details)) return false;
  QRect area = rect != nullptr ? *rect : control->rect();
  painter.save();
  painter.setBrushOrigin(-control->pos());
  painter.fillRect(area, parent->palette().brush(parent->backgroundRole()));
  painter.restore();
  return true;
}

std::uint32_t TThemeServices::ThemeAppProperties() {
  return AppProperties();
}

void TThemeServices::SetThemeAppProperties(std::uint32_t flags) {
  AppProperties() = flags & ThemeProperty::STAP_ALL;
}

void TThemeServices::DoOnThemeChange() {
  if (OnThemeChange) OnThemeChange(this);
}

void TThemeServices::ThemeChanged() {
  UpdateThemes();
  DoOnThemeChange();
}

TThemeServices& ThemeServices() {
  static std::unique_ptr<TThemeServices> instance = std::make_unique<TThemeServices>();
  return *instance;
}
