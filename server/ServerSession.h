#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "relay/K2Relay.h"
#include "relay/RelayLinks.h"
#include "serial/SerialPort.h"
#include "server/AudioStream.h"
#include "server/CwDecoder.h"
#include "server/EventLog.h"
#include "server/LineFramer.h"
#include "server/SendWatch.h"
#include "server/ServerSettings.h"
#include "sockets/LinkWatch.h"
#include "sockets/WSocket.h"

class QObject;

// The server's side of one remote operator at a time, without any window: it listens for
// callers, admits or turns them away, takes the login, runs the session commands (with the CAT
// access rule), hands radio words to the relay and radio replies back, and ends the session.
// Whoever owns it (the server window, or a test) starts it, calls TimerTimer every 500 ms and
// shows what the On... events report.
//
// Main thread only. The pauses before a caller is closed and between the welcome lines are
// timers; the operator's Disconnect and the shutdown text pause with Delay, which dispatches
// messages, so handlers can be re-entered. The session number tells a step that resumes whether
// its session still runs.
//
// Where later work plugs in:
// - Audio: the session's Audio takes the AUDIO lines and the "AU" words; the owner shows its
//   meters (Audio.OnMeterChange). OnSessionStart, OnSessionEnd and OnTick frame a session for
//   other work.
// - The settings dialog: the window hands its changes over with SetSoundCard, SetSquelchLevel
//   (also while the dialog is open), ConfigureSerialPort and SetCwDecoder; it is offered only
//   while no session runs. A new listening port waits for the next start.
//
// Protection against hostile callers: a bounded read per event and bounded queued input (the
// framer), a login deadline, a back-off for addresses whose login failed, refused callers closed
// by timers, limits on LOG, bounded radio replies, bounded output for a client that stops
// reading, and a radio port that is reopened when its device comes back. A link that dies without
// a word (no close reaches the server) is given up by the session socket's keep-alive and user
// timeout, and ends the session as a close does.
class TServerSession {
 public:
  static constexpr const char* kTitle = "Talvo Server";
  static constexpr const char* kVersion = "1.0";
  // A caller that has not logged in by then is closed.
  static constexpr std::uint32_t kLoginTimeoutMs = 10000;
  // An address whose login failed or timed out is refused for a time that doubles with each
  // failure, up to the most, until a login from it succeeds.
  static constexpr std::uint32_t kBackOffFirstMs = 2000;
  static constexpr std::uint32_t kBackOffMaxMs = 5 * 60 * 1000;
  static constexpr std::size_t kMaxBackOffAddresses = 4096;
  // After a login, the session starts without the radio when it has not answered by then.
  static constexpr std::uint32_t kRadioAnswerMs = 2000;
  // LOG: the longest record, and how many may come at once before one a second is the most.
  static constexpr std::size_t kMaxContactBytes = 4096;
  static constexpr std::uint32_t kContactBurst = 10;
  // A radio port whose device went away is tried again this often by the same name.
  static constexpr std::uint32_t kRadioRetryMs = 5000;
  static constexpr const char* kRadioSilentText =
      "The radio does not answer. The session goes on without it.";
  // What one read event takes from the client, and the most of a radio reply held unended.
  static constexpr std::int32_t kMaxReadBytes = 16 * 1024;
  static constexpr std::size_t kMaxReplyBytes = 4096;
  // The pause between the lines sent to a refused or leaving caller and its close.
  static constexpr std::uint32_t kPauseMs = 200;
  // Refused callers held for their pauses at one time; more are closed at once.
  static constexpr std::size_t kMaxTurnedAway = 64;
  // A link that dies without a word is given up as sockets/LinkWatch.h says, and the session
  // ends as at a close. A client that answers but has taken nothing of what waits for it for
  // kSendStallMs is cut off (before the user timeout, which ends such a peer too, so that the log
  // tells why); one that does not answer at all is left to the user timeout, and cut off by the
  // session only after kUnansweredMs. So is one for which more than kMaxQueuedBytes wait in the
  // server. The environment variable TALVO_SEND_STALL_MS (milliseconds), read once when the
  // session object is made, replaces the stall time (tests shorten it).
  static constexpr std::uint32_t kSendStallMs = 40000;
  static constexpr std::uint32_t kUnansweredMs = kLinkTimeoutMs + 5000;
  static constexpr std::uint64_t kMaxQueuedBytes = 1024 * 1024;

  // eventLog must outlive the session.
  TServerSession(std::string iniPath, TEventLog& eventLog);
  ~TServerSession();
  TServerSession(const TServerSession&) = delete;
  TServerSession& operator=(const TServerSession&) = delete;

  // --- Components ------------------------------------------------------------------------------
  TWSocket ServerWSocket;
  TWSocket CliWSocket;
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
  // and forwards decoded Morse while a session runs, times out a caller that does not log in,
  // and cuts off a client that stops reading.
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
  // The program ends: a connected caller's session ends as at any close (the radio released, the
  // end logged) and the radio's port closes once what was written to it has gone out.
  void Shutdown();

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
  // Runs step after ms on the main thread unless the session is destroyed first.
  void After(std::uint32_t ms, std::function<void()> step);
  void EndSessionAfter(std::uint32_t ms);
  // Ends the session of a client that stopped reading (see kSendStallMs); true when it did.
  bool EndStalledSession();
  // The log line that says why the connection of this close ended, or "" for an ordinary close.
  std::string CloseReason(std::uint16_t error) const;
  // Whether the caller of that session is still connected (for a step that resumes).
  bool SameSession(std::uint32_t session) const;
  // The banner, a pause, the busy text, a pause, then the close (logged when logIt).
  void TurnAway(TSocket handle, const std::string& banner, bool logIt);
  // Takes the caller's handle into the session socket and watches its link; false (the handle
  // closed) when it cannot be taken.
  bool AdoptCaller(TSocket handle);
  bool DispatchLine(const std::string& word, const std::string& value);
  bool Login(const std::string& word, const std::string& value);
  bool SessionCommand(const std::string& word, const std::string& value);
  bool LogContact(const std::string& value);
  // The welcome and PRIV (with a line about a silent radio), then the radio's replies.
  void StartSession(bool radioSilent);
  void WatchRadioAnswer();
  void SerialPortProcessError(std::uint32_t place, std::uint32_t code);
  void ReopenRadio();
  bool BackedOff(const std::string& address) const;
  void NoteFailedLogin(const std::string& address);
  bool TakeContactAllowance();

  struct TBackOff {
    std::uint32_t until = 0;
    std::uint32_t delayMs = 0;
  };
  std::map<std::string, TBackOff> backOff_;
  std::uint32_t contactAllowance_ = kContactBurst;
  std::uint32_t contactClock_ = 0;
  bool contactsRefused_ = false;
  bool radioGone_ = false;  // logged once until a record is taken again

  TServerSettings settings_;
  TEventLog& eventLog_;
  std::string caption_;
  RadioLink radioLink_;
  ClientLink clientLink_;
  TLineFramer framer_;
  TSendWatch sendWatch_;
  std::string readBuffer_;
  std::unique_ptr<QObject> timerOwner_;
  std::set<std::shared_ptr<TWSocket>> turnedAway_;

  bool busy_ = false;
  bool shutdownRequested_ = false;

  std::uint32_t sessionId_ = 0;
  std::uint32_t acceptTick_ = 0;
  std::string sessionAddress_;
  std::string sessionUser_;
  bool authenticated_ = false;
  bool sessionStarted_ = false;
  bool sessionStarting_ = false;  // the welcome and PRIV are on their way
  bool sessionEnded_ = false;
  bool commandInProgress_ = false;
  std::string loginBanner_;
};

// The CAT access rule: whether a client of the access level may send these radio words
// (each ended by ";") unchanged. Full access (2) may send anything; below it only UPn; and DNn;,
// PCnnn; from TX/RX (1), and the SWnn; switches the level allows.
bool CatAllowed(const std::string& commands, std::int32_t level);
