#include "client/ClientSession.h"

#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <iterator>

#include "common/ScopeExit.h"
#include "common/Utils.h"
#include "platform/Tick.h"
#include "sockets/MD5.h"
#include "text/Text.h"

namespace {

// The requests after login, each followed by a pause of 200 ms.
const char* const kAfterLogin[] = {"KSPEED ?", "SQ ?", "MO ?", "DISP ON", "SM ON"};

// The farewell: each step, when it applies, then its pause.
enum class TFarewell { Command, StopAudio, AudioOff, Raw, Pause, Close };
struct TFarewellStep {
  TFarewell what;
  const char* line;
  std::uint32_t pauseMs;
};
const TFarewellStep kFarewell[] = {
    {TFarewell::Command, "RX", 200},      {TFarewell::StopAudio, nullptr, 1000},
    {TFarewell::AudioOff, "AU OFF", 200}, {TFarewell::Raw, "DISP OFF", 200},
    {TFarewell::Raw, "SM OFF", 400},      {TFarewell::Raw, "BYE", 200},
    {TFarewell::Pause, nullptr, 1000},    {TFarewell::Close, nullptr, 0},
};

}  // namespace

TClientSession::TClientSession(std::string iniFile, std::string traceFile, TClientViews views)
    : settings_(std::move(iniFile)),
      views_(views),
      trace_(std::move(traceFile)),
      timer_(std::make_unique<QTimer>()) {
  DataConn.SetProto("tcp");
  DataConn.SetAddr("localhost");
  DataConn.SetLocalAddr("0.0.0.0");
  DataConn.SetLocalPort("0");
  DataConn.SetMultiThreaded(true);
  DataConn.SetLingerOnOff(wsLingerOn);
  DataConn.SetLingerTimeout(0);
  // A server link that dies without a word ends like a close (sockets/LinkWatch.h).
  WatchLink(DataConn);
  DataConn.SetComponentOptions({wsoNoReceiveLoop});  // one bounded read per event
  DataConn.OnDataAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    DataConnDataAvailable(error);
  };
  DataConn.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t error) {
    DataConnSessionClosed(error);
  };
  timer_->setSingleShot(true);
  QObject::connect(timer_.get(), &QTimer::timeout, [this] { Take(TEvent::Step); });
  ownCall_ = settings_.OwnCall();
  rxOnly_ = settings_.RxOnly();
  traceEnabled_ = settings_.TraceEnabled();
}

TClientSession::~TClientSession() {
  DataConn.OnDataAvailable = nullptr;
  DataConn.OnSessionClosed = nullptr;
}

// --- The state machine -----------------------------------------------------------------------

void TClientSession::Take(TEvent event) {
  queued_.push_back({event, connection_});
  if (taking_) return;
  taking_ = true;
  const TScopeExit taken([this] { taking_ = false; });
  while (!queued_.empty()) {
    const TQueued next = queued_.front();
    queued_.pop_front();
    if (next.event == TEvent::Stop || next.connection == connection_) Transition(next.event);
  }
}

void TClientSession::Transition(TEvent event) {
  try {
    if (event == TEvent::Closed) return Closed();
    if (event == TEvent::Stop) return Stop();
    // Idle and Live wait for the user or the server.
    static constexpr void (TClientSession::*kSteps[])() = {nullptr,
                                                           &TClientSession::ConnectingStep,
                                                           &TClientSession::LoginStep,
                                                           &TClientSession::SetUpStep,
                                                           nullptr,
                                                           &TClientSession::FarewellStep};
    if (auto step = kSteps[static_cast<std::size_t>(state_)]) (this->*step)();
  } catch (const std::exception&) {
    Abandon();
  }
}

TLinkState TClientSession::SampleSendLink() {
  return SampleLink(DataConn);
}

void TClientSession::DropPending() {
  ++connection_;
  closeError_ = 0;
  continuePosted_ = false;
  closeSeen_ = false;
  readWaiting_ = false;
}

void TClientSession::Enter(TSessionState state) {
  state_ = state;
  step_ = 0;
  waitStart_ = platform::GetTickCount();
  timer_->stop();
}

void TClientSession::After(std::uint32_t ms) {
  timer_->start(static_cast<int>(ms));
}

bool TClientSession::WaitedTooLong() const {
  return platform::GetTickCount() - waitStart_ > waitLimitMs_;
}

void TClientSession::Post(std::function<void()> call) {
  QMetaObject::invokeMethod(timer_.get(), std::move(call), Qt::QueuedConnection);
}

void TClientSession::Report(std::string notice, std::function<void()> then) {
  Post([this, notice = std::move(notice), then = std::move(then)] {
    if (!notice.empty()) Notice(notice);
    if (then) then();
  });
}

void TClientSession::Notice(const std::string& text, const std::string& caption) {
  if (views_.Notice) views_.Notice->ShowNotice(text, caption);
}

void TClientSession::Panel(TPanelChange change) {
  if (views_.Panel) views_.Panel->PanelChanged(change);
}

bool TClientSession::ValidOwnCall() const {
  if (ownCall_.empty()) return false;
  for (char c : ownCall_)
    if (IsBlank(c)) return false;
  return true;
}

void TClientSession::ResetForConnect() {
  DropPending();
  cutter_.Clear();
  greeting_.clear();
  pendingMessage_.clear();
  accessLevel_ = kAccessRxOnly;
  privSeen_ = false;
  modeGroup_ = kModeGroupNone;
  freqKnown_ = false;
}

void TClientSession::ConnectTo(const std::string& name, std::function<void(bool)> done) {
  if (!Idle()) return;
  connectDone_ = std::move(done);
  station_ = settings_.Station(name);
  // Without a call the login would be a guest's, or carry the blanks into the protocol line.
  if (!ValidOwnCall())
    return FailConnect(
        "Enter your own call, without blanks, in the station list before connecting.");
  if (traceEnabled_ && !trace_.Rewrite()) {
    traceEnabled_ = false;
    Report("Tracing is off: the trace file " + trace_.Path() + " cannot be written.", {});
  }
  ResetForConnect();
  panelLive_ = true;
  try {
    DataConn.SetPort(station_.Port);
    DataConn.SetAddr(station_.Addr);
    DataConn.Connect();
    DataConn.DiscardSendBuffer();
  } catch (const std::exception&) {
    // An unknown host or a bad port: nothing was started.
    DataConn.AbortConnection();
    return FailConnect("Cannot connect to " + name);
  }
  Enter(TSessionState::Connecting);
  After(10);
}

void TClientSession::ConnectingStep() {
  const TSocketState socket = DataConn.State();
  if (socket == wsConnected) {
    Enter(TSessionState::LoggingIn);
    return After(200);
  }
  if (socket == wsConnecting && !WaitedTooLong()) return After(10);
  // Aborted in any state, so that a late connect never holds the server's only slot.
  DataConn.AbortConnection();
  FailConnect("Cannot connect to " + station_.Name);
}

// Waits for the greeting, answers it with "AUTH", waits for the welcome or a refusal ("PRIV"
// too, which the server sends also without a welcome text), then 1000 ms for the "PRIV" that
// follows the welcome.
void TClientSession::LoginStep() {
  if (step_ == 0) {
    step_ = 1;
    waitStart_ = platform::GetTickCount();
  }
  if (step_ == 1) {
    if (greeting_.empty()) {
      if (!WaitedTooLong()) return After(10);
      DataConn.Close();
      return FailConnect("No response from " + station_.Name);
    }
    if (station_.Password.empty())
      SendCommand("AUTH " + ownCall_);
    else
      SendCommand("AUTH " + ownCall_ + " " + MD5DigestHex(greeting_ + station_.Password));
    step_ = 2;
    waitStart_ = platform::GetTickCount();
  }
  if (step_ == 2) {
    if (pendingMessage_.empty() && !privSeen_) {
      if (!WaitedTooLong()) return After(10);
      DataConn.Close();
      return FailConnect(station_.Name + "'s K2 is not responding");
    }
    step_ = 3;
    return After(1000);
  }
  audioOn_ = false;
  Enter(TSessionState::SettingUp);
  After(0);
}

// The panel on, 500 ms, the tool windows and the timer, the requests after the login with their
// pauses; then the station is shown and the session is live.
void TClientSession::SetUpStep() {
  const std::size_t step = step_++;
  if (step == 0) {
    Panel(TPanelChange::PowerOn);
    return After(500);
  }
  if (step == 1) {
    Panel(TPanelChange::ShowToolWindows);
    keepAliveCountdown_ = kKeepAliveSeconds;
    Panel(TPanelChange::StartTimer);
  }
  const std::size_t request = step - 1;
  if (request < std::size(kAfterLogin)) {
    SendCommand(kAfterLogin[request]);
    return After(200);
  }
  stationName_ = station_.Name;
  Panel(TPanelChange::StationShown);
  Panel(TPanelChange::AccessKnown);
  eqslEnabled_ = station_.EqslEnabled;
  eqslPassword_ = station_.EqslEnabled ? station_.EqslPassword : std::string();
  Enter(TSessionState::Live);
  ReportConnect(true, {});
}

void TClientSession::FailConnect(const std::string& notice) {
  EndConnection();
  ReportConnect(false, notice);
}

void TClientSession::ReportConnect(bool live, const std::string& notice) {
  Report(notice, [done = std::move(connectDone_), live] {
    if (done) done(live);
  });
  connectDone_ = nullptr;
}

void TClientSession::Disconnect(std::function<void()> done) {
  if (done)
    disconnectDone_ = [first = std::move(disconnectDone_), done = std::move(done)] {
      if (first) first();
      done();
    };
  if (state_ != TSessionState::Disconnecting) Take(TEvent::Stop);
}

void TClientSession::Stop() {
  const TSessionState from = state_;
  if (from == TSessionState::Disconnecting) return;
  // The farewell goes by the audio as it is now: its own steps stop the audio on the way.
  farewellAudio_ = audioOn_;
  // Nobody is logged in before the set-up: the connection is dropped without farewell.
  if (from == TSessionState::Connecting || from == TSessionState::LoggingIn)
    DataConn.AbortConnection();
  if (from != TSessionState::Idle && from != TSessionState::Live) ReportConnect(false, {});
  Enter(TSessionState::Disconnecting);
  Panel(TPanelChange::StopTimers);
  if (from == TSessionState::Live || from == TSessionState::SettingUp) return FarewellStep();
  EndDisconnect();
}

void TClientSession::FarewellStep() {
  while (step_ < std::size(kFarewell)) {
    const TFarewellStep& step = kFarewell[step_++];
    switch (step.what) {
      case TFarewell::Command:
        SendCommand(step.line);
        break;
      case TFarewell::StopAudio:
        if (!farewellAudio_) continue;
        Panel(TPanelChange::StopAudio);
        break;
      case TFarewell::AudioOff:
        if (!farewellAudio_) continue;
        SendRaw(step.line);
        audioOn_ = false;
        break;
      case TFarewell::Raw:
        SendRaw(step.line);
        break;
      case TFarewell::Pause:
        break;
      case TFarewell::Close:
        DataConn.DiscardSendBuffer();
        // Its close event ends the disconnect; one that never comes, the wait limit.
        DataConn.Close();
        return After(waitLimitMs_);
    }
    return After(step.pauseMs);
  }
  EndDisconnect();
}

void TClientSession::EndDisconnect() {
  EndConnection();
  if (traceEnabled_) trace_.Close();
  Report({}, std::move(disconnectDone_));
  disconnectDone_ = nullptr;
}

void TClientSession::EndConnection() {
  Enter(TSessionState::Idle);
  DropPending();
  if (panelLive_ || displayLive_) ResetPanel();
}

// The connection has closed and every line that came before the close has been handled.
void TClientSession::Closed() {
  const TSessionState from = state_;
  switch (from) {
    case TSessionState::Connecting:
    case TSessionState::LoggingIn: {
      std::string text = pendingMessage_;
      if (text.empty())
        text = from == TSessionState::Connecting ? "Cannot connect to " + station_.Name
                                                 : "Unable to connect to K2";
      pendingMessage_.clear();
      return FailConnect(text);
    }
    case TSessionState::SettingUp:
      return FailConnect({});
    case TSessionState::Disconnecting:
      return EndDisconnect();
    case TSessionState::Live: {
      std::string lost = LostReason();
      EndConnection();
      if (!lost.empty()) Report(std::move(lost), {});
      return;
    }
    case TSessionState::Idle:  // nothing was under way: the panel is idle all the same
      return ResetPanel();
  }
}

std::string TClientSession::LostReason() const {
  std::string why;
  if (LinkGivenUp(closeError_))
    why = "no answer from the station for " + std::to_string(kLinkTimeoutMs / 1000) + " s";
  else if (closeError_ == platform::winsock::WSAECONNRESET)
    why = "the station reset the connection";
  else
    return {};
  return "The connection to " + stationName_ + " was lost: " + why + ".";
}

void TClientSession::Abandon() {
  try {
    DataConn.AbortConnection();
  } catch (const std::exception&) {
  }
  if (state_ == TSessionState::Disconnecting)
    EndDisconnect();
  else if (Busy())
    FailConnect({});
}

void TClientSession::ResetPanel() {
  if (audioOn_) {
    Panel(TPanelChange::StopAudio);
    audioOn_ = false;
  }
  Panel(TPanelChange::PowerOff);
  modeGroup_ = kModeGroupNone;
  stationName_.clear();
  eqslEnabled_ = false;
  eqslPassword_.clear();
  displayLive_ = false;
  panelLive_ = false;
}

// --- Writing ---------------------------------------------------------------------------------

void TClientSession::Trace(const std::string& text) {
  if (!traceEnabled_) return;
  if (trace_.WriteLine(text)) return;
  // One message, later: the line being sent or handled goes on now.
  traceEnabled_ = false;
  trace_.Close();
  Report("Tracing is off: the trace file " + trace_.Path() + " cannot be written.", {});
}

void TClientSession::SendCommand(const std::string& line) {
  keepAliveCountdown_ = kKeepAliveSeconds;
  if (!Connected()) {
    // A connect in progress belongs to ConnectTo, which decides about it.
    if (DataConn.State() != wsConnecting) {
      try {
        DataConn.Close();
      } catch (const std::exception&) {
      }
    }
    return;
  }
  Trace(" SENT: " + line);
  try {
    DataConn.SendText(line + "\r\n");
  } catch (const std::exception&) {
    Trace(" ** FAILED **");
  }
}

void TClientSession::SendRaw(const std::string& line) {
  if (!Connected()) return;
  try {
    DataConn.SendText(line + "\r\n");
  } catch (const std::exception&) {
  }
}

bool TClientSession::SendFreqStep(double stepKhz) {
  if (!freqKnown_) return false;
  // Reported frequencies are below 100 MHz, but the text is sized by the number all the same.
  const double khz = currentFreq_ + stepKhz;
  std::string text(static_cast<std::size_t>(std::snprintf(nullptr, 0, "%4.2f", khz)), '\0');
  std::snprintf(text.data(), text.size() + 1, "%4.2f", khz);
  SendCommand("FREQ " + text);
  return true;
}

void TClientSession::StationEqslChanged(const std::string& name, bool enabled,
                                        const std::string& password) {
  if (!Connected() || stationName_.empty() || !SameTextAscii(name, stationName_)) return;
  eqslEnabled_ = enabled;
  eqslPassword_ = enabled ? password : std::string();
}

void TClientSession::SendChat(const std::string& text) {
  if (text.empty()) return;
  SendCommand("CHAT " + ownCall_ + "> " + text);
}

void TClientSession::OneSecondTick() {
  if (!pendingMessage_.empty()) {
    std::string text = std::move(pendingMessage_);
    pendingMessage_.clear();
    Notice(text, "Message");
  }
  if (keepAliveCountdown_ > 0) --keepAliveCountdown_;
  if (keepAliveCountdown_ == 0) SendCommand("NOOP");
}

// --- Reading ---------------------------------------------------------------------------------

void TClientSession::DataConnDataAvailable(std::uint16_t error) {
  if (error != 0) return;
  // Left unread, the socket reports nothing more: the pass that brings the held bytes down reads.
  if (cutter_.Held() > kMaxHeldBytes) {
    readWaiting_ = true;
    return;
  }
  ReadSome();
}

void TClientSession::ReadSome() {
  readWaiting_ = false;
  readBuffer_.resize(kMaxReadBytes);
  std::int32_t n = DataConn.Receive(readBuffer_.data(), kMaxReadBytes);
  if (n > 0) DataReceived(readBuffer_.data(), static_cast<std::size_t>(n));
}

void TClientSession::DataReceived(const char* data, std::size_t count) {
  cutter_.Append(data, count);
  if (HandleLines() || readWaiting_ || closeSeen_) ContinueLater();
}

bool TClientSession::HandleLines() {
  if (receiveLock_) return false;  // the running pass reaches these lines
  receiveLock_ = true;
  const TScopeExit unlock([this] { receiveLock_ = false; });
  std::string line;
  std::size_t bytes = 0;  // a few long lines cost as much as many short ones
  for (int n = 0; n < kLinesPerPass && bytes < kMaxReadBytes; ++n) {
    if (!cutter_.NextLine(line)) return false;
    bytes += line.size();
    Trace(" RCVD: " + line);
    if (greeting_.empty())
      greeting_ = line;
    else
      HandleServerLine(line);
  }
  return true;
}

void TClientSession::ContinueLater() {
  if (continuePosted_) return;
  continuePosted_ = true;
  Post([this, connection = connection_] {
    if (connection == connection_) Continue();
  });
}

void TClientSession::Continue() {
  continuePosted_ = false;
  // A pass under way (a handler let messages run) posts this again when it ends.
  if (receiveLock_) return;
  if (HandleLines()) return ContinueLater();
  if (readWaiting_ && !closeSeen_ && cutter_.Held() <= kMaxHeldBytes) return ReadSome();
  if (!closeSeen_) return;
  closeSeen_ = false;
  Take(TEvent::Closed);
}

// What the server sent before its close is taken in now, while the socket can still be read; it
// is handled, in order, before the machine takes the close.
void TClientSession::DrainOnClose() {
  readWaiting_ = false;
  if (!Connected()) return;
  try {
    readBuffer_.resize(kMaxReadBytes);
    for (;;) {
      const std::int32_t n = DataConn.Receive(readBuffer_.data(), kMaxReadBytes);
      if (n <= 0) break;
      cutter_.Append(readBuffer_.data(), static_cast<std::size_t>(n));
    }
  } catch (const std::exception&) {
  }
}

void TClientSession::HandleServerLine(const std::string& line) {
  keepAliveCountdown_ = kKeepAliveSeconds;
  std::string word, value;
  SplitAtFirstSpace(line, word, value);
  const TServerWord kind = ServerWordOf(word);
  switch (kind) {
    case TServerWord::None:
      return;
    case TServerWord::Message:
      pendingMessage_ = MessageText(value);
      return;
    case TServerWord::Freq:
      HandleFreq(value);
      return;
    case TServerWord::Priv:
      HandlePriv(value);
      return;
    case TServerWord::Chat:
      if (!value.empty() && views_.Chat) views_.Chat->AddText(value);
      return;
    case TServerWord::Rxt:
      if (!value.empty() && views_.Receive) views_.Receive->AddText(value);
      return;
    default:
      if (views_.Status) views_.Status->ShowStatus(kind, value);
      return;
  }
}

void TClientSession::HandleFreq(const std::string& value) {
  double khz = 0;
  if (!ParseReportedFrequency(value, khz)) return;
  currentFreq_ = khz;
  currentFreqText_ = value;
  freqKnown_ = true;
  if (views_.Status) views_.Status->ShowStatus(TServerWord::Freq, value);
}

void TClientSession::HandlePriv(const std::string& value) {
  privSeen_ = true;
  accessLevel_ = StrToIntDef(value, kAccessRxOnly);
  if (accessLevel_ == kAccessRxOnly && !rxOnly_) {
    Panel(TPanelChange::HideTxWindows);
    rxOnly_ = true;
  }
  Panel(TPanelChange::RxOnlyLocked);
}

void TClientSession::DataConnSessionClosed(std::uint16_t error) {
  closeError_ = error;
  DrainOnClose();
  closeSeen_ = true;
  ContinueLater();
}
