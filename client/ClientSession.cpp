#include "client/ClientSession.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <cstdio>
#include <exception>

#include "common/Utils.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "sockets/MD5.h"
#include "text/Text.h"

namespace {

// The requests after login, each followed by a pause of 200 ms.
const char* const kAfterLogin[] = {"KSPEED ?", "SQ ?", "MO ?", "DISP ON", "SM ON"};

// Clears a flag when the scope ends, also by an exception.
class FlagGuard {
 public:
  explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~FlagGuard() { flag_ = false; }
  FlagGuard(const FlagGuard&) = delete;
  FlagGuard& operator=(const FlagGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

TClientSession::TClientSession(std::string iniFile, std::string traceFile, TClientViews views)
    : settings_(std::move(iniFile)), views_(views), trace_(std::move(traceFile)) {
  DataConn.SetProto("tcp");
  DataConn.SetAddr("localhost");
  DataConn.SetLocalAddr("0.0.0.0");
  DataConn.SetLocalPort("0");
  DataConn.SetMultiThreaded(true);
  DataConn.SetLingerOnOff(wsLingerOn);
  DataConn.SetLingerTimeout(0);
  DataConn.SetKeepAliveOnOff(wsKeepAliveOnSystem);
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

template <class Done>
bool TClientSession::WaitUntil(Done done) {
  std::weak_ptr<char> alive = alive_;
  const std::uint32_t start = platform::GetTickCount();
  for (;;) {
    if (alive.expired()) return false;
    if (done()) return true;
    if (platform::GetTickCount() - start > waitLimitMs_) return false;
    platform::WaitMessages(10);
  }
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

bool TClientSession::ConnectTo(const std::string& name) {
  // Without a call the login would be a guest's, or carry the blanks into the protocol line.
  if (!ValidOwnCall()) {
    Notice("Enter your own call, without blanks, in the station list before connecting.");
    return false;
  }
  std::weak_ptr<char> alive = alive_;
  const TClientSettings::TStation station = settings_.Station(name);
  if (traceEnabled_ && !trace_.Rewrite()) {
    traceEnabled_ = false;
    Notice("Tracing is off: the trace file " + trace_.Path() + " cannot be written.");
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
    Notice("Cannot connect to " + name);
    return false;
  }
  bool inTime = WaitUntil([this] { return DataConn.State() != wsConnecting; });
  if (alive.expired()) return false;
  if (!inTime || !Connected()) {
    // Aborted in any state, so that a late connect never holds the server's only slot.
    DataConn.AbortConnection();
    Notice("Cannot connect to " + name);
    return false;
  }

  Delay(200);
  if (alive.expired()) return false;
  inTime = WaitUntil([this] { return !greeting_.empty() || !Connected(); });
  if (alive.expired()) return false;
  if (!inTime) {
    DataConn.Close();
    Notice("No response from " + name);
    return false;
  }

  if (!greeting_.empty() && Connected()) {
    if (station.Password.empty())
      SendCommand("AUTH " + ownCall_);
    else
      SendCommand("AUTH " + ownCall_ + " " + MD5DigestHex(greeting_ + station.Password));
  }
  // The welcome, or a refusal; "PRIV" too, which the server sends also without a welcome text.
  inTime = WaitUntil([this] { return !pendingMessage_.empty() || privSeen_ || !Connected(); });
  if (alive.expired()) return false;
  if (!inTime) {
    DataConn.Close();
    Notice(name + "'s K2 is not responding");
    return false;
  }

  Delay(1000);  // the "PRIV" that follows the welcome
  if (alive.expired()) return false;
  if (Connected()) {
    GoLive(station);
    return !alive.expired() && Connected();
  }
  std::string text = pendingMessage_.empty() ? "Unable to connect to K2" : pendingMessage_;
  Notice(text);
  if (alive.expired()) return false;
  pendingMessage_.clear();
  try {
    DataConn.Close();
  } catch (const std::exception&) {
  }
  return false;
}

void TClientSession::GoLive(const TClientSettings::TStation& station) {
  std::weak_ptr<char> alive = alive_;
  audioOn_ = false;
  panelLive_ = true;
  Panel(TPanelChange::PowerOn);
  Delay(500);
  if (alive.expired()) return;
  Panel(TPanelChange::ShowToolWindows);
  keepAliveCountdown_ = kKeepAliveSeconds;
  Panel(TPanelChange::StartTimer);
  for (const char* line : kAfterLogin) {
    SendCommand(line);
    Delay(200);
    if (alive.expired()) return;
  }
  stationName_ = station.Name;
  Panel(TPanelChange::StationShown);
  Panel(TPanelChange::AccessKnown);
  eqslEnabled_ = station.EqslEnabled;
  eqslPassword_ = station.EqslEnabled ? station.EqslPassword : std::string();
}

void TClientSession::Disconnect() {
  std::weak_ptr<char> alive = alive_;
  auto pause = [&alive](std::uint32_t ms) {
    Delay(ms);
    return !alive.expired();
  };
  Panel(TPanelChange::StopTimers);
  if (Connected()) {
    SendCommand("RX");
    if (!pause(200)) return;
  }
  if (audioOn_) {
    Panel(TPanelChange::StopAudio);
    if (!pause(1000)) return;
    if (Connected()) {
      SendRaw("AU OFF");
      if (!pause(200)) return;
    }
    audioOn_ = false;
  }
  const struct {
    const char* line;
    std::uint32_t pauseMs;
  } kFarewell[] = {{"DISP OFF", 200}, {"SM OFF", 400}, {"BYE", 200}};
  for (const auto& step : kFarewell) {
    if (!Connected()) continue;
    SendRaw(step.line);
    if (!pause(step.pauseMs)) return;
  }
  if (!pause(1000)) return;
  DataConn.DiscardSendBuffer();
  if (Connected()) DataConn.Close();
  const std::uint32_t start = platform::GetTickCount();
  while (Connected() && platform::GetTickCount() - start < kWaitLimitMs)
    if (!pause(200)) return;
  if (panelLive_ || displayLive_) DataConnSessionClosed(0);
  if (traceEnabled_) trace_.Close();
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
  char text[64];
  std::snprintf(text, sizeof text, "FREQ %4.2f", currentFreq_ + stepKhz);
  SendCommand(text);
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
  char buffer[8192];
  std::int32_t n = DataConn.Receive(buffer, sizeof buffer);
  if (n > 0) DataReceived(buffer, static_cast<std::size_t>(n));
}

void TClientSession::DataReceived(const char* data, std::size_t count) {
  cutter_.Append(data, count);
  if (receiveLock_) return;  // the running pass reaches these lines
  std::weak_ptr<char> alive = alive_;
  FlagGuard lock(receiveLock_);
  std::string line;
  while (cutter_.NextLine(line)) {
    Trace(" RCVD: " + line);
    if (greeting_.empty())
      greeting_ = line;
    else
      HandleServerLine(line);
    if (alive.expired()) return;
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
  if (!ParseKilohertz(value, khz)) return;
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
