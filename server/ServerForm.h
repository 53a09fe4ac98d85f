#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>

#include "relay/K2Relay.h"
#include "relay/RelayLinks.h"
#include "serial/SerialPort.h"
#include "server/CwDecoder.h"
#include "server/EventLog.h"
#include "server/LineFramer.h"
#include "sockets/WSocket.h"

class QAction;
class QLabel;
class QMenu;
class QTimer;
class TChatWin;
class TTrayIcon;

// The server's one window. It listens for callers, serves one client session at a time (the
// login, the session commands, the hand-over of radio words to the relay and of radio replies
// back), runs the 500 ms timer, keeps the event log and sits in the notification area.
//
// Main thread only. Handlers pause with Delay, which dispatches messages, so they can be
// re-entered; the session number tells a handler that resumes whether its session still runs.
class TServerForm : public QMainWindow {
 public:
  static constexpr const char* kTitle = "Talvo Server";
  static constexpr const char* kVersion = "1.0";
  static constexpr std::int32_t kPasswordSeed = 2958;
  // A caller that has not logged in by then is closed.
  static constexpr std::uint32_t kLoginTimeoutMs = 30000;

  // eventLog must outlive the window.
  explicit TServerForm(TEventLog& eventLog);
  ~TServerForm() override;

  void SetChatWin(TChatWin* chat);

  // --- Components ------------------------------------------------------------------------------
  TWSocket ServerWSocket;
  TWSocket CliWSocket;
  TWSocket TmpWSocket;
  TSerialPort SerialPort;
  TK2Relay Relay;
  TCwDecoder CwDecoder;

  // --- Program-wide settings ---------------------------------------------------------------------
  const std::string& IniPath() const { return iniPath_; }
  const std::string& StationCall() const { return stationCall_; }
  bool BusyFlag() const { return busyFlag_; }
  void SetBusyFlag(bool value);
  std::int32_t SoundCard() const { return soundCard_; }
  std::int32_t SquelchLevel() const { return squelchLevel_; }
  bool StartMinimized() const { return startMinimized_; }
  bool ShutdownRequested() const { return shutdownRequested_; }
  bool Closing() const { return closing_; }

  // --- Session state -----------------------------------------------------------------------------
  const std::string& SessionAddress() const { return sessionAddress_; }
  const std::string& SessionUser() const { return sessionUser_; }
  bool Authenticated() const { return authenticated_; }
  bool SessionStarted() const { return sessionStarted_; }
  bool SessionEnded() const { return sessionEnded_; }
  bool CommandInProgress() const { return commandInProgress_; }
  const std::string& LoginBanner() const { return loginBanner_; }
  std::uint32_t TxRefStamp() const { return txRefStamp_; }

  std::string StatusText() const;
  bool Listening() const { return ServerWSocket.State() == wsListening; }
  TTrayIcon* TrayIcon() const { return trayIcon_.get(); }
  QMenu* TrayMenu() const { return trayMenu_; }

  // --- Handlers
  // ------------------------------------------------------------------------------------
  void FormShow();
  void TimerTimer();
  void LogEvent(const std::string& message);
  std::string ExpandMacros(const std::string& text) const;
  bool AddressAllowed(const std::string& address) const;
  void ServerWSocketSessionAvailable(std::uint16_t error);
  void CliWSocketDataAvailable(std::uint16_t error);
  void CliWSocketSessionClosed(std::uint16_t error);
  void SerialPortRxClusterEvent();
  // Frames and dispatches count received bytes.
  void ProcessClientData(const char* text, std::int32_t count);
  void DisconnectMenuClick();
  // "Close Talvo Server", "Shut down", and the termination signals: close without a question.
  void CloseServer();
  // The end of the desktop session.
  void HandleQueryEndSession();

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  class RadioLink : public IRadioPort {
   public:
    explicit RadioLink(TSerialPort& port) : port_(port) {}
    bool WriteText(const std::string& text) override;

   private:
    TSerialPort& port_;
  };
  class ClientLink : public IClientLink {
   public:
    explicit ClientLink(TWSocket& socket) : socket_(socket) {}
    void SendText(const std::string& text) override;

   private:
    TWSocket& socket_;
  };

  void CreateMenus();
  void SetStatus(const std::string& text);
  void SetTrayHint(const std::string& text);
  void SetSessionMenus(bool inSession);
  void ResetForNextCaller();
  void SendLine(const std::string& text);
  void SendMessage(const std::string& text);
  // Closes the client connection (which runs the session end) and marks the session ended.
  void EndSession();
  bool DispatchLine(const std::string& word, const std::string& value);
  bool Login(const std::string& word, const std::string& value);
  bool SessionCommand(const std::string& word, const std::string& value);
  bool CatAllowed(const std::string& commands) const;
  bool UserListed(const std::string& user) const;
  void TurnAway(TSocket handle, const std::string& banner);
  void About();
  void ShowSettings();
  void WritePosition();

  TEventLog& eventLog_;
  std::string iniPath_;
  std::string caption_;
  RadioLink radioLink_;
  ClientLink clientLink_;
  TLineFramer framer_;

  std::string stationCall_;
  bool busyFlag_ = false;
  std::int32_t soundCard_ = -1;
  std::int32_t squelchLevel_ = 20;
  bool startMinimized_ = false;
  bool shutdownRequested_ = false;
  bool closing_ = false;
  bool shown_ = false;

  std::uint32_t sessionId_ = 0;
  std::uint32_t acceptTick_ = 0;
  std::string sessionAddress_;
  std::string sessionUser_;
  bool authenticated_ = false;
  bool sessionStarted_ = false;
  bool sessionEnded_ = false;
  bool commandInProgress_ = false;
  bool rxQuiet_ = false;
  std::string loginBanner_;
  std::uint32_t txRefStamp_ = 0;

  QTimer* timer_;
  QLabel* lbServerStatus_;
  std::unique_ptr<TTrayIcon> trayIcon_;
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
