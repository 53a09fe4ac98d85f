#include "server/ServerSession.h"

#include <memory>

#include "common/Adif.h"
#include "common/DateTime.h"
#include "common/Text.h"
#include "common/Utils.h"
#include "platform/Tick.h"
#include "relay/K2Text.h"
#include "server/ServerMessages.h"
#include "sockets/MD5.h"

namespace {

// Compares two digests without regard to case, in a time that does not depend on where they
// first differ.
bool SameDigest(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    diff |= static_cast<unsigned char>(UpperAscii(a[i]) ^ UpperAscii(b[i]));
  return diff == 0;
}

// The level a switch (SWnn;) needs: the transmit-side switches TX/RX, those that change the
// radio's set-up Full; 0 for a code outside 1 to 32, which no level may send.
std::int32_t SwitchLevel(std::int32_t code) {
  switch (code) {
    case 5:
    case 19:
    case 21:
    case 30:
    case 31:
      return 2;
    case 16:
    case 20:
    case 32:
      return 1;
    default:
      return 0;
  }
}

}  // namespace

bool CatAllowed(const std::string& commands, std::int32_t level) {
  if (level >= 2) return true;
  if (commands.empty()) return false;
  std::size_t start = 0;
  while (start < commands.size()) {
    std::size_t end = commands.find(';', start);
    if (end == std::string::npos) return false;  // every command ends with ";"
    std::string cmd = UpperAscii(commands.substr(start, end - start));
    start = end + 1;
    auto digits = [&](std::size_t from, std::size_t count) {
      if (cmd.size() != from + count) return false;
      for (std::size_t i = from; i < cmd.size(); ++i)
        if (cmd[i] < '0' || cmd[i] > '9') return false;
      return true;
    };
    if ((cmd.rfind("UP", 0) == 0 || cmd.rfind("DN", 0) == 0) && digits(2, 1)) continue;
    if (cmd.rfind("PC", 0) == 0 && digits(2, 3) && level >= 1) continue;
    if (cmd.rfind("SW", 0) == 0 && digits(2, 2)) {
      const std::int32_t code = ParseInt32(cmd.substr(2)).value_or(0);
      if (code < 1 || code > 32) return false;
      if (level >= SwitchLevel(code)) continue;
    }
    return false;
  }
  return true;
}

bool TServerSession::RadioLink::WriteText(const std::string& text) {
  // The port queues a write made while another is pending; a closed port reports the failure
  // through its error event.
  return port_.WriteText(text);
}

void TServerSession::ClientLink::SendText(const std::string& text) {
  if (socket_.State() == wsConnected) socket_.SendText(text);
}

TServerSession::TServerSession(std::string iniPath, TEventLog& eventLog)
    : CwDecoder(
          iniPath, [this](const std::string& line) { clientLink_.SendText(line); },
          [this](const std::string& message) { LogEvent(message); }),
      Audio(clientLink_, [this](const std::string& message) { LogEvent(message); }),
      settings_(std::move(iniPath)),
      eventLog_(eventLog),
      caption_(std::string(kTitle) + " " + kVersion),
      radioLink_(SerialPort),
      clientLink_(CliWSocket),
      framer_([this](const std::string& word, const std::string& value) {
        return DispatchLine(word, value);
      }) {
  ServerWSocket.SetAddr("0.0.0.0");
  ServerWSocket.SetProto("tcp");
  ServerWSocket.SetListenBacklog(5);
  ServerWSocket.OnSessionAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    ServerWSocketSessionAvailable(error);
  };
  CliWSocket.OnDataAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    CliWSocketDataAvailable(error);
  };
  CliWSocket.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t error) {
    CliWSocketSessionClosed(error);
  };
  SerialPort.SetCommPort("COM1");
  SerialPort.SetBaudRate(4800);
  SerialPort.SetStopBits(2);
  SerialPort.SetRTOCharDelayTime(2300);
  SerialPort.SetWTOCharDelayTime(2300);
  SerialPort.SetErrorNoise(255);
  SerialPort.OnRxClusterEvent = [this](TSerialPort&) { SerialPortRxClusterEvent(); };
  Relay.SetRadio(&radioLink_);
  Relay.OnStartCwDecoder = [this](TK2Relay&) { CwDecoder.StartCwDecoder(); };
  Relay.OnStopCwDecoder = [this](TK2Relay&) { CwDecoder.StopCwDecoder(); };
  busy_ = settings_.K2Busy();
}

TServerSession::~TServerSession() {
  // The sockets' and the port's events must not reach a half-destroyed session.
  ServerWSocket.OnSessionAvailable = nullptr;
  CliWSocket.OnDataAvailable = nullptr;
  CliWSocket.OnSessionClosed = nullptr;
  SerialPort.OnRxClusterEvent = nullptr;
  Relay.OnStartCwDecoder = nullptr;
  Relay.OnStopCwDecoder = nullptr;
}

void TServerSession::ClearOwnerEvents() {
  OnStatus = {};
  OnTrayHint = {};
  OnSessionMenus = {};
  OnCycleIcons = {};
  OnChat = {};
  OnCloseRequested = {};
  Audio.OnMeterChange = {};
}

void TServerSession::LoadSettings() {
  Audio.Setup(settings_.SoundCard(), settings_.SquelchLevel());
  CwDecoder.Setup();
  Relay.SetCwDecoderEnabled(CwDecoder.CwDecoderAvailable() && CwDecoder.CwDecoderEnabled());
  Relay.ReplyBuffer().clear();

  const std::string port = settings_.CommPort();
  if (!port.empty()) ConfigureSerialPort(port);
}

void TServerSession::ConfigureSerialPort(const std::string& port) {
  SerialPort.SetCommPort(port);
  SerialPort.SetBaudRate(4800);
  SerialPort.SetDataBits(8);
  SerialPort.SetParityType(0);
  SerialPort.SetStopBits(2);
  SerialPort.SetFlowControl(0);
}

void TServerSession::SetCwDecoder(bool enabled, const std::string& path) {
  if (!CwDecoder.CwDecoderAvailable()) return;
  CwDecoder.SetCwDecoderEnabled(enabled);
  CwDecoder.SetDecoderPath(path);
  Relay.SetCwDecoderEnabled(enabled);
}

void TServerSession::Listen() {
  ServerWSocket.SetProto("tcp");
  ServerWSocket.SetPort(settings_.ListenPort());
  ServerWSocket.SetAddr(settings_.ListenAddress());
  ServerWSocket.Listen();
  Audio.SetIdle();
}

void TServerSession::Report(const std::function<void(const std::string&)>& event,
                            const std::string& text) {
  if (event) event(text);
}

void TServerSession::LogEvent(const std::string& message) {
  eventLog_.LogEvent(message);
}

std::string TServerSession::ExpandMacros(const std::string& text) const {
  return ::ExpandMacros(text, sessionUser_, Relay.AccessLevel());
}

void TServerSession::SendLine(const std::string& text) {
  clientLink_.SendText(text + "\r\n");
}

void TServerSession::SendMessage(const std::string& text) {
  SendLine("# " + text);
}

void TServerSession::EndSession() {
  CliWSocket.Close();
  sessionEnded_ = true;
}

void TServerSession::TimerTimer() {
  if (sessionEnded_) ResetForNextCaller();
  if (shutdownRequested_) {
    if (OnCloseRequested) OnCloseRequested();
    return;
  }
  if (sessionStarted_) {
    if (CliWSocket.State() == wsConnected) {
      if (CwDecoder.CwDecoderRunning()) CwDecoder.ForwardDecodedText();
      if (!commandInProgress_) Relay.PollK2();
      if (OnTick) OnTick();
    } else {
      CliWSocket.Close();
      sessionEnded_ = true;
    }
  } else if (CliWSocket.State() == wsConnected && !authenticated_ &&
             platform::GetTickCount() - acceptTick_ >= kLoginTimeoutMs) {
    LogEvent("[" + sessionAddress_ + "] Login timed out");
    EndSession();
  }
}

void TServerSession::ResetForNextCaller() {
  Report(OnTrayHint, kTitle);
  Report(OnStatus, "Listening for connection");
  Audio.SetIdle();
  if (OnSessionMenus) OnSessionMenus(false);
  sessionEnded_ = false;
  sessionStarted_ = false;
}

void TServerSession::ServerWSocketSessionAvailable(std::uint16_t) {
  std::string banner = LoginBannerText(caption_, Now() + UtcOffset());
  TSocket handle = ServerWSocket.Accept();
  if (handle == INVALID_SOCKET) return;  // the caller left before it was taken
  if (CliWSocket.State() == wsConnected || busy_) {
    TurnAway(handle, banner);
    return;
  }
  try {
    CliWSocket.Dup(handle);
  } catch (const std::exception& e) {
    platform::winsock::closesocket(handle);
    LogEvent(std::string("Accepting a caller failed: ") + LogSafe(e.what(), 200));
    return;
  }
  sessionAddress_ = CliWSocket.GetPeerAddr();
  const std::string tag = "[" + sessionAddress_ + "]";
  if (!settings_.AddressAllowed(sessionAddress_)) {
    LogEvent(tag + " Connection refused - address not allowed");
    CliWSocket.Close();
    return;
  }
  Report(OnTrayHint, std::string(kTitle) + "\r\nConnecting: " + sessionAddress_);
  Report(OnStatus, "Connecting: " + sessionAddress_);
  LogEvent(tag + " Connection accepted");
  CliWSocket.ReceiveText();
  CliWSocket.DiscardSendBuffer();

  ++sessionId_;
  acceptTick_ = platform::GetTickCount();
  sessionUser_.clear();
  authenticated_ = false;
  sessionStarted_ = false;
  sessionEnded_ = false;
  commandInProgress_ = false;
  framer_.Reset();
  Relay.ResetSession();
  CwDecoder.SetCwRunLength(0);
  Audio.ResetSession();
  Audio.SetClientConnected(true);

  loginBanner_ = banner;
  SendLine(loginBanner_);
  if (OnSessionMenus) OnSessionMenus(true);
  SerialPort.SetActive(true);
  SerialPort.SetDTRState(false);
  SerialPort.SetRTSState(false);
  if (OnCycleIcons) OnCycleIcons(true);
}

void TServerSession::TurnAway(TSocket handle, const std::string& banner) {
  // A second refusal can arrive during the pauses of the first: it gets a socket of its own.
  std::unique_ptr<TWSocket> extra;
  TWSocket* tmp = &TmpWSocket;
  if (TmpWSocket.State() != wsClosed && TmpWSocket.State() != wsInvalidState) {
    extra = std::make_unique<TWSocket>();
    tmp = extra.get();
  }
  try {
    tmp->Dup(handle);
  } catch (const std::exception& e) {
    platform::winsock::closesocket(handle);
    LogEvent(std::string("Turning a caller away failed: ") + LogSafe(e.what(), 200));
    return;
  }
  std::string address = tmp->GetPeerAddr();
  if (settings_.AddressAllowed(address)) {
    tmp->SendText(banner + "\r\n");
    Delay(200);
    std::string busy = ExpandMacros(settings_.Message("Busy"));
    if (!busy.empty()) tmp->SendText("# " + busy + "\r\n");
    Delay(200);
    LogEvent("[" + address + "] Connection refused - server busy");
  } else {
    LogEvent("[" + address + "] Connection refused - address not allowed");
  }
  tmp->Close();
}

void TServerSession::CliWSocketDataAvailable(std::uint16_t error) {
  if (error != 0) {
    EndSession();
    return;
  }
  std::int32_t n = CliWSocket.RcvdCount();
  if (n <= 0) return;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  std::int32_t r = CliWSocket.Receive(bytes.data(), n);
  if (r <= 0) return;
  ProcessClientData(bytes.data(), r);
}

void TServerSession::ProcessClientData(const char* text, std::int32_t count) {
  if (count <= 0) return;
  if (framer_.Feed(text, static_cast<std::size_t>(count)) == TLineFramer::TResult::Overflow) {
    LogEvent("[" + sessionAddress_ + "] Line longer than " + std::to_string(TLineFramer::kMaxLine) +
             " bytes; connection closed");
    EndSession();
  }
}

bool TServerSession::DispatchLine(const std::string& word, const std::string& value) {
  const std::uint32_t session = sessionId_;
  if (CliWSocket.State() != wsConnected) return false;
  bool goOn = authenticated_ ? SessionCommand(word, value) : Login(word, value);
  return goOn && session == sessionId_ && CliWSocket.State() == wsConnected;
}

bool TServerSession::Login(const std::string& word, const std::string& value) {
  const std::string tag = "[" + sessionAddress_ + "]";
  const std::size_t position = KeywordPosition("AUTHBYE", UpperAscii(word));
  if (position == 1) {
    std::string user, received;
    bool ok = false;
    const bool named = SplitAtFirstSpace(value, user, received);
    if (!named) received = value;
    if (named) {
      sessionUser_ = user;
      const std::string expected = MD5DigestHex(loginBanner_ + settings_.Password(user));
      ok = settings_.UserListed(user) && SameDigest(received, expected);
      if (ok) Relay.SetAccessLevel(settings_.Privilege(user));
    } else if (!value.empty() && settings_.AllowGuests()) {
      ok = true;
      sessionUser_ = "Guest (" + value + ")";
    }
    if (ok) {
      authenticated_ = true;
      LogEvent(tag + " Connection from " + LogSafe(sessionUser_));
      Report(OnTrayHint, std::string(kTitle) + "\r\nConnected: " + sessionUser_);
      Report(OnStatus, "Connected: " + sessionUser_);
      radioLink_.WriteText(K2StartupCommands());
      return true;
    }
    // The expected digest stays out of the log: with the banner's date and time it would let
    // anyone who reads the log try passwords offline.
    LogEvent(tag + " Authentication failed [" + LogSafe(sessionUser_) + "  " + LogSafe(received) +
             "  ]");
    const std::uint32_t session = sessionId_;
    SendLine("# Authentication failed");
    Delay(200);
    if (session == sessionId_) EndSession();
    return false;
  }
  if (position == 5) {
    EndSession();
    return false;
  }
  LogEvent(tag + " Invalid command \"" + LogSafe(word) + "\" on connection");
  EndSession();
  return false;
}

bool TServerSession::LogContact(const std::string& value) {
  if (value.empty()) return true;
  std::string call, record;
  if (!SplitAtFirstSpace(value, call, record)) {
    record = value;
    call.clear();
  }
  for (char& c : record)
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  if (AppendAdif(record)) {
    LogEvent("Contact logged: " + LogSafe(call));
  } else {
    LogEvent("Contact could not be logged: " + LogSafe(call) + " (" + AdifPath() + ")");
    SendMessage("The server could not store the contact with " + call + ".");
  }
  return true;
}

bool TServerSession::SessionCommand(const std::string& word, const std::string& value) {
  const std::uint32_t session = sessionId_;
  switch (KeywordPosition("BYECLOSECATAUDIOLOGNOOPCHAT", UpperAscii(word))) {
    case 1: {  // BYE
      std::string text = ExpandMacros(settings_.Message("Logging Out"));
      if (!text.empty()) {
        SendMessage(text);
        Delay(200);
      }
      if (session == sessionId_) EndSession();
      return false;
    }
    case 4:  // CLOSE
      if (Relay.AccessLevel() < 2) {
        clientLink_.SendText(Relay.AccessDeniedText());
        return true;
      }
      CliWSocket.Close();
      shutdownRequested_ = true;
      sessionEnded_ = true;
      return false;
    case 9:  // CAT
      if (!CatAllowed(value, Relay.AccessLevel())) {
        clientLink_.SendText(Relay.AccessDeniedText());
        return true;
      }
      radioLink_.WriteText(value);
      return true;
    case 12:  // AUDIO, and the AU words
      Audio.AudioCommand(value, Relay.AccessLevel());
      return true;
    case 17:  // LOG
      return LogContact(value);
    case 20:  // NOOP
      return true;
    case 24:  // CHAT
      Report(OnChat, value);
      return true;
    default:
      commandInProgress_ = true;
      Relay.TranslateCommand(word, value, clientLink_);
      if (session == sessionId_) commandInProgress_ = false;
      return true;
  }
}

void TServerSession::SerialPortRxClusterEvent() {
  if (SerialPort.PeekChunkSize() < 0) return;
  if (CliWSocket.State() != wsConnected || !authenticated_) {
    SerialPort.TakeChunkText();  // nobody to tell, or not yet entitled to know
    return;
  }
  if (!sessionStarted_) {
    const std::uint32_t session = sessionId_;
    sessionStarted_ = true;
    std::string welcome = ExpandMacros(settings_.Message("Welcome"));
    if (!welcome.empty()) {
      SendMessage(welcome);
      Delay(200);
      if (session != sessionId_) return;
    }
    SendLine("PRIV " + std::to_string(Relay.AccessLevel()));
    Delay(200);
    if (session != sessionId_) return;
    if (OnSessionStart) OnSessionStart();
  }
  if (SerialPort.PeekChunkSize() < 0) return;
  Relay.ReplyBuffer() += SerialPort.TakeChunkText();
  Relay.ParseK2Replies(clientLink_);
}

void TServerSession::CliWSocketSessionClosed(std::uint16_t) {
  const std::uint32_t session = sessionId_;
  Audio.SessionEnded();
  Relay.ReleaseK2();
  Relay.ClearSessionDuties();
  LogEvent("[" + sessionAddress_ + "] Disconnected");
  if (session == sessionId_) {
    sessionStarted_ = false;
    sessionEnded_ = true;
  }
  if (CwDecoder.CwDecoderEnabled()) CwDecoder.StopCwDecoder();
  if (OnSessionEnd) OnSessionEnd();
  if (OnCycleIcons) OnCycleIcons(false);
  CliWSocket.DiscardSendBuffer();
}

void TServerSession::Disconnect() {
  if (CliWSocket.State() != wsConnected) return;
  if (sessionStarted_) {
    const std::uint32_t session = sessionId_;
    std::string text = ExpandMacros(settings_.Message("Disconnection"));
    if (!text.empty()) {
      SendMessage(text);
      Delay(1000);
    }
    if (session != sessionId_) return;
  }
  EndSession();
}

void TServerSession::SayShuttingDown() {
  if (!sessionStarted_) return;
  std::string text = ExpandMacros(settings_.Message("Shutting Down"));
  if (!text.empty()) {
    SendMessage(text);
    Delay(1000);
  }
}
