#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <string>

class QMenu;
class QMouseEvent;

// The mouse vocabulary of the instrument-style controls.
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
using TShiftState = unsigned;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32,
                      ssDouble = 64;

// Bevel and border styles shared by the controls.
enum class TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
enum class TBorderStyle { bsNone, bsSingle };

// The base of the instrument-style controls: a widget whose mouse events arrive in this order:
//   press:        MouseDown (OnMouseDown)
//   release:      Click (OnClick) when the left button was pressed here and is released inside
//                 the control; then MouseUp (OnMouseUp)
//   double click: Qt's press, release, double-click, release become MouseDown, Click, MouseUp,
//                 then DblClick (OnDblClick, left button only) and MouseDown with ssDouble, then
//                 MouseUp without a Click.
// OnMouseMove fires for every move over the control, with or without a button held. X and Y are
// in the control's coordinates. A disabled control receives no mouse events. PopupMenu, when
// set, opens after the right button's MouseUp (or from the keyboard's menu key). Main thread only.
class TInstrumentControl : public QWidget {
 public:
  using TNotifyEvent = std::function<void(TInstrumentControl* Sender)>;
  using TMouseEvent = std::function<void(TInstrumentControl* Sender, TMouseButton Button,
                                         TShiftState Shift, int X, int Y)>;
  using TMouseMoveEvent =
      std::function<void(TInstrumentControl* Sender, TShiftState Shift, int X, int Y)>;

  explicit TInstrumentControl(QWidget* parent = nullptr);

  // The tool tip, 8-bit text.
  std::string Hint() const;
  void SetHint(const std::string& value);
  // Not owned; nullptr for none.
  QMenu* PopupMenu() const;
  void SetPopupMenu(QMenu* menu);
  // A number for the program's own use.
  int Tag() const { return tag_; }
  void SetTag(int value) { tag_ = value; }

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

 protected:
  // Stores value when it differs from member; true when it did. The setters' first step.
  template <typename T>
  static bool Change(T& member, const T& value) {
    if (member == value) return false;
    member = value;
    return true;
  }

  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);

  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  bool clickArmed_ = false;
  QPointer<QMenu> popupMenu_;
  int tag_ = 0;
};
