#include "sockets/SocksWSocket.h"

#include <algorithm>
#include <cstring>

#include "text/Text.h"

namespace ws = platform::winsock;

namespace {

// What one field of a request can hold: its length goes into one byte (version 5), and the
// proxies of versions 4 and 4A keep their names within the same bound.
constexpr std::size_t kMaxField = 255;

void AppendPort(std::string& request, std::uint16_t port) {
  request += static_cast<char>(port >> 8);
  request += static_cast<char>(port & 0xFF);
}

std::string Hex4(unsigned value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  bool started = false;
  for (int shift = 12; shift >= 0; shift -= 4) {
    unsigned d = (value >> shift) & 0xF;
    if (d != 0 || started || shift == 0) {
      s += kDigits[d];
      started = true;
    }
  }
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Properties

void TCustomSocksWSocket::SetSocksServer(const std::string& value) {
  std::string v = Trim(value);
  if (state_ != wsClosed) {
    if (v == socksServer_) return;
    RaiseException("Can't change socks server if not closed");
    return;
  }
  socksServer_ = v;
  serverAssigned_ = !v.empty();
}

void TCustomSocksWSocket::SetSocksPort(const std::string& value) {
  std::string v = Trim(value);
  if (state_ != wsClosed) {
    if (v == socksPort_) return;
    RaiseException("Can't change socks port if not closed");
    return;
  }
  socksPort_ = v;
  portAssigned_ = !v.empty();
}

void TCustomSocksWSocket::SetSocksLevel(const std::string& value) {
  std::string v = UpperAscii(Trim(value));
  if (state_ != wsClosed) {
    if (v == socksLevel_) return;
    RaiseException("Can't change socks level if not closed");
    return;
  }
  if (v != "4" && v != "4A" && v != "5") {
    RaiseException("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  socksLevel_ = v;
}

void TCustomSocksWSocket::SetDefaults() {
  TCustomWSocket::SetDefaults();
  socksState_ = socksData;
  socksServer_.clear();
  socksPort_.clear();
  serverAssigned_ = false;
  portAssigned_ = false;
  socksLevel_ = "5";
  replyCnt_ = 0;
  leftover_.clear();
  leftoverPos_ = 0;
}

// ---------------------------------------------------------------------------------------------
// Opening

void TCustomSocksWSocket::Connect() {
  if (!serverAssigned_) {
    TCustomWSocket::Connect();
    return;
  }
  // A socket in use, or one without a target, is refused by the core with its own words.
  if (HSocket() != INVALID_SOCKET && state_ != wsClosed) {
    TCustomWSocket::Connect();
    return;
  }
  if (LowerAscii(Proto()) != "tcp" && Trim(Proto()) != "6") {
    RaiseException("tcp is the only protocol supported thru socks server");
    return;
  }
  if (Addr().empty() || Port().empty()) {
    TCustomWSocket::Connect();
    return;
  }
  try {
    std::uint16_t proxyPort = WSocketResolvePort(socksPort_, Proto());
    std::uint32_t proxyAddr = WSocketResolveHost(socksServer_);
    targetPort_ = WSocketResolvePort(Port(), Proto());
    SetConnectTarget(proxyAddr, wsock::Htons(proxyPort));
  } catch (const std::exception& e) {
    RaiseException(std::string("connect: ") + e.what());
    return;
  }
  socksState_ = socksNegotiateMethods;
  replyCnt_ = 0;
  leftover_.clear();
  leftoverPos_ = 0;
  boundAddr_.clear();
  boundPort_.clear();
  // When the connect does not start, the next one must not find the proxy's address taken for
  // the target's.
  auto undo = [this] {
    if (HSocket() == INVALID_SOCKET) {
      socksState_ = socksData;
      ClearConnectTarget();
    }
  };
  try {
    TCustomWSocket::Connect();
  } catch (...) {
    undo();
    throw;
  }
  undo();
}

void TCustomSocksWSocket::Listen() {
  if (serverAssigned_) {
    RaiseException("Listening is not supported thru socks server");
    return;
  }
  TCustomWSocket::Listen();
}

void TCustomSocksWSocket::HandleConnectEvent(std::uint16_t error) {
  if (socksState_ != socksNegotiateMethods || error != 0) {
    TCustomWSocket::HandleConnectEvent(error);
    return;
  }
  if (state_ == wsConnected || state_ == wsSocksConnected) return;
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  // Connected to the proxy, not yet to the target.
  ChangeState(wsSocksConnected);
  if (alive.expired() || hSocket_ != handle) return;
  TriggerSessionConnectedSpecial(0);
}

void TCustomSocksWSocket::HandleReadEvent(std::uint16_t error) {
  if (socksState_ == socksData) {
    TCustomWSocket::HandleReadEvent(error);
    return;
  }
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  if (state_ == wsConnecting) {
    HandleConnectEvent(error);
    if (alive.expired() || hSocket_ != handle || socksState_ == socksData) return;
  }
  ReceiveLoop(error, ComponentOptions());
}

// ---------------------------------------------------------------------------------------------
// Events

void TCustomSocksWSocket::TriggerSocksConnected(std::uint16_t error) {
  if (OnSocksConnected) OnSocksConnected(this, error);
}

void TCustomSocksWSocket::TriggerSocksError(int error, const std::string& msg) {
  if (OnSocksError) OnSocksError(this, error, msg);
}

void TCustomSocksWSocket::TriggerSocksAuthState(TSocksAuthState state) {
  if (OnSocksAuthState) OnSocksAuthState(this, state);
}

void TCustomSocksWSocket::TriggerDataSent(std::uint16_t error) {
  if (socksState_ != socksData) return;
  TCustomWSocket::TriggerDataSent(error);
}

void TCustomSocksWSocket::TriggerSendData(std::int32_t bytesSent) {
  if (socksState_ != socksData) return;
  TCustomWSocket::TriggerSendData(bytesSent);
}

void TCustomSocksWSocket::TriggerSessionConnectedSpecial(std::uint16_t error) {
  if (socksState_ != socksNegotiateMethods) {
    TCustomWSocket::TriggerSessionConnectedSpecial(error);
    return;
  }
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  TriggerSocksConnected(error);
  if (alive.expired() || hSocket_ != handle) return;
  if (error != 0) {
    TCustomWSocket::TriggerSessionConnectedSpecial(error);
    return;
  }
  if (Version4()) {
    SendConnectRequest();
  } else {
    SendMethodOffer();
  }
}

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t error) {
  if (socksState_ == socksAuthenticate) {
    std::weak_ptr<char> alive = AliveToken();
    socksState_ = socksData;
    TriggerSocksAuthState(socksAuthFailure);
    if (alive.expired()) return;
  }
  TCustomWSocket::TriggerSessionClosed(error);
}

bool TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (socksState_ == socksData) return TCustomWSocket::TriggerDataAvailable(error);
  if (error != 0) {
    SocksFailure(error, "data receive error");
    return true;
  }
  switch (socksState_) {
    case socksNegotiateMethods:
      MethodReply();
      break;
    case socksAuthenticate:
      AuthenticationReply();
      break;
    case socksConnect:
      if (Version4()) {
        Version4Reply();
      } else {
        Version5Reply();
      }
      break;
    default:
      SocksFailure(socksInternalError, "internal error");
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Receiving

std::int32_t TCustomSocksWSocket::RcvdCount() {
  if (LeftoverCount() > 0) return LeftoverCount();
  return TCustomWSocket::RcvdCount();
}

std::int32_t TCustomSocksWSocket::DoRecv(void* buffer, std::int32_t length, int flags) {
  if (LeftoverCount() <= 0) return TCustomWSocket::DoRecv(buffer, length, flags);
  std::int32_t n = std::min(std::max(length, 0), LeftoverCount());
  if (n == 0) return 0;
  std::memcpy(buffer, leftover_.data() + leftoverPos_, static_cast<std::size_t>(n));
  if ((flags & ws::kMsgPeek) == 0) {
    leftoverPos_ += static_cast<std::size_t>(n);
    rcvdProgress_ += static_cast<std::uint64_t>(n);
    if (leftoverPos_ >= leftover_.size()) {
      leftover_.clear();
      leftoverPos_ = 0;
    }
  }
  return n;
}

void TCustomSocksWSocket::ReadReply(std::int32_t limit) {
  limit = std::min(limit, kReplySize);
  if (replyCnt_ >= limit) return;
  // The raw receive: nothing of a reply belongs to the line layer or to the leftover bytes.
  std::int32_t n = TCustomWSocket::DoRecv(reply_ + replyCnt_, limit - replyCnt_, 0);
  if (n > 0) replyCnt_ += n;
}

// ---------------------------------------------------------------------------------------------
// Requests

void TCustomSocksWSocket::SendRequest(const std::string& request) {
  try {
    TCustomWSocket::Send(request.data(), static_cast<std::int32_t>(request.size()));
  } catch (...) {
    // A connection that broke meanwhile is reported by its close.
  }
}

void TCustomSocksWSocket::SendMethodOffer() {
  authMethod_ = socksAuthentication_ == socksAuthenticateUsercode ? 2 : 0;
  std::string request;
  request += '\x05';
  request += '\x01';
  request += static_cast<char>(authMethod_);
  replyCnt_ = 0;
  SendRequest(request);
}

void TCustomSocksWSocket::SendAuthentication() {
  if (socksUsercode_.size() > kMaxField) {
    SocksFailure(socksValueTooLong, "socks user code longer than 255 bytes");
    return;
  }
  if (socksPassword_.size() > kMaxField) {
    SocksFailure(socksValueTooLong, "socks password longer than 255 bytes");
    return;
  }
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  socksState_ = socksAuthenticate;
  replyCnt_ = 0;
  TriggerSocksAuthState(socksAuthStart);
  if (alive.expired() || hSocket_ != handle) return;
  std::string request;
  request += '\x01';
  request += static_cast<char>(socksUsercode_.size());
  request += socksUsercode_;
  request += static_cast<char>(socksPassword_.size());
  request += socksPassword_;
  SendRequest(request);
}

void TCustomSocksWSocket::SendConnectRequest() {
  std::string request;
  if (Version4()) {
    bool named = socksLevel_ == "4A";
    if (socksUsercode_.size() > kMaxField) {
      SocksFailure(socksValueTooLong, "socks user code longer than 255 bytes");
      return;
    }
    if (named && Addr().size() > kMaxField) {
      SocksFailure(socksValueTooLong, "socks target name longer than 255 bytes");
      return;
    }
    std::uint32_t addr = 0;  // network order
    if (named) {
      addr = wsock::InetAddr("0.0.0.1");
    } else {
      try {
        addr = WSocketResolveHost(Addr());
      } catch (const std::exception& e) {
        std::string kind =
            dynamic_cast<const ESocketException*>(&e) != nullptr ? "ESocketException" : "Exception";
        std::weak_ptr<char> alive = AliveToken();
        TSocket handle = hSocket_;
        socksState_ = socksData;
        TriggerSocksError(socksHostResolutionFailed, kind + " " + e.what());
        if (alive.expired() || hSocket_ != handle) return;
        InternalClose(true, socksHostResolutionFailed);
        return;
      }
    }
    request += '\x04';
    request += '\x01';
    AppendPort(request, targetPort_);
    request.append(reinterpret_cast<const char*>(&addr), 4);
    request += socksUsercode_;
    request += '\0';
    if (named) {
      request += Addr();
      request += '\0';
    }
  } else {
    if (Addr().size() > kMaxField) {
      SocksFailure(socksValueTooLong, "socks target name longer than 255 bytes");
      return;
    }
    // The target always goes as a name, a dotted address too: the proxy resolves it.
    request += '\x05';
    request += '\x01';
    request += '\x00';
    request += '\x03';
    request += static_cast<char>(Addr().size());
    request += Addr();
    AppendPort(request, targetPort_);
  }
  socksState_ = socksConnect;
  replyCnt_ = 0;
  SendRequest(request);
}

// ---------------------------------------------------------------------------------------------
// Replies

void TCustomSocksWSocket::MethodReply() {
  if (Version4()) {
    SocksFailure(socksLogicError, "TWSocket logic error");
    return;
  }
  ReadReply(kReplySize);
  if (replyCnt_ < 2) return;
  unsigned version = reply_[0];
  unsigned method = reply_[1];
  replyCnt_ = 0;
  if (version != 5) {
    SocksFailure(socksVersionError, "socks version error");
    return;
  }
  if (method == 0) {
    if (authMethod_ == 2) {
      std::weak_ptr<char> alive = AliveToken();
      TSocket handle = hSocket_;
      TriggerSocksAuthState(socksAuthNotRequired);
      if (alive.expired() || hSocket_ != handle) return;
    }
    SendConnectRequest();
  } else if (method == 2) {
    SendAuthentication();
  } else {
    SocksFailure(socksAuthMethodError, "authentification method not acceptable");
  }
}

void TCustomSocksWSocket::AuthenticationReply() {
  ReadReply(kReplySize);
  if (replyCnt_ >= 1 && reply_[0] != 1) {
    SocksFailure(socksVersionError, "socks version error");
    return;
  }
  if (replyCnt_ > 2) {
    SocksFailure(socksLogicError, "too much data availaible");
    return;
  }
  if (replyCnt_ < 2) return;
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  if (reply_[1] != 0) {
    // Refused: the authentication has failed, and the close that follows must not say it again.
    socksState_ = socksConnect;
    TriggerSocksAuthState(socksAuthFailure);
    if (alive.expired() || hSocket_ != handle) return;
    SocksFailure(socksAuthError, "socks authentication failed");
    return;
  }
  replyCnt_ = 0;
  TriggerSocksAuthState(socksAuthSuccess);
  if (alive.expired() || hSocket_ != handle) return;
  SendConnectRequest();
}

void TCustomSocksWSocket::Version4Reply() {
  // Only the reply itself: what follows stays with the socket for the application.
  ReadReply(8);
  if (replyCnt_ < 8) return;
  replyCnt_ = 0;
  if (reply_[0] != 0) {
    SocksFailure(socksVersionError, "socks version error");
    return;
  }
  unsigned status = reply_[1];
  switch (status) {
    case 90:
      Granted();
      break;
    case 91:
      SocksFailure(socksRejectedOrFailed, "request rejected or failed");
      break;
    case 92:
      SocksFailure(socksConnectionRefused, "connection refused");
      break;
    case 93:
      SocksFailure(socksAuthError, "authentification failed");
      break;
    default:
      SocksFailure(socksUnassignedError, "unassigned error #" + std::to_string(status));
  }
}

void TCustomSocksWSocket::Version5Reply() {
  ReadReply(kReplySize);
  if (replyCnt_ < 1) return;
  if (reply_[0] != 5) {
    SocksFailure(socksVersionError, "socks version error");
    return;
  }
  if (replyCnt_ < 2) return;
  unsigned status = reply_[1];
  if (status != 0) {
    static const struct {
      int code;
      const char* text;
    } kStatus[] = {{socksGeneralFailure, "general SOCKS server failure"},
                   {socksConnectionNotAllowed, "connection not allowed by ruleset"},
                   {socksNetworkUnreachable, "network unreachable"},
                   {socksHostUnreachable, "host unreachable"},
                   {socksConnectionRefused, "connection refused"},
                   {socksTtlExpired, "time to live expired"},
                   {socksUnknownCommand, "command not supported"},
                   {socksUnknownAddressType, "address type not supported"}};
    if (status <= 8) {
      SocksFailure(kStatus[status - 1].code, kStatus[status - 1].text);
    } else {
      SocksFailure(socksUnassignedError, "unassigned error #" + std::to_string(status));
    }
    return;
  }
  if (replyCnt_ <= 4) return;
  std::int32_t length;
  switch (reply_[3]) {
    case 1:
      length = 10;
      break;
    case 3:
      length = reply_[4] + 7;
      break;
    case 4:  // a proxy that reached the target over IPv6
      length = 22;
      break;
    default:
      SocksFailure(socksUnknownAddressType, "address type not supported");
      return;
  }
  if (replyCnt_ < length) return;
  const unsigned char* addr = reply_ + 4;
  boundAddr_.clear();
  if (reply_[3] == 1) {
    for (int i = 0; i < 4; ++i) {
      if (i > 0) boundAddr_ += '.';
      boundAddr_ += std::to_string(addr[i]);
    }
  } else if (reply_[3] == 3) {
    boundAddr_.assign(reinterpret_cast<const char*>(addr + 1), addr[0]);
  } else {
    for (int i = 0; i < 8; ++i) {
      if (i > 0) boundAddr_ += ':';
      boundAddr_ += Hex4(static_cast<unsigned>(addr[2 * i] << 8 | addr[2 * i + 1]));
    }
  }
  boundPort_ = std::to_string(reply_[length - 2] << 8 | reply_[length - 1]);
  leftover_.assign(reinterpret_cast<const char*>(reply_) + length,
                   static_cast<std::size_t>(replyCnt_ - length));
  leftoverPos_ = 0;
  replyCnt_ = 0;
  Granted();
}

void TCustomSocksWSocket::Granted() {
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  socksState_ = socksData;
  ChangeState(wsConnected);
  if (alive.expired() || hSocket_ != handle) return;
  TriggerSessionConnectedSpecial(0);
  if (alive.expired() || hSocket_ != handle) return;
  // The application's first bytes came with the reply: they go out now, not at the next read.
  for (;;) {
    std::int32_t before = LeftoverCount();
    TriggerDataAvailable(0);
    if (alive.expired() || hSocket_ != handle) return;
    std::int32_t after = LeftoverCount();
    if (after == 0 || after == before) break;
  }
}

void TCustomSocksWSocket::SocksFailure(int code, const std::string& text) {
  std::weak_ptr<char> alive = AliveToken();
  TSocket handle = hSocket_;
  TriggerSocksError(code, text);
  if (alive.expired() || hSocket_ != handle) return;
  socksState_ = socksData;
  auto error = static_cast<std::uint16_t>(code);
  TriggerSessionConnectedSpecial(error);
  if (alive.expired() || hSocket_ != handle) return;
  InternalClose(true, error);
}
