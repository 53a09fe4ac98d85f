#pragma once

#include <QIcon>
#include <QObject>
#include <memory>
#include <string>

#include "platform/MessageWindow.h"

class QMenu;
class QSystemTrayIcon;

namespace platform {

// Codes that an icon's callback message carries in lParam.
constexpr unsigned WM_CONTEXTMENU = 0x007B;
constexpr unsigned WM_MOUSEMOVE = 0x0200;
constexpr unsigned WM_LBUTTONDOWN = 0x0201;
constexpr unsigned WM_LBUTTONUP = 0x0202;
constexpr unsigned WM_LBUTTONDBLCLK = 0x0203;
constexpr unsigned WM_RBUTTONDOWN = 0x0204;
constexpr unsigned WM_RBUTTONUP = 0x0205;
constexpr unsigned WM_MBUTTONDOWN = 0x0207;
constexpr unsigned WM_MBUTTONUP = 0x0208;
constexpr unsigned NIN_SELECT = WM_USER + 0;
constexpr unsigned NIN_KEYSELECT = WM_USER + 1;
constexpr unsigned NIN_BALLOONSHOW = WM_USER + 2;
constexpr unsigned NIN_BALLOONHIDE = WM_USER + 3;
constexpr unsigned NIN_BALLOONTIMEOUT = WM_USER + 4;
constexpr unsigned NIN_BALLOONUSERCLICK = WM_USER + 5;

// One icon in the desktop's notification area (the system tray), shown by whatever tray host the
// desktop runs: an XEmbed tray on X11 or a StatusNotifierItem host over D-Bus.
//
// Mouse activity on the icon is posted to the callback window as (callbackMessage, id, code) with
// the codes above. A tray host reports whole gestures, not single button transitions, so:
//   click          -> WM_LBUTTONDOWN, WM_LBUTTONUP
//   double click   -> WM_LBUTTONDBLCLK, WM_LBUTTONUP (after the first click's pair)
//   context menu   -> WM_RBUTTONDOWN, WM_RBUTTONUP (the host has shown the attached menu already)
//   middle button  -> WM_MBUTTONDOWN, WM_MBUTTONUP
//   message click  -> NIN_BALLOONUSERCLICK
// Hosts report no pointer movement over the icon, so WM_MOUSEMOVE never comes from here.
class NotifyIcon : public QObject {
 public:
  NotifyIcon(HWND callbackWindow, WPARAM id, unsigned callbackMessage);
  ~NotifyIcon() override;

  // Whether a tray host is running on the desktop now.
  static bool Available();
  // For tests: pretend that a tray host is (1) or is not (0) running; -1 asks the desktop again.
  static void SetAvailableForTesting(int available);

  // Shows the icon; it stays wanted, so when a tray host starts later it appears there. True when
  // a host is running to show it. An empty icon shows as a blank square.
  bool Add(const QIcon& icon, const std::string& tip);
  // Changes the image and the tool tip (8-bit text; CR LF counts as one line break). True when the
  // icon is shown by a host.
  bool Modify(const QIcon& icon, const std::string& tip);
  // Takes the icon away. True when it had been added.
  bool Delete();

  // The menu that the host opens on the icon (hosts that draw their own menus take it over the
  // D-Bus menu protocol). Not owned; a destroyed menu detaches itself.
  void SetMenu(QMenu* menu);

  bool Added() const { return added_; }
  std::string Tip() const { return tip_; }
  const QIcon& Image() const { return image_; }
  // Where the host shows the icon, in screen coordinates; empty when not shown or not known.
  QRect Geometry() const;

 private:
  void Post(unsigned code);
  void Apply();

  HWND window_;
  WPARAM id_;
  unsigned message_;
  bool added_ = false;
  std::string tip_;
  QIcon image_;
  std::unique_ptr<QSystemTrayIcon> tray_;
};

}  // namespace platform
