#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "relay/K2Relay.h"
#include "relay/RelayLinks.h"
#include "serial/SerialPort.h"
#include "server/AudioStream.h"
#include "server/CwDecoder.h"
#include "server/EventLog.h"
#include "server/LineFramer.h"
#include "server/ServerSettings.h"
#include "sockets/WSocket.h"

// The server's side of one remote operator at a time, without any window: it listens for
// callers, admits or turns them away, takes the login, runs the session commands (with the CAT
// access rule), hands radio words to the relay and radio replies back, and ends the session.
// Whoever owns it (the server window, or a test) starts it, calls TimerTimer every 500 ms and
// shows what the On... events report.
//
// Main thread only. Some steps pause with Delay, which dispatches messages, so the handlers can
// be re-entered; the session number tells a handler that resumes whether its session still runs.
//
// Where later work plugs in:
// - Audio: the session's Audio takes the AUDIO lines and the "AU" words; the owner shows its
//   meters (Audio.OnMeterChange). OnSessionStart, OnSessionEnd and OnTick frame a session for
//   other work.
// - The settings dialog: the window hands its changes over with SetSoundCard, SetSquelchLevel
//   (also while the dialog is open), ConfigureSerialPort and SetCwDecoder; it is offered only
//   while no session runs. A new listening port waits for the next start.
// - Hardening: the framer bounds the client's lines; the Delay pauses are in TurnAway, Login,
//   the BYE command, SerialPortRxClusterEvent, Disconnect and SayShuttingDown; a login back-off
//   belongs in Login, which sees every failed attempt with its address.
class TServerSession {
 public:
  static constexpr const char* kTitle = "Talvo Server";
  static constexpr const char* kVersion = "1.0";
  // A caller that has not logged in by then is closed.
  static constexpr std::uint32_t kLoginTimeoutMs = 30000;

  // eventLog must outlive the session.
  TServerSession(std::string iniPath, TEventLog& eventLog);
  ~TServerSession();
  TServerSession(const TServerSession&) = delete;
  TServerSession& operator=(const TServerSession&) = delete;

  // --- Components ------------------------------------------------------------------------------
  TWSocket ServerWSocket;
  TWSocket CliWSocket;
  TWSocket TmpWSocket;
  TSerialPort SerialPort;
  TK2Relay Relay;
  TCwDecoder CwDecoder;
  TAudioStream Audio;

  // --- What the owner shows ----------------------------------------------------------------------
  // The status line ("Listening for connection", "Connecting: <address>", "Connected: <user>").
  std::function<void(const std::string& text)> OnStatus;
  // The notification area's hint (the title, then "\r\nConnecting: ..." or "\r\nConnected: ...").
  std::function<void(const std::string& text)> OnTrayHint;
  // A caller was accepted (true) or the window was reset after a session (false).
  std::function<void(bool inSession)> OnSessionMenus;
  // The notification icon animates while a caller is connected.
  std::function<void(bool cycle)> OnCycleIcons;
  // A CHAT line from the client for the operator.
  std::function<void(const std::string& text)> OnChat;
  // The client gave CLOSE: the program should close (reported by the timer tick after the end).
  std::function<void()> OnCloseRequested;

  // Forgets every handler above and the audio meters' one, for an owner that goes away before
  // the session.
  void ClearOwnerEvents();

  // --- Plug-ins (see above) -------------------------------------------------------------------
  std::function<void()> OnSessionStart;
  std::function<void()> OnSessionEnd;
  std::function<void()> OnTick;

  // --- Starting ----------------------------------------------------------------------------------
  // Reads the run-time settings: the sound card and squelch, the Morse decoder, the radio's port.
  void LoadSettings();
  // Names the radio's serial port: 4800 baud, 8 data bits, no parity, two stop bits, no flow
  // control. The port opens at the next accepted caller.
  void ConfigureSerialPort(const std::string& port);
  // The Morse decoder's settings: enabled only with the decoder's library.
  void SetCwDecoder(bool enabled, const std::string& path);
  // Listens on [Control] Address and Port; throws what the socket throws.
  void Listen();
  bool Listening() const { return ServerWSocket.State() == wsListening; }

  // --- Handlers ----------------------------------------------------------------------------------
  // The 500 ms tick: resets after an ended session, reports a requested close, polls the radio
  // and forwards decoded Morse while a session runs, and times out a caller that does not log in.
  void TimerTimer();
  void ServerWSocketSessionAvailable(std::uint16_t error);
  void CliWSocketDataAvailable(std::uint16_t error);
  void CliWSocketSessionClosed(std::uint16_t error);
  void SerialPortRxClusterEvent();
  // Frames and dispatches count received bytes.
  void ProcessClientData(const char* text, std::int32_t count);
  // The operator ends the session: a started session first gets [Messages] Disconnection.
  void Disconnect();
  // The operator closes the program: a started session gets [Messages] Shutting Down.
  void SayShuttingDown();

  // --- Sending -----------------------------------------------------------------------------------
  // To the connected client (nothing when none is connected); SendLine adds CR LF, SendMessage
  // "# " and CR LF.
  IClientLink& Client() { return clientLink_; }
  void SendLine(const std::string& text);
  void SendMessage(const std::string& text);

  // --- State -------------------------------------------------------------------------------------
  const TServerSettings& Settings() const { return settings_; }
  const std::string& Caption() const { return caption_; }
  bool Busy() const { return busy_; }
  void SetBusy(bool value) { busy_ = value; }
  // The audio settings live with the audio stream; a new sound card is used from the next "AU ON".
  std::int32_t SoundCard() const { return Audio.SoundCard(); }
  void SetSoundCard(std::int32_t value) { Audio.Setup(value, Audio.SquelchLevel()); }
  std::int32_t SquelchLevel() const { return Audio.SquelchLevel(); }
  void SetSquelchLevel(std::int32_t value) { Audio.SetSquelchLevel(value); }
  const TEventLog& EventLog() const { return eventLog_; }
  const std::string& SessionAddress() const { return sessionAddress_; }
  const std::string& SessionUser() const { return sessionUser_; }
  bool Authenticated() const { return authenticated_; }
  bool SessionStarted() const { return sessionStarted_; }
  bool SessionEnded() const { return sessionEnded_; }
  bool ShutdownRequested() const { return shutdownRequested_; }
  bool CommandInProgress() const { return commandInProgress_; }
  const std::string& LoginBanner() const { return loginBanner_; }
  std::uint32_t TxRefStamp() const { return Audio.TxRefStamp(); }
  std::string ExpandMacros(const std::string& text) const;

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

  void LogEvent(const std::string& message);
  void Report(const std::function<void(const std::string&)>& event, const std::string& text);
  void ResetForNextCaller();
  // Closes the client connection (which runs the session end) and marks the session ended.
  void EndSession();
  void TurnAway(TSocket handle, const std::string& banner);
  bool DispatchLine(const std::string& word, const std::string& value);
  bool Login(const std::string& word, const std::string& value);
  bool SessionCommand(const std::string& word, const std::string& value);
  bool LogContact(const std::string& value);

  TServerSettings settings_;
  TEventLog& eventLog_;
  std::string caption_;
  RadioLink radioLink_;
  ClientLink clientLink_;
  TLineFramer framer_;

  bool busy_ = false;
  bool shutdownRequested_ = false;

  std::uint32_t sessionId_ = 0;
  std::uint32_t acceptTick_ = 0;
  std::string sessionAddress_;
  std::string sessionUser_;
  bool authenticated_ = false;
  bool sessionStarted_ = false;
  bool sessionEnded_ = false;
  bool commandInProgress_ = false;
  std::string loginBanner_;
};

// The CAT access rule: whether a client of the access level may send these radio words
// (each ended by ";") unchanged. Full access (2) may send anything; below it only UPn; and DNn;,
// PCnnn; from TX/RX (1), and the SWnn; switches the level allows.
bool CatAllowed(const std::string& commands, std::int32_t level);
