#include "server/ServerSession.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>

#include "common/AccessLevel.h"
#include "common/Adif.h"
#include "common/DateTime.h"
#include "common/Utils.h"
#include "platform/Tick.h"
#include "relay/K2Text.h"
#include "server/ServerMessages.h"
#include "sockets/MD5.h"
#include "text/Text.h"

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

std::uint32_t SendStallMs() {
  const char* text = std::getenv("TALVO_SEND_STALL_MS");
  const std::optional<std::int32_t> ms = text ? ParseInt32(text) : std::nullopt;
  return ms && *ms > 0 ? static_cast<std::uint32_t>(*ms) : TServerSession::kSendStallMs;
}

}  // namespace

bool CatAllowed(const std::string& commands, std::int32_t level) {
  if (level >= kAccessFull) return true;
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
    if (cmd.rfind("PC", 0) == 0 && digits(2, 3) && level >= kAccessTxRx) continue;
    if (cmd.rfind("SW", 0) == 0 && digits(2, 2)) {
      const std::int32_t code = ParseInt32(cmd.substr(2)).value_or(0);
      if (code < 1 || code > 32) return false;
      if (level >= SwitchAccess(code)) continue;
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
      }),
      sendWatch_(SendStallMs(), kUnansweredMs, kMaxQueuedBytes),
      timerOwner_(std::make_unique<QObject>()) {
  ServerWSocket.SetAddr("0.0.0.0");
  ServerWSocket.SetProto("tcp");
  ServerWSocket.SetListenBacklog(5);
  ServerWSocket.OnSessionAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    ServerWSocketSessionAvailable(error);
  };
  CliWSocket.SetComponentOptions({wsoNoReceiveLoop});
  WatchLink(CliWSocket);
  Audio.SetSampleClientLink([this] { return SampleLink(CliWSocket); });
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
  SerialPort.OnProcessError = [this](TSerialPort&, std::uint32_t place, std::uint32_t code,
                                     const std::string&) { SerialPortProcessError(place, code); };
  Relay.SetRadio(&radioLink_);
  Relay.OnStartCwDecoder = [this](TK2Relay&) { CwDecoder.StartCwDecoder(); };
  Relay.OnStopCwDecoder = [this](TK2Relay&) { CwDecoder.StopCwDecoder(); };
  busy_ = settings_.K2Busy();
}

TServerSession::~TServerSession() {
  // An owner that did not end the program in order still leaves the radio released.
  ClearOwnerEvents();
  OnSessionStart = {};
  OnSessionEnd = {};
  OnTick = {};
  Shutdown();
  timerOwner_.reset();  // no pause ends in a half-destroyed session
  // The sockets' and the port's events must not reach a half-destroyed session.
  ServerWSocket.OnSessionAvailable = nullptr;
  CliWSocket.OnDataAvailable = nullptr;
  CliWSocket.OnSessionClosed = nullptr;
  SerialPort.OnRxClusterEvent = nullptr;
  SerialPort.OnProcessError = nullptr;
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

bool TServerSession::SameSession(std::uint32_t session) const {
  return session == sessionId_ && CliWSocket.State() == wsConnected;
}

void TServerSession::EndSessionAfter(std::uint32_t ms) {
  // The caller's further input is refused by the framer meanwhile.
  const std::uint32_t session = sessionId_;
  After(ms, [this, session] {
    if (SameSession(session)) EndSession();
  });
}

bool TServerSession::EndStalledSession() {
  if (CliWSocket.State() != wsConnected || sessionEnded_) return false;
  const std::string tag = "[" + sessionAddress_ + "] ";
  switch (sendWatch_.Sample(platform::GetTickCount(), CliWSocket.SendBacklog())) {
    case TSendWatch::TVerdict::Flowing:
      return false;
    case TSendWatch::TVerdict::Stalled:
      LogEvent(tag + "The client has taken nothing for " +
               std::to_string(sendWatch_.StallMs() / 1000) + " s; connection closed");
      break;
    case TSendWatch::TVerdict::Unanswered:
      LogEvent(tag + "No answer from the client for " +
               std::to_string(sendWatch_.UnansweredMs() / 1000) + " s; connection closed");
      break;
    case TSendWatch::TVerdict::Overfull:
      LogEvent(tag + "Over " + std::to_string(sendWatch_.MaxQueued() / 1024) +
               " KiB wait for the client; connection closed");
      break;
  }
  EndSession();
  return true;
}

std::string TServerSession::CloseReason(std::uint16_t error) const {
  if (LinkGivenUp(error))
    return "No answer from the client for " + std::to_string(kLinkTimeoutMs / 1000) +
           " s; connection closed";
  return {};
}

void TServerSession::TimerTimer() {
  if (sessionEnded_) ResetForNextCaller();
  if (shutdownRequested_) {
    if (OnCloseRequested) OnCloseRequested();
    return;
  }
  if (EndStalledSession()) return;
  if (sessionStarted_) {
    if (CliWSocket.State() == wsConnected) {
      if (CwDecoder.CwDecoderRunning()) CwDecoder.ForwardDecodedText();
      if (!commandInProgress_) Relay.PollK2();
      if (OnTick) OnTick();
    } else {
      CliWSocket.Close();
      sessionEnded_ = true;
    }
  } else if (CliWSocket.State() == wsConnected && !authenticated_ && !sessionEnded_ &&
             platform::GetTickCount() - acceptTick_ >= kLoginTimeoutMs) {
    LogEvent("[" + sessionAddress_ + "] Login timed out");
    NoteFailedLogin(sessionAddress_);
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

bool TServerSession::AdoptCaller(TSocket handle) {
  try {
    CliWSocket.Dup(handle);
  } catch (const std::exception& e) {
    platform::winsock::closesocket(handle);
    LogEvent(std::string("Accepting a caller failed: ") + LogSafe(e.what(), 200));
    return false;
  }
  try {
    // Dup applies no keep-alive; without it a link that dies without a word holds the radio.
    CliWSocket.ApplyKeepAlive();
  } catch (const std::exception& e) {
    LogEvent(std::string("Watching the caller's link failed: ") + LogSafe(e.what(), 200));
  }
  return true;
}

void TServerSession::ServerWSocketSessionAvailable(std::uint16_t) {
  std::string banner = LoginBannerText(caption_, Now() + UtcOffset());
  TSocket handle = ServerWSocket.Accept();
  if (handle == INVALID_SOCKET) return;  // the caller left before it was taken
  if (CliWSocket.State() == wsConnected || busy_) {
    TurnAway(handle, banner, true);
    return;
  }
  platform::winsock::SockAddrIn peer{};
  if (platform::winsock::getpeername(handle, &peer) == 0 &&
      BackedOff(platform::winsock::inet_ntoa(peer.addr))) {
    TurnAway(handle, banner, false);  // logged once when the back-off began
    return;
  }
  if (!AdoptCaller(handle)) return;
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
  sendWatch_.Reset(acceptTick_);
  contactAllowance_ = kContactBurst;
  contactClock_ = acceptTick_;
  contactsRefused_ = false;
  sessionStarting_ = false;
  Relay.ResetSession();
  CwDecoder.SetCwRunLength(0);
  Audio.ResetSession();
  Audio.SetClientAddress(sessionAddress_);
  Audio.SetClientConnected(true);

  loginBanner_ = banner;
  SendLine(loginBanner_);
  if (OnSessionMenus) OnSessionMenus(true);
  SerialPort.SetActive(true);
  SerialPort.SetDTRState(false);
  SerialPort.SetRTSState(false);
  if (OnCycleIcons) OnCycleIcons(true);
}

void TServerSession::After(std::uint32_t ms, std::function<void()> step) {
  QTimer::singleShot(static_cast<int>(ms), timerOwner_.get(), [step = std::move(step)] {
    try {
      step();
    } catch (const std::exception&) {
      // A socket that failed on the way out has nothing more to be told.
    }
  });
}

void TServerSession::TurnAway(TSocket handle, const std::string& banner, bool logIt) {
  // Each refused caller has a socket of its own for its pauses; a flood past the limit is cut
  // at once.
  if (turnedAway_.size() >= kMaxTurnedAway) {
    platform::winsock::closesocket(handle);
    return;
  }
  auto socket = std::make_shared<TWSocket>();
  try {
    socket->Dup(handle);
  } catch (const std::exception& e) {
    platform::winsock::closesocket(handle);
    LogEvent(std::string("Turning a caller away failed: ") + LogSafe(e.what(), 200));
    return;
  }
  std::string address = socket->GetPeerAddr();
  if (!settings_.AddressAllowed(address)) {
    LogEvent("[" + address + "] Connection refused - address not allowed");
    socket->Close();
    return;
  }
  turnedAway_.insert(socket);
  socket->SendText(banner + "\r\n");
  After(kPauseMs, [this, socket, address, logIt] {
    std::string busy = ExpandMacros(settings_.Message("Busy"));
    if (!busy.empty()) socket->SendText("# " + busy + "\r\n");
    After(kPauseMs, [this, socket, address, logIt] {
      if (logIt) LogEvent("[" + address + "] Connection refused - server busy");
      turnedAway_.erase(socket);
      socket->Close();
    });
  });
}

void TServerSession::CliWSocketDataAvailable(std::uint16_t error) {
  if (error != 0) {
    EndSession();
    return;
  }
  // One read event takes a bounded share; the rest waits for the next event, so that the other
  // sockets, the timer and the radio are served in between.
  // The framer copies what it is fed before it dispatches, so one buffer serves every read.
  std::int32_t n = std::min(CliWSocket.RcvdCount(), kMaxReadBytes);
  if (n <= 0) return;
  readBuffer_.resize(kMaxReadBytes);
  std::int32_t r = CliWSocket.Receive(readBuffer_.data(), n);
  if (r <= 0) return;
  ProcessClientData(readBuffer_.data(), r);
}

void TServerSession::ProcessClientData(const char* text, std::int32_t count) {
  if (count <= 0) return;
  if (framer_.Feed(text, static_cast<std::size_t>(count)) == TLineFramer::TResult::Overflow) {
    LogEvent("[" + sessionAddress_ + "] Too much input at once (over " +
             std::to_string(TLineFramer::kMaxLine) + " bytes); connection closed");
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
      backOff_.erase(sessionAddress_);
      LogEvent(tag + " Connection from " + LogSafe(sessionUser_));
      Report(OnTrayHint, std::string(kTitle) + "\r\nConnected: " + sessionUser_);
      Report(OnStatus, "Connected: " + sessionUser_);
      radioLink_.WriteText(K2StartupCommands());
      WatchRadioAnswer();
      return true;
    }
    // Both digest fields stay empty: with the banner's date and time either digest would let
    // anyone who reads the log try passwords offline, and a caller who typed the password where
    // the digest goes would find it in the log.
    LogEvent(tag + " Authentication failed [" + LogSafe(sessionUser_) + "    ]");
    SendLine("# Authentication failed");
    NoteFailedLogin(sessionAddress_);
    EndSessionAfter(kPauseMs);
    return false;
  }
  if (position == 5) {
    EndSession();
    return false;
  }
  LogEvent(tag + " Invalid command \"" + LogSafe(word) + "\" on connection");
  NoteFailedLogin(sessionAddress_);
  EndSession();
  return false;
}

void TServerSession::WatchRadioAnswer() {
  const std::uint32_t session = sessionId_;
  After(kRadioAnswerMs, [this, session] {
    if (!SameSession(session) || sessionStarted_ || !authenticated_) return;
    LogEvent("[" + sessionAddress_ + "] The radio does not answer; session started without it");
    StartSession(true);
  });
}


bool TServerSession::BackedOff(const std::string& address) const {
  auto it = backOff_.find(address);
  return it != backOff_.end() && platform::TicksBetween(platform::GetTickCount(), it->second.until) > 0;
}

void TServerSession::NoteFailedLogin(const std::string& address) {
  const std::uint32_t now = platform::GetTickCount();
  if (backOff_.size() >= kMaxBackOffAddresses) {
    // Addresses quiet for longer than the longest back-off are forgotten first.
    std::erase_if(backOff_, [now](const auto& entry) {
      return platform::TicksBetween(entry.second.until + kBackOffMaxMs, now) > 0;
    });
    if (backOff_.size() >= kMaxBackOffAddresses) backOff_.erase(backOff_.begin());
  }
  TBackOff& b = backOff_[address];
  b.delayMs = b.delayMs == 0 ? kBackOffFirstMs : std::min(b.delayMs * 2, kBackOffMaxMs);
  b.until = now + b.delayMs;
  LogEvent("[" + address + "] Connections refused for " + std::to_string(b.delayMs / 1000) +
           " s after a failed login");
}

bool TServerSession::TakeContactAllowance() {
  const std::uint32_t now = platform::GetTickCount();
  const std::uint32_t seconds = (now - contactClock_) / 1000;
  contactAllowance_ = std::min<std::uint32_t>(kContactBurst, contactAllowance_ + seconds);
  contactClock_ = contactAllowance_ == kContactBurst ? now : contactClock_ + seconds * 1000;
  if (contactAllowance_ == 0) return false;
  --contactAllowance_;
  return true;
}

bool TServerSession::LogContact(const std::string& value) {
  if (value.empty()) return true;
  if (value.size() > kMaxContactBytes) {
    SendMessage("The contact record is longer than " + std::to_string(kMaxContactBytes) +
                " bytes; it was not logged.");
    return true;
  }
  if (!TakeContactAllowance()) {
    if (!contactsRefused_)
      LogEvent("[" + sessionAddress_ + "] Contacts refused: more than " +
               std::to_string(kContactBurst) + " at once, then one a second");
    contactsRefused_ = true;
    SendMessage("Too many contacts at once; this one was not logged. Please send it again.");
    return true;
  }
  contactsRefused_ = false;
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
      if (text.empty()) {
        EndSession();
      } else {
        SendMessage(text);
        EndSessionAfter(kPauseMs);
      }
      return false;
    }
    case 4:  // CLOSE
      if (Relay.AccessLevel() < kAccessFull) {
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
  Relay.ReplyBuffer() += SerialPort.TakeChunkText();
  if (!sessionStarted_) {
    StartSession(false);
  } else if (!sessionStarting_) {
    Relay.ParseK2Replies(clientLink_);
  }
  // What is left is a reply not yet ended by ";": a radio that never ends one is not held.
  if (Relay.ReplyBuffer().size() > kMaxReplyBytes) Relay.ReplyBuffer().clear();
}

void TServerSession::SerialPortProcessError(std::uint32_t place, std::uint32_t code) {
  // A hang-up or an I/O error of the wait, the read or the queues: the device went away (a USB
  // adapter unplugged). Other reports (a failed open, a write time-out) leave the port alone.
  static constexpr std::uint32_t kGonePlaces[] = {9911, 9804, 9803, 9702, 903};
  const bool gonePlace =
      std::find(std::begin(kGonePlaces), std::end(kGonePlaces), place) != std::end(kGonePlaces);
  const bool goneCode = code == EIO || code == ENXIO || code == ENODEV;
  if (radioGone_ || !gonePlace || !goneCode || !SerialPort.Active()) return;
  radioGone_ = true;
  LogEvent("The radio's port " + SerialPort.CommPort() + " is gone (" + std::strerror(code) +
           "); trying to open it again every " + std::to_string(kRadioRetryMs / 1000) + " s");
  if (CliWSocket.State() == wsConnected && authenticated_)
    SendMessage("The radio's port was lost. The server tries to open it again every " +
                std::to_string(kRadioRetryMs / 1000) + " seconds.");
  // Not closed from inside the port's own report.
  After(0, [this] { SerialPort.SetActive(false); });
  After(kRadioRetryMs, [this] { ReopenRadio(); });
}

void TServerSession::ReopenRadio() {
  if (!radioGone_) return;
  SerialPort.SetActive(true);
  if (!SerialPort.Active()) {
    After(kRadioRetryMs, [this] { ReopenRadio(); });
    return;
  }
  radioGone_ = false;
  LogEvent("The radio's port " + SerialPort.CommPort() + " is back");
  Relay.ReplyBuffer().clear();
  if (CliWSocket.State() == wsConnected && authenticated_) {
    SendMessage("The radio's port is back.");
    radioLink_.WriteText(K2StartupCommands());
  }
}

void TServerSession::StartSession(bool radioSilent) {
  // The welcome, a pause, PRIV, a pause; the radio's replies meanwhile wait in the buffer.
  const std::uint32_t session = sessionId_;
  sessionStarted_ = true;
  sessionStarting_ = true;
  std::string welcome = ExpandMacros(settings_.Message("Welcome"));
  auto sendPriv = [this, session, radioSilent] {
    if (!SameSession(session)) return;
    SendLine("PRIV " + std::to_string(Relay.AccessLevel()));
    After(kPauseMs, [this, session, radioSilent] {
      if (!SameSession(session)) return;
      sessionStarting_ = false;
      if (radioSilent) SendMessage(kRadioSilentText);
      if (OnSessionStart) OnSessionStart();
      Relay.ParseK2Replies(clientLink_);
    });
  };
  if (welcome.empty()) {
    sendPriv();
  } else {
    SendMessage(welcome);
    After(kPauseMs, sendPriv);
  }
}

void TServerSession::CliWSocketSessionClosed(std::uint16_t error) {
  const std::uint32_t session = sessionId_;
  const std::string reason = CloseReason(error);
  if (!reason.empty()) LogEvent("[" + sessionAddress_ + "] " + reason);
  Audio.SessionEnded();
  // Only a logged-in caller may have changed the radio: a caller who never logged in must not
  // cut the operator's transmission or keyer text at the radio.
  if (authenticated_) {
    authenticated_ = false;
    Relay.ReleaseK2();
    Relay.ClearSessionDuties();
  }
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

void TServerSession::Shutdown() {
  if (CliWSocket.State() == wsConnected) EndSession();
  // Closing the port lets the release go out first, within the port's write time.
  SerialPort.SetActive(false);
}

void TServerSession::SayShuttingDown() {
  if (!sessionStarted_) return;
  std::string text = ExpandMacros(settings_.Message("Shutting Down"));
  if (!text.empty()) {
    SendMessage(text);
    Delay(1000);
  }
}
