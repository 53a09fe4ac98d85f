#include "platform/NotifyIcon.h"

#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <cstdio>

#include "platform/Latin1.h"

namespace platform {
namespace {

int g_availableOverride = -1;

QIcon BlankIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  return QIcon(pixmap);
}

QtMessageHandler g_previousHandler = nullptr;

// Qt's notification-area icon asks every platform for a signal that only the X11 one has; on the
// others (the headless one among them) Qt prints a warning at each start that tells the user
// nothing. Only that one message is dropped.
void DropTraySignalWarning(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
  if (type == QtWarningMsg && message.contains(QLatin1String("systemTrayWindowChanged"))) return;
  if (g_previousHandler)
    g_previousHandler(type, context, message);
  else
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

QSystemTrayIcon* NewTrayIcon() {
  static const bool installed = [] {
    g_previousHandler = qInstallMessageHandler(DropTraySignalWarning);
    return true;
  }();
  (void)installed;
  return new QSystemTrayIcon();
}

}  // namespace

NotifyIcon::NotifyIcon(HWND callbackWindow, WPARAM id, unsigned callbackMessage)
    : window_(callbackWindow), id_(id), message_(callbackMessage), tray_(NewTrayIcon()) {
  QObject::connect(tray_.get(), &QSystemTrayIcon::activated, this,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     switch (reason) {
                       case QSystemTrayIcon::Trigger:
                         Post(WM_LBUTTONDOWN);
                         Post(WM_LBUTTONUP);
                         break;
                       case QSystemTrayIcon::DoubleClick:
                         Post(WM_LBUTTONDBLCLK);
                         Post(WM_LBUTTONUP);
                         break;
                       case QSystemTrayIcon::Context:
                         Post(WM_RBUTTONDOWN);
                         Post(WM_RBUTTONUP);
                         break;
                       case QSystemTrayIcon::MiddleClick:
                         Post(WM_MBUTTONDOWN);
                         Post(WM_MBUTTONUP);
                         break;
                       default:
                         break;
                     }
                   });
  QObject::connect(tray_.get(), &QSystemTrayIcon::messageClicked, this,
                   [this] { Post(NIN_BALLOONUSERCLICK); });
}

NotifyIcon::~NotifyIcon() {
  // The tray icon goes first, so that none of its signals reaches a half-destroyed object.
  tray_.reset();
}

bool NotifyIcon::Available() {
  if (g_availableOverride >= 0) return g_availableOverride != 0;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void NotifyIcon::SetAvailableForTesting(int available) {
  g_availableOverride = available;
}

void NotifyIcon::Apply() {
  tray_->setIcon(image_.isNull() ? BlankIcon() : image_);
  QString tip = Latin1(tip_);
  tip.remove(QLatin1Char('\r'));
  tray_->setToolTip(tip);
}

bool NotifyIcon::Add(const QIcon& icon, const std::string& tip) {
  image_ = icon;
  tip_ = tip;
  Apply();
  added_ = true;
  tray_->show();
  return Available();
}

bool NotifyIcon::Modify(const QIcon& icon, const std::string& tip) {
  image_ = icon;
  tip_ = tip;
  Apply();
  return added_ && Available();
}

bool NotifyIcon::Delete() {
  bool was = added_;
  added_ = false;
  tray_->hide();
  return was;
}

void NotifyIcon::SetMenu(QMenu* menu) {
  tray_->setContextMenu(menu);
}

QRect NotifyIcon::Geometry() const {
  return added_ ? tray_->geometry() : QRect();
}

void NotifyIcon::Post(unsigned code) {
  MessageWindow::Post(window_, message_, id_, static_cast<LPARAM>(code));
}

}  // namespace platform
