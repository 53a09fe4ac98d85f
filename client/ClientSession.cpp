#include "client/ClientSession.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <exception>
#include <iterator>

#include "common/Utils.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "sockets/MD5.h"
#include "text/Text.h"

namespace {

// The requests after login, each followed by a pause of 200 ms.
const char* const kAfterLogin[] = {"KSPEED ?", "SQ ?", "MO ?", "DISP ON", "SM ON"};

// Clears a flag when the scope ends, also by an exception, unless its owner has gone.
class FlagGuard {
 public:
  FlagGuard(bool& flag, std::weak_ptr<char> alive) : flag_(flag), alive_(std::move(alive)) {
    flag_ = true;
  }
  ~FlagGuard() {
    if (!alive_.expired()) flag_ = false;
  }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& flag_;
  std::weak_ptr<char> alive_;
};

}  // namespace

TClientSession::TClientSession(std::string iniFile, std::string traceFile, TClientViews views)
    : settings_(std::move(iniFile)),
      views_(views),
      trace_(std::move(traceFile)),
      timerOwner_(std::make_unique<QObject>()) {
  DataConn.SetProto("tcp");
  DataConn.SetAddr("localhost");
  DataConn.SetLocalAddr("0.0.0.0");
  DataConn.SetLocalPort("0");
  DataConn.SetMultiThreaded(true);
  DataConn.SetLingerOnOff(wsLingerOn);
  DataConn.SetLingerTimeout(0);
  DataConn.SetKeepAliveOnOff(wsKeepAliveOnSystem);
  DataConn.SetComponentOptions({wsoNoReceiveLoop});  // one bounded read per event
  DataConn.OnDataAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    DataConnDataAvailable(error);
  };
  DataConn.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t error) {
    DataConnSessionClosed(error);
  };
  ownCall_ = settings_.OwnCall();
  rxOnly_ = settings_.RxOnly();
  traceEnabled_ = settings_.TraceEnabled();
}

TClientSession::~TClientSession() {
  DataConn.OnDataAvailable = nullptr;
  DataConn.OnSessionClosed = nullptr;
}

void TClientSession::After(std::uint32_t ms, std::function<void()> step) {
  if (phase_ == TPhase::Idle) return;
  const std::uint32_t sequence = sequence_;
  QTimer::singleShot(static_cast<int>(ms), timerOwner_.get(),
                     [this, sequence, step = std::move(step)] {
                       if (sequence != sequence_) return;
                       try {
                         step();
                       } catch (const std::exception&) {
                         Abandon();
                       }
                     });
}

void TClientSession::Abandon() {
  try {
    DataConn.AbortConnection();
  } catch (const std::exception&) {
  }
  if (phase_ == TPhase::Disconnecting)
    EndDisconnect();
  else if (phase_ != TPhase::Idle)
    EndConnect(false);
}

void TClientSession::Await(std::function<bool()> ready, std::function<void(bool)> then) {
  AwaitFrom(platform::GetTickCount(), std::move(ready), std::move(then));
}

void TClientSession::AwaitFrom(std::uint32_t start, std::function<bool()> ready,
                               std::function<void(bool)> then) {
  if (ready()) return then(true);
  if (platform::GetTickCount() - start > waitLimitMs_) return then(false);
  After(10, [this, start, ready = std::move(ready), then = std::move(then)] {
    AwaitFrom(start, ready, then);
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
  cutter_.Clear();
  greeting_.clear();
  pendingMessage_.clear();
  accessLevel_ = kAccessRxOnly;
  privSeen_ = false;
  modeGroup_ = kModeGroupNone;
  freqKnown_ = false;
}

void TClientSession::ConnectTo(const std::string& name, std::function<void(bool)> done) {
  if (Busy()) return;
  connectDone_ = std::move(done);
  phase_ = TPhase::Connecting;
  ++sequence_;
  try {
    StartConnect(name);
  } catch (const std::exception&) {
    Abandon();
  }
}

void TClientSession::StartConnect(const std::string& name) {
  // Without a call the login would be a guest's, or carry the blanks into the protocol line.
  if (!ValidOwnCall())
    return EndConnect(
        false, "Enter your own call, without blanks, in the station list before connecting.");
  std::weak_ptr<char> alive = alive_;
  const TClientSettings::TStation station = settings_.Station(name);
  if (traceEnabled_ && !trace_.Rewrite()) {
    traceEnabled_ = false;
    Notice("Tracing is off: the trace file " + trace_.Path() + " cannot be written.");
    if (alive.expired()) return;
  }
  ResetForConnect();

  try {
    DataConn.SetPort(station.Port);
    DataConn.SetAddr(station.Addr);
    DataConn.Connect();
    DataConn.DiscardSendBuffer();
  } catch (const std::exception&) {
    // An unknown host or a bad port: nothing was started.
    DataConn.AbortConnection();
    return EndConnect(false, "Cannot connect to " + name);
  }
  Await([this] { return DataConn.State() != wsConnecting; },
        [this, station](bool inTime) {
          if (!inTime || !Connected()) {
            // Aborted in any state, so that a late connect never holds the server's only slot.
            DataConn.AbortConnection();
            return EndConnect(false, "Cannot connect to " + station.Name);
          }
          After(200, [this, station] {
            Await([this] { return !greeting_.empty() || !Connected(); },
                  [this, station](bool inTime) { Greeted(station, inTime); });
          });
        });
}

void TClientSession::Greeted(const TClientSettings::TStation& station, bool inTime) {
  if (!inTime) {
    DataConn.Close();
    return EndConnect(false, "No response from " + station.Name);
  }
  if (!greeting_.empty() && Connected()) {
    if (station.Password.empty())
      SendCommand("AUTH " + ownCall_);
    else
      SendCommand("AUTH " + ownCall_ + " " + MD5DigestHex(greeting_ + station.Password));
  }
  // The welcome, or a refusal; "PRIV" too, which the server sends also without a welcome text.
  Await([this] { return !pendingMessage_.empty() || privSeen_ || !Connected(); },
        [this, station](bool inTime) { Welcomed(station, inTime); });
}

void TClientSession::Welcomed(const TClientSettings::TStation& station, bool inTime) {
  if (!inTime) {
    DataConn.Close();
    return EndConnect(false, station.Name + "'s K2 is not responding");
  }
  After(1000, [this, station] { LoginEnded(station); });  // the "PRIV" that follows the welcome
}

void TClientSession::LoginEnded(const TClientSettings::TStation& station) {
  if (Connected()) return GoLive(station);
  std::string text = pendingMessage_.empty() ? "Unable to connect to K2" : pendingMessage_;
  pendingMessage_.clear();
  try {
    DataConn.Close();
  } catch (const std::exception&) {
  }
  EndConnect(false, text);
}

bool TClientSession::PanelInSequence(TPanelChange change) {
  std::weak_ptr<char> alive = alive_;
  const std::uint32_t sequence = sequence_;
  Panel(change);
  return !alive.expired() && sequence == sequence_;
}

// From here on a close of the connection ends the set-up (DataConnSessionClosed).
void TClientSession::GoLive(const TClientSettings::TStation& station) {
  audioOn_ = false;
  panelLive_ = true;
  phase_ = TPhase::SettingUp;
  if (!PanelInSequence(TPanelChange::PowerOn)) return;
  After(500, [this, station] {
    if (!PanelInSequence(TPanelChange::ShowToolWindows)) return;
    keepAliveCountdown_ = kKeepAliveSeconds;
    if (!PanelInSequence(TPanelChange::StartTimer)) return;
    SetUpStep(station, 0);
  });
}

void TClientSession::SetUpStep(const TClientSettings::TStation& station, std::size_t next) {
  if (next < std::size(kAfterLogin)) {
    SendCommand(kAfterLogin[next]);
    After(200, [this, station, next] { SetUpStep(station, next + 1); });
    return;
  }
  stationName_ = station.Name;
  if (!PanelInSequence(TPanelChange::StationShown)) return;
  if (!PanelInSequence(TPanelChange::AccessKnown)) return;
  eqslEnabled_ = station.EqslEnabled;
  eqslPassword_ = station.EqslEnabled ? station.EqslPassword : std::string();
  EndConnect(Connected());
}

void TClientSession::EndConnect(bool live, const std::string& notice) {
  std::function<void(bool)> done = std::move(connectDone_);
  connectDone_ = nullptr;
  phase_ = TPhase::Idle;
  ++sequence_;
  std::weak_ptr<char> alive = alive_;
  if (!notice.empty()) Notice(notice);
  if (!alive.expired() && done) done(live);
}

void TClientSession::Disconnect(std::function<void()> done) {
  if (phase_ == TPhase::Disconnecting) {
    if (done)
      disconnectDone_ = [first = std::move(disconnectDone_), done = std::move(done)] {
        if (first) first();
        done();
      };
    return;
  }
  std::weak_ptr<char> alive = alive_;
  // Nobody is logged in before the set-up: the connection is dropped without farewell.
  if (phase_ == TPhase::Connecting) DataConn.AbortConnection();
  if (phase_ != TPhase::Idle) EndConnect(false);
  if (alive.expired()) return;
  disconnectDone_ = std::move(done);
  phase_ = TPhase::Disconnecting;
  ++sequence_;
  try {
    if (!PanelInSequence(TPanelChange::StopTimers)) return;
    if (!Connected()) return DisconnectAudio();
    SendCommand("RX");
    After(200, [this] { DisconnectAudio(); });
  } catch (const std::exception&) {
    Abandon();
  }
}

void TClientSession::DisconnectAudio() {
  if (!audioOn_) return Farewell(0);
  if (!PanelInSequence(TPanelChange::StopAudio)) return;
  After(1000, [this] {
    if (!Connected()) {
      audioOn_ = false;
      return Farewell(0);
    }
    SendRaw("AU OFF");
    After(200, [this] {
      audioOn_ = false;
      Farewell(0);
    });
  });
}

void TClientSession::Farewell(std::size_t next) {
  static const struct {
    const char* line;
    std::uint32_t pauseMs;
  } kFarewell[] = {{"DISP OFF", 200}, {"SM OFF", 400}, {"BYE", 200}};
  for (; next < std::size(kFarewell); ++next) {
    if (!Connected()) continue;
    SendRaw(kFarewell[next].line);
    After(kFarewell[next].pauseMs, [this, next] { Farewell(next + 1); });
    return;
  }
  After(1000, [this] { CloseForDisconnect(); });
}

void TClientSession::CloseForDisconnect() {
  std::weak_ptr<char> alive = alive_;
  const std::uint32_t sequence = sequence_;
  DataConn.DiscardSendBuffer();
  if (Connected()) DataConn.Close();  // its close event ends the disconnect
  if (alive.expired() || sequence != sequence_) return;
  Await([this] { return !Connected(); }, [this](bool) { EndDisconnect(); });
}

void TClientSession::EndDisconnect() {
  std::function<void()> done = std::move(disconnectDone_);
  disconnectDone_ = nullptr;
  phase_ = TPhase::Idle;
  ++sequence_;
  std::weak_ptr<char> alive = alive_;
  if (panelLive_ || displayLive_) DataConnSessionClosed(0);
  if (alive.expired()) return;
  if (traceEnabled_) trace_.Close();
  if (done) done();
}

void TClientSession::Trace(const std::string& text) {
  if (!traceEnabled_) return;
  if (trace_.WriteLine(text)) return;
  // One message, later, from the event loop: the line being sent or handled goes on now.
  traceEnabled_ = false;
  trace_.Close();
  std::weak_ptr<char> alive = alive_;
  std::string message = "Tracing is off: the trace file " + trace_.Path() + " cannot be written.";
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this, alive, message] {
        if (!alive.expired()) Notice(message);
      },
      Qt::QueuedConnection);
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
  std::weak_ptr<char> alive = alive_;
  if (!pendingMessage_.empty()) {
    std::string text = std::move(pendingMessage_);
    pendingMessage_.clear();
    Notice(text, "Message");
    if (alive.expired()) return;
  }
  if (keepAliveCountdown_ > 0) --keepAliveCountdown_;
  if (keepAliveCountdown_ == 0) SendCommand("NOOP");
}

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
  HandleLines(false);
}

bool TClientSession::HandleLines(bool all) {
  if (receiveLock_) return true;  // the running pass reaches these lines
  std::weak_ptr<char> alive = alive_;
  FlagGuard lock(receiveLock_, alive);
  std::string line;
  std::size_t bytes = 0;  // a few long lines cost as much as many short ones
  for (int n = 0; all || (n < kLinesPerPass && bytes < kMaxReadBytes); ++n) {
    if (!cutter_.NextLine(line)) {
      if (readWaiting_) ContinueLater();
      return true;
    }
    bytes += line.size();
    Trace(" RCVD: " + line);
    if (greeting_.empty())
      greeting_ = line;
    else
      HandleServerLine(line);
    if (alive.expired()) return false;
  }
  ContinueLater();
  return true;
}

void TClientSession::ContinueLater() {
  if (continuePosted_) return;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  continuePosted_ = true;
  std::weak_ptr<char> alive = alive_;
  QMetaObject::invokeMethod(
      app,
      [this, alive] {
        if (alive.expired()) return;
        continuePosted_ = false;
        if (!Connected()) return;  // the end of the connection has dealt with the rest
        if (!HandleLines(false)) return;
        if (readWaiting_ && cutter_.Held() <= kMaxHeldBytes) ReadSome();
      },
      Qt::QueuedConnection);
}

// The server closed: what it sent before is handled before the panel is reset, as it arrived.
void TClientSession::HandleRestOnClose() {
  if (receiveLock_ || !Connected()) return;
  readWaiting_ = false;
  try {
    readBuffer_.resize(kMaxReadBytes);
    for (;;) {
      std::int32_t n = DataConn.Receive(readBuffer_.data(), kMaxReadBytes);
      if (n <= 0) break;
      cutter_.Append(readBuffer_.data(), static_cast<std::size_t>(n));
      if (!HandleLines(true) || !Connected()) return;
    }
    HandleLines(true);
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
  std::weak_ptr<char> alive = alive_;
  privSeen_ = true;
  accessLevel_ = StrToIntDef(value, kAccessRxOnly);
  if (accessLevel_ == kAccessRxOnly && !rxOnly_) {
    Panel(TPanelChange::HideTxWindows);
    platform::ProcessMessages();
    if (alive.expired()) return;
    rxOnly_ = true;
  }
  Panel(TPanelChange::RxOnlyLocked);
}

void TClientSession::DataConnSessionClosed(std::uint16_t) {
  std::weak_ptr<char> alive = alive_;
  HandleRestOnClose();
  if (alive.expired()) return;
  const TPhase phase = phase_;
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
  if (alive.expired()) return;
  // The steps that are left would set the panel up again, or say farewell to nobody.
  if (phase == TPhase::SettingUp && phase_ == phase)
    EndConnect(false);
  else if (phase == TPhase::Disconnecting && phase_ == phase)
    EndDisconnect();
}
