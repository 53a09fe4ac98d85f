#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/ClientLinks.h"
#include "client/ClientSettings.h"
#include "client/ServerLines.h"
#include "client/TraceFile.h"
#include "common/AccessLevel.h"
#include "common/ModeGroup.h"
#include "sockets/LinkWatch.h"
#include "sockets/WSocket.h"

class QTimer;

// The states of the connection, in the order a session goes through them. Idle: no connection
// (the panel idle). Connecting: the TCP connect. LoggingIn: the greeting, "AUTH" and the welcome.
// SettingUp: the panel enabled and the requests after the login. Live: the panel follows the
// radio. Disconnecting: the orderly farewell. A close of the connection, in any state, leads to
// Idle.
enum class TSessionState { Idle, Connecting, LoggingIn, SettingUp, Live, Disconnecting };

// The client's session with a server: the connection (DataConn), the login, the lines sent after
// it, the dispatcher of the server's lines, the keep-alive, the trace file, the orderly
// disconnect and the reset when the connection ends. It owns no widget: the front panel owns it,
// binds the views (ClientLinks.h) and calls OneSecondTick from its 1-second timer.
//
// Main thread only. The connection's life is one state machine with one transition function:
// the connect and the disconnect run as timed steps of it (their pauses are part of the
// protocol); the close of the connection is an event it takes after the lines that came before
// it, in whatever state; every end of a connect or a disconnect, and every callback to the
// caller, runs later from the event loop, never inside a socket event or a line handler.
// Events and steps belong to their connection: what is still pending of one when it ends, or
// when the next one starts, is dropped.
class TClientSession {
 public:
  static constexpr const char* kTitle = "Talvo Client";
  static constexpr int kKeepAliveSeconds = 60;
  // The connect, greeting and welcome waits end after this long.
  static constexpr std::uint32_t kWaitLimitMs = 10000;
  // One read event takes at most this much, and one pass handles at most kLinesPerPass lines or
  // about as many bytes as one read, so that input, painting and timers are served in between
  // however fast the server sends.
  static constexpr std::int32_t kMaxReadBytes = 16 * 1024;
  static constexpr int kLinesPerPass = 200;
  // Reading waits while more than this is held (complete lines not yet handled and the partial
  // line, which alone never exceeds it); the server is then held back by the connection itself.
  static constexpr std::size_t kMaxHeldBytes = 2 * TServerLineCutter::kMaxLine;

  // iniFile: the client INI file; traceFile: where the trace goes when [Debug] Trace is "1".
  TClientSession(std::string iniFile, std::string traceFile, TClientViews views = {});
  ~TClientSession();
  TClientSession(const TClientSession&) = delete;
  TClientSession& operator=(const TClientSession&) = delete;

  void SetViews(TClientViews views) { views_ = views; }
  const TClientSettings& Settings() const { return settings_; }

  // --- The connection ----------------------------------------------------------------------------
  TWSocket DataConn;
  // The socket is connected: what the writers go by. The windows go by the state.
  bool Connected() const { return DataConn.State() == wsConnected; }
  // Samples the path to the server and says what it is (SampleLink).
  TLinkState SampleSendLink();
  TSessionState State() const { return state_; }
  bool Idle() const { return state_ == TSessionState::Idle; }
  bool Live() const { return state_ == TSessionState::Live; }
  // A connect or a disconnect is under way.
  bool Busy() const { return !Idle() && !Live(); }

  // --- Session state that the windows read
  // ---------------------------------------------------------
  const std::string& ClientIniFile() const { return settings_.IniFile(); }
  // The operator's call, the user name of the login; set from the station list.
  const std::string& OwnCall() const { return ownCall_; }
  void SetOwnCall(std::string call) { ownCall_ = std::move(call); }
  // The connected station's name; empty while not connected.
  const std::string& StationName() const { return stationName_; }
  // The server's first line of this connection (the login challenge); empty until it arrives.
  const std::string& Greeting() const { return greeting_; }
  // Text waiting for the 1-second tick to show it in a "Message" box; a newer one replaces it.
  const std::string& PendingMessage() const { return pendingMessage_; }
  void SetPendingMessage(std::string text) { pendingMessage_ = std::move(text); }
  // From the last "PRIV": 0 "RX only", 1 "TX/RX", 2 "Full"; 0 at the start of a connection.
  std::int32_t AccessLevel() const { return accessLevel_; }
  // Receive-only use: the contact and microphone windows stay hidden.
  bool RxOnly() const { return rxOnly_; }
  void SetRxOnly(bool value) { rxOnly_ = value; }
  // The radio's display has started to report (set by the display, cleared at the end).
  bool DisplayLive() const { return displayLive_; }
  void SetDisplayLive(bool value) { displayLive_ = value; }
  int KeepAliveCountdown() const { return keepAliveCountdown_; }
  bool TraceEnabled() const { return traceEnabled_; }
  const std::string& TraceFile() const { return trace_.Path(); }
  // kHz and its text from the last "FREQ" line. FreqKnown is false until the first one of a
  // connection: the dial and the step commands send nothing before it, so that nothing is ever
  // stepped from a frequency the radio did not report.
  double CurrentFreq() const { return currentFreq_; }
  const std::string& CurrentFreqText() const { return currentFreqText_; }
  bool FreqKnown() const { return freqKnown_; }
  // 0 none, 1 Morse, 2 voice, 3 data: set by the display from its reports.
  std::uint8_t ModeGroup() const { return modeGroup_; }
  void SetModeGroup(std::uint8_t group) { modeGroup_ = group; }
  // Receive audio is on (set by the audio path).
  bool AudioOn() const { return audioOn_; }
  void SetAudioOn(bool value) { audioOn_ = value; }
  // The station's eQSL upload, for the contact window: set at connect, cleared at the end.
  bool EqslEnabled() const { return eqslEnabled_; }
  const std::string& EqslPassword() const { return eqslPassword_; }
  // The station dialog changed a station's eQSL settings: they take effect at once only for the
  // station that is connected; any other station's settings are read at its next connect.
  void StationEqslChanged(const std::string& name, bool enabled, const std::string& password);

  // --- Actions
  // -------------------------------------------------------------------------------------------
  // Connects to the stored station, logs in and sets the session up; done(live) comes once, from
  // the event loop, when the session is live or the attempt has failed. Every failure is shown
  // in a box; an own call that is empty or holds blanks is refused before connecting. Ignored
  // unless Idle.
  void ConnectTo(const std::string& name, std::function<void(bool live)> done = {});
  // The orderly disconnect: "RX", "AU OFF" (audio on), "DISP OFF", "SM OFF", "BYE", then close;
  // done comes once, from the event loop, when the session is Idle again. It ends a connect that
  // is under way (before the login without farewell); while a disconnect runs, done joins it.
  void Disconnect(std::function<void()> done = {});
  // The one way to send a protocol line: resets the keep-alive, traces the line and sends it
  // with CR LF. Not connected: closes the connection and drops the line. A failed send is only
  // traced.
  void SendCommand(const std::string& line);
  // Writes the line with CR LF as it is: no trace, no keep-alive reset (push-to-talk "TX" and
  // "RX", the Morse keyboard, the disconnect). Not connected: dropped quietly.
  void SendRaw(const std::string& line);
  // Writes one line to the trace file, after the time, when tracing is on.
  void Trace(const std::string& text);
  // The dial's and the frequency window's steps: "FREQ " + (CurrentFreq + stepKhz) with two
  // decimals. Sends nothing, and returns false, until the radio has reported its frequency.
  bool SendFreqStep(double stepKhz);
  // The chat line: "CHAT " + OwnCall + "> " + text; nothing for an empty text.
  void SendChat(const std::string& text);
  // The 1-second tick: shows PendingMessage in a "Message" box, counts the keep-alive down and
  // sends "NOOP" when it reaches 0.
  void OneSecondTick();

  // --- Handlers (bound to DataConn; public for tests and the fuzz target)
  // ---------------------------
  void DataConnDataAvailable(std::uint16_t error);
  void DataConnSessionClosed(std::uint16_t error);
  // Received bytes: cut into lines; the first line of a connection is the greeting, the others
  // go to HandleServerLine, at most kLinesPerPass at a time: the rest follow from the event loop,
  // in order. Bytes arriving while lines are handled wait for that pass.
  void DataReceived(const char* data, std::size_t count);
  void HandleServerLine(const std::string& line);

  // For tests: how long the connect, greeting and welcome waits last.
  void SetWaitLimitMs(std::uint32_t ms) { waitLimitMs_ = ms; }

 private:
  enum class TEvent { Step, Stop, Closed };
  struct TQueued {
    TEvent event;
    std::uint32_t connection;
  };
  // Runs from the event loop. An event that comes while a transition runs waits in the queue,
  // which is taken in order once that transition has ended. A step or a close of a connection
  // that has ended is dropped; a stop is the user's and holds in any state.
  void Take(TEvent event);
  // The one transition function.
  void Transition(TEvent event);
  void Enter(TSessionState state);
  // The next step of the current state after ms.
  void After(std::uint32_t ms);
  bool WaitedTooLong() const;
  void ConnectingStep();
  void LoginStep();
  void SetUpStep();
  void FarewellStep();
  void Stop();
  void Closed();
  // Why a live connection was lost, for the operator; "" for an ordinary close.
  std::string LostReason() const;
  // A connect ends without a live session: the connection ends, then the notice (if any) and
  // done(false), later.
  void FailConnect(const std::string& notice);
  // done(live) of the connect under way, later.
  void ReportConnect(bool live, const std::string& notice);
  void EndDisconnect();
  // The connection has ended, or its connect has failed: Idle, the panel reset, and what is
  // still pending of the connection dropped.
  void EndConnection();
  void DropPending();
  void Abandon();
  // Runs then from the event loop, after the notice (if any) in a box.
  void Report(std::string notice, std::function<void()> then);
  void Post(std::function<void()> call);
  void ResetForConnect();
  void ResetPanel();
  void Notice(const std::string& text, const std::string& caption = kTitle);
  void Panel(TPanelChange change);
  void HandlePriv(const std::string& value);
  void HandleFreq(const std::string& value);
  void ReadSome();
  // Handles waiting lines, at most kLinesPerPass or about kMaxReadBytes; true when complete
  // lines are left.
  bool HandleLines();
  // Goes on with the lines (and then the close) from the event loop.
  void ContinueLater();
  void Continue();
  void DrainOnClose();
  bool ValidOwnCall() const;

  TClientSettings settings_;
  TClientViews views_;
  TTraceFile trace_;
  TServerLineCutter cutter_;

  std::string ownCall_;
  std::string stationName_;
  std::string greeting_;
  std::string pendingMessage_;
  std::int32_t accessLevel_ = kAccessRxOnly;
  bool privSeen_ = false;
  bool rxOnly_ = false;
  bool receiveLock_ = false;
  bool readWaiting_ = false;  // a read event was left unread while lines were held
  bool continuePosted_ = false;
  bool closeSeen_ = false;  // the connection closed; the machine takes it after the lines
  std::uint16_t closeError_ = 0;
  std::vector<char> readBuffer_;
  bool displayLive_ = false;
  bool panelLive_ = false;  // a connect has begun; the panel is not yet reset
  int keepAliveCountdown_ = kKeepAliveSeconds;
  bool traceEnabled_ = false;
  double currentFreq_ = 0;
  std::string currentFreqText_;
  bool freqKnown_ = false;
  std::uint8_t modeGroup_ = kModeGroupNone;
  bool audioOn_ = false;
  bool farewellAudio_ = false;  // receive audio was on when the farewell began
  bool eqslEnabled_ = false;
  std::string eqslPassword_;
  std::uint32_t waitLimitMs_ = kWaitLimitMs;

  TSessionState state_ = TSessionState::Idle;
  std::size_t step_ = 0;               // the next step within the state
  std::uint32_t waitStart_ = 0;        // tick at which the current wait began
  bool taking_ = false;                // a transition runs
  std::deque<TQueued> queued_;         // events that came while it ran
  std::uint32_t connection_ = 0;       // the number of the connection, for its events
  TClientSettings::TStation station_;  // the station of the connect under way
  std::function<void(bool)> connectDone_;
  std::function<void()> disconnectDone_;
  // The steps' timer, and the context of everything posted: its destruction drops both.
  std::unique_ptr<QTimer> timer_;
};
