#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>

#include "server/EventLog.h"
#include "server/ServerSession.h"
#include "server/SettingsModel.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TChatWin;
class TLEDMeter;
class TThemeManager;
class TTrayIcon;

// The server's one window: the status line, the menus, the notification-area icon, the window's
// position, the 500 ms timer and the dialogs. The session with the remote operator (admission,
// login, commands, the radio) is its TServerSession, which the window drives and shows; the
// handlers keep their names and delegate to it.
//
// Main thread only. The session pauses with Delay, which dispatches messages, so the handlers
// can be re-entered.
class TServerForm : public QMainWindow {
 public:
  static constexpr const char* kTitle = TServerSession::kTitle;
  static constexpr const char* kVersion = TServerSession::kVersion;

  // eventLog must outlive the window.
  explicit TServerForm(TEventLog& eventLog);
  ~TServerForm() override;

  void SetChatWin(TChatWin* chat);

  TServerSession& Session() { return session_; }
  const TServerSession& Session() const { return session_; }

  // --- Program-wide settings ---------------------------------------------------------------------
  const std::string& IniPath() const { return settings_.IniPath(); }
  const std::string& StationCall() const { return stationCall_; }
  bool BusyFlag() const { return session_.Busy(); }
  void SetBusyFlag(bool value);
  bool StartMinimized() const { return startMinimized_; }
  bool Closing() const { return closing_; }

  std::string StatusText() const;
  bool Listening() const { return session_.Listening(); }
  TTrayIcon* TrayIcon() const { return trayIcon_.get(); }
  QMenu* TrayMenu() const { return trayMenu_; }
  TThemeManager* ThemeManager() const { return themeManager_.get(); }
  // The audio meters: bytes of the last receive frame sent and transmit frame played.
  TLEDMeter* RXAudio() const { return RXAudio_; }
  TLEDMeter* TXAudio() const { return TXAudio_; }

  // --- Handlers ----------------------------------------------------------------------------------
  void FormShow();
  void TimerTimer();
  void ServerWSocketSessionAvailable(std::uint16_t error);
  void CliWSocketDataAvailable(std::uint16_t error);
  void CliWSocketSessionClosed(std::uint16_t error);
  void SerialPortRxClusterEvent();
  void DisconnectMenuClick();
  // "Server Settings" and "Settings...": runs the settings dialog (once at a time) and puts what
  // OK changed into force; a changed listening port waits for the next start, as a note says.
  void SettingsMenuClick();
  // "Close Talvo Server", "Shut down", and the termination signals: close without a question; a
  // close question already open is closed as if answered Yes. Every way the window closes for
  // good ends a session in progress first (Session().Shutdown).
  void CloseServer();
  // The end of the desktop session.
  void HandleQueryEndSession();
  // "Talvo Help": writes the help page beside the settings file and opens it in the browser;
  // a box gives its path when no browser could be started.
  void HelpMenuClick();
  std::string HelpPagePath() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateMenus();
  void SetStatus(const std::string& text);
  void SetTrayHint(const std::string& text);
  void SetSessionMenus(bool inSession);
  void SetCycleIcons(bool cycle);
  void ShowChat(const std::string& text);
  void About();
  void ApplySettings(const TRunningSettings& values, const std::string& serialPort);
  void WritePosition();

  TServerSettings settings_;
  TServerSession session_;
  std::string caption_;
  std::string stationCall_;
  bool startMinimized_ = false;
  bool closing_ = false;
  bool askingClose_ = false;  // "Close Talvo Server?" is open
  bool shown_ = false;
  bool settingsOpen_ = false;

  QTimer* timer_;
  QLabel* lbServerStatus_;
  TLEDMeter* RXAudio_;
  TLEDMeter* TXAudio_;
  std::unique_ptr<TTrayIcon> trayIcon_;
  std::unique_ptr<TThemeManager> themeManager_;
  QMenu* trayMenu_;
  TChatWin* chatWin_ = nullptr;
  QAction* traySettings_;
  QAction* trayBusy_;
  QAction* trayChat_;
  QAction* trayDisconnect_;
  QAction* menuSettings_;
  QAction* menuChat_;
  QAction* menuDisconnect_;
};
