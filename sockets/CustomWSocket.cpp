#include "sockets/CustomWSocket.h"

#include <cstdio>

#include "common/Text.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"

namespace ws = platform::winsock;

namespace {

bool IsConnectionLoss(int code) {
  return code == ws::WSAECONNABORTED || code == ws::WSAECONNRESET || code == ws::WSAENOTCONN;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction and destruction

TCustomWSocket::TCustomWSocket() {
  AllocateHiddenWindow();
  bufSize_ = 1460;
  multiCastIpTTL_ = 1;
  listenBacklog_ = 5;
  TCustomWSocket::SetDefaults();
  keepAliveOnOff_ = wsKeepAliveOnSystem;
  keepAliveTime_ = 30000;
  keepAliveInterval_ = 1000;
  WSocketIncrementCount();
}

TCustomWSocket::~TCustomWSocket() {
  DestroySocket();
}

void TCustomWSocket::DestroySocket() {
  if (destroyed_) return;
  destroyed_ = true;
  BeginDestroy();
  try {
    CancelHostLookup();
  } catch (...) {
  }
  if (state_ != wsClosed) {
    try {
      Close();
    } catch (...) {
    }
  }
  if (hSocket_ != INVALID_SOCKET) {
    wsock::CloseSocket(hSocket_);
    hSocket_ = INVALID_SOCKET;
  }
  DiscardSendBuffer();
  DeallocateHiddenWindow();
  WSocketDecrementCount();
}

void TCustomWSocket::AllocateHiddenWindow() {
  threadId_ = std::this_thread::get_id();
  std::weak_ptr<char> alive = alive_;
  window_ = std::make_unique<platform::MessageWindow>(
      [this, alive](unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam) {
        return Dispatch(this, alive, msg, wParam, lParam);
      });
}

void TCustomWSocket::DeallocateHiddenWindow() {
  window_.reset();
}

platform::LRESULT TCustomWSocket::Dispatch(TCustomWSocket* self, const std::weak_ptr<char>& alive,
                                           unsigned msg, platform::WPARAM wParam,
                                           platform::LPARAM lParam) {
  if (alive.expired()) return 0;
  try {
    return self->WndProc(msg, wParam, lParam);
  } catch (const std::exception& e) {
    if (!alive.expired()) self->HandleBackgroundException(e);
  } catch (...) {
    platform::Application::ShowException("Unknown exception in a socket event");
  }
  return 0;
}

platform::LRESULT TCustomWSocket::WndProc(unsigned msg, platform::WPARAM wParam,
                                          platform::LPARAM lParam) {
  switch (msg) {
    case WM_ASYNCSELECT:
      WMAsyncSelect(wParam, lParam);
      break;
    case WM_ASYNCGETHOSTBYNAME:
      WMAsyncGetHostByName(wParam, lParam);
      break;
    case WM_ASYNCGETHOSTBYADDR:
      WMAsyncGetHostByAddr(wParam, lParam);
      break;
    case WM_CLOSE_DELAYED:
      Close();
      break;
    case WM_WSOCKET_RELEASE:
      delete this;
      break;
    case WM_TRIGGER_EXCEPTION:
      throw ESocketException("Test exception in WSocket");
  }
  return 0;
}

void TCustomWSocket::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == logger_) logger_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Properties

void TCustomWSocket::SetDefaults() {
  sin_ = TSockAddrIn{};
  sin_.family = ws::kAfInet;
  portAssigned_ = false;
  addrAssigned_ = false;
  addrResolved_ = portResolved_ = protoResolved_ = localPortResolved_ = false;
  protoStr_ = "tcp";
  protoAssigned_ = true;
  proto_ = ws::kIpProtoTcp;
  sockType_ = ws::kSockStream;
  localPortStr_ = "0";
  localAddr_ = "0.0.0.0";
  lingerOnOff_ = wsLingerOn;
  lingerTimeout_ = 0;
  hSocket_ = INVALID_SOCKET;
  selectMask_ = 0;
  state_ = wsClosed;
  allSent_ = true;
  paused_ = false;
  readCount_ = 0;
  closeInvoked_ = false;
  flushTimeout_ = 60;
}

// Addr, Port and Proto may change only while the socket is closed; setting the same value is
// always allowed.
void TCustomWSocket::AssignEndpoint(const char* name, const std::string& value, std::string& text,
                                    bool& assigned, bool& resolved) {
  std::string v = Trim(value);
  if (assigned && v == text) return;
  if (state_ != wsClosed) {
    if (v == text) return;
    RaiseException(std::string("Cannot change ") + name + " if not closed");
    return;
  }
  text = v;
  assigned = !v.empty();
  resolved = false;
}

void TCustomWSocket::SetAddr(const std::string& value) {
  AssignEndpoint("Addr", value, addrStr_, addrAssigned_, addrResolved_);
}

void TCustomWSocket::SetPort(const std::string& value) {
  AssignEndpoint("Port", value, portStr_, portAssigned_, portResolved_);
}

void TCustomWSocket::SetProto(const std::string& value) {
  AssignEndpoint("Proto", value, protoStr_, protoAssigned_, protoResolved_);
}

void TCustomWSocket::SetLocalAddr(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseException("Cannot change LocalAddr if not closed");
    return;
  }
  localAddr_ = value.empty() ? "0.0.0.0" : value;
}

void TCustomWSocket::SetLocalPort(const std::string& value) {
  if (state_ != wsClosed) {
    RaiseException("Cannot change LocalPort if not closed");
    return;
  }
  localPortStr_ = value;
  localPortResolved_ = false;
}

void TCustomWSocket::SetReqVerLow(std::uint8_t value) {
  if (value == ReqVerLow()) return;
  if (!WSocketSetReqVer(value, ReqVerHigh())) {
    RaiseException(WSocketErrorDesc(wsock::WSAGetLastError(),
                                    "SetReqVerLow: WinSock version can't be changed now"));
  }
}

void TCustomWSocket::SetReqVerHigh(std::uint8_t value) {
  if (value == ReqVerHigh()) return;
  if (!WSocketSetReqVer(ReqVerLow(), value)) {
    RaiseException(WSocketErrorDesc(wsock::WSAGetLastError(),
                                    "SetReqVerHigh: WinSock version can't be changed now"));
  }
}

TSocketSendFlags TCustomWSocket::SendFlags() {
  if (sendFlags_ == 0) return wsSendNormal;
  if (sendFlags_ == ws::kMsgOob) return wsSendUrgent;
  RaiseException("Invalid internal SendFlags");
  return wsSendNormal;
}

void TCustomWSocket::SetSendFlags(TSocketSendFlags value) {
  switch (value) {
    case wsSendNormal:
      sendFlags_ = 0;
      break;
    case wsSendUrgent:
      sendFlags_ = ws::kMsgOob;
      break;
    default:
      RaiseException("Invalid SendFlags");
  }
}

void TCustomWSocket::SetQelLogger(TQelLogger* logger) {
  if (logger == logger_) return;
  if (logger_ != nullptr) RemoveFreeNotification(logger_);
  logger_ = logger;
  if (logger_ != nullptr) FreeNotification(logger_);
}

bool TCustomWSocket::CheckLogOptions(TLogOption option) {
  return logger_ != nullptr && logger_->LogOptions().Contains(option);
}

void TCustomWSocket::DebugLog(TLogOption option, const std::string& msg) {
  if (logger_ != nullptr) logger_->WriteLog(this, option, msg);
}

namespace {
std::string Identity(const void* p) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%08X",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(p) & 0xFFFFFFFFu));
  return buf;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// Error reporting

void TCustomWSocket::RaiseException(const std::string& msg) {
  if (OnError) {
    TriggerError();
    return;
  }
  throw ESocketException(msg);
}

void TCustomWSocket::RaiseSocketError(const std::string& place, int code) {
  lastError_ = code;
  if (IsConnectionLoss(code)) {
    // A lost connection is reported by OnSessionClosed, not by an exception: the exception would
    // end up in whatever handler happens to run (the listener's, when the new caller is gone).
    if (state_ == wsConnected || state_ == wsSocksConnected) InternalClose(false, code);
    lastError_ = code;
    if (OnError) TriggerError();
    return;
  }
  RaiseException(WSocketErrorDesc(code, place));
}

void TCustomWSocket::HandleBackgroundException(const std::exception& e) {
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, e, canClose);
    } catch (...) {
    }
  }
  if (canClose) {
    try {
      AbortConnection();
    } catch (...) {
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Events

void TCustomWSocket::ChangeState(TSocketState newState) {
  TSocketState old = state_;
  state_ = newState;
  if (old != newState) TriggerChangeState(old, newState);
}

void TCustomWSocket::TriggerChangeState(TSocketState oldState, TSocketState newState) {
  // No handler runs once destruction has begun: the owner may be half gone.
  if (OnChangeState && !Destroying()) OnChangeState(this, oldState, newState);
}

bool TCustomWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, error);
  return true;
}

void TCustomWSocket::TriggerSessionAvailable(std::uint16_t error) {
  if (OnSessionAvailable) OnSessionAvailable(this, error);
}

void TCustomWSocket::TriggerSessionConnectedSpecial(std::uint16_t error) {
  TriggerSessionConnected(error);
}

void TCustomWSocket::TriggerSessionConnected(std::uint16_t error) {
  if (OnSessionConnected) OnSessionConnected(this, error);
}

void TCustomWSocket::TriggerSessionClosed(std::uint16_t error) {
  if (OnSessionClosed) OnSessionClosed(this, error);
}

void TCustomWSocket::TriggerDataSent(std::uint16_t error) {
  if (CheckLogOptions(loWsockDump)) {
    DebugLog(loWsockDump, Identity(this) + " TriggerDataSent " + std::to_string(hSocket_));
  }
  if (OnDataSent) OnDataSent(this, error);
}

void TCustomWSocket::TriggerSendData(std::int32_t bytesSent) {
  if (OnSendData) OnSendData(this, bytesSent);
}

void TCustomWSocket::TriggerDnsLookupDone(std::uint16_t error) {
  if (OnDnsLookupDone) OnDnsLookupDone(this, error);
}

void TCustomWSocket::TriggerError() {
  if (OnError) OnError(this);
}

void TCustomWSocket::SessionClosedOnce(std::uint16_t error) {
  if (connection_ != INVALID_SOCKET && closedReported_ == connection_) return;
  closedReported_ = connection_;
  TriggerSessionClosed(error);
}

// ---------------------------------------------------------------------------------------------
// Opening

bool TCustomWSocket::ResolveForConnect(const char* prefix, bool listen) {
  try {
    if (!protoResolved_) {
      if (listen && LowerAscii(protoStr_.substr(0, 4)) == "raw_") {
        sockType_ = ws::kSockRaw;
        proto_ = WSocketResolveProto(protoStr_.substr(4, 10));
      } else {
        proto_ = WSocketResolveProto(protoStr_);
        if (proto_ == ws::kIpProtoUdp) {
          sockType_ = ws::kSockDgram;
        } else if (proto_ == ws::kIpProtoTcp || listen) {
          sockType_ = ws::kSockStream;
        } else {
          sockType_ = ws::kSockRaw;
        }
      }
      protoResolved_ = true;
    }
    if (!portResolved_) {
      sin_.port = wsock::Htons(WSocketResolvePort(portStr_, protoStr_));
      portResolved_ = true;
    }
    if (!listen && !localPortResolved_) {
      localPortNum_ = WSocketResolvePort(localPortStr_, protoStr_);
      localPortResolved_ = true;
    }
    if (!addrResolved_) {
      sin_.family = ws::kAfInet;
      sin_.addr = WSocketResolveHost(addrStr_);
      addrResolved_ = true;
    }
  } catch (const ESocketException& e) {
    RaiseException(std::string(prefix) + e.what());
    return false;
  }
  return true;
}

void TCustomWSocket::SetConnectTarget(std::uint32_t addr, std::uint16_t port) {
  sin_.family = ws::kAfInet;
  sin_.addr = addr;
  sin_.port = port;
  addrResolved_ = true;
  portResolved_ = true;
}

void TCustomWSocket::ClearConnectTarget() {
  addrResolved_ = false;
  portResolved_ = false;
}

void TCustomWSocket::AdoptHandle(TSocket handle) {
  hSocket_ = handle;
  connection_ = handle;
  closeInvoked_ = false;
}

void TCustomWSocket::AbandonHandle(TSocket handle) {
  if (hSocket_ != handle || handle == INVALID_SOCKET) return;
  wsock::CloseSocket(handle);
  hSocket_ = INVALID_SOCKET;
  ChangeState(wsClosed);
  if (hSocket_ == INVALID_SOCKET) SetDefaults();
}

bool TCustomWSocket::QueryBufferSizes() {
  int value = 0;
  int len = sizeof(value);
  if (wsock::GetSockOpt(hSocket_, ws::kSolSocket, ws::kSoSndBuf, &value, &len) != 0) {
    RaiseSocketError("getsockopt(SO_SNDBUF)");
    return false;
  }
  sndBufSize_ = value;
  len = sizeof(value);
  if (wsock::GetSockOpt(hSocket_, ws::kSolSocket, ws::kSoRcvBuf, &value, &len) != 0) {
    RaiseSocketError("getsockopt(SO_RCVBUF)");
    return false;
  }
  rcvBufSize_ = value;
  return true;
}

bool TCustomWSocket::SetLingerOption() {
  if (lingerOnOff_ == wsLingerNoSet) return true;
  if (hSocket_ == INVALID_SOCKET) {
    RaiseException("Cannot set linger option at this time");
    return false;
  }
  ws::Linger l;
  l.onoff = lingerOnOff_ == wsLingerOn ? 1 : 0;
  l.seconds = static_cast<std::uint16_t>(lingerTimeout_);
  if (wsock::SetSockOpt(hSocket_, ws::kSolSocket, ws::kSoLinger, &l, sizeof(l)) != 0) {
    RaiseSocketError("setsockopt(SO_LINGER)");
    return false;
  }
  return true;
}

bool TCustomWSocket::SetKeepAliveOption() {
  if (keepAliveOnOff_ == wsKeepAliveOff) return true;
  int on = 1;
  if (wsock::SetSockOpt(hSocket_, ws::kSolSocket, ws::kSoKeepAlive, &on, sizeof(on)) != 0) {
    RaiseSocketError("setsockopt(SO_KEEPALIVE)");
    return false;
  }
  if (keepAliveOnOff_ == wsKeepAliveOnCustom &&
      wsock::IoctlKeepAliveVals(hSocket_, 1, static_cast<std::uint32_t>(keepAliveTime_),
                                static_cast<std::uint32_t>(keepAliveInterval_)) != 0) {
    RaiseSocketError("WSocket_WSAIoctl(SIO_KEEPALIVE_VALS)");
    return false;
  }
  return true;
}

bool TCustomWSocket::BindSocket() {
  TSockAddrIn local;
  local.family = ws::kAfInet;
  local.port = wsock::Htons(localPortNum_);
  local.addr = WSocketResolveHost(localAddr_);
  if (wsock::Bind(hSocket_, local) != 0) {
    lastError_ = wsock::WSAGetLastError();
    RaiseException("winsock.bind failed, error #" + std::to_string(lastError_));
    return false;
  }
  TSockAddrIn name;
  if (wsock::GetSockName(hSocket_, &name) != 0) {
    lastError_ = wsock::WSAGetLastError();
    RaiseException("winsock.getsockname failed, error #" + std::to_string(lastError_));
    return false;
  }
  localPortNum_ = wsock::Ntohs(name.port);
  localPortStr_ = std::to_string(localPortNum_);
  return true;
}

void TCustomWSocket::Connect() {
  if (hSocket_ != INVALID_SOCKET && state_ != wsClosed) {
    RaiseException("Connect: Socket already in use");
    return;
  }
  if (!portAssigned_) {
    RaiseException("Connect: No Port Specified");
    return;
  }
  if (!addrAssigned_) {
    RaiseException("Connect: No IP Address Specified");
    return;
  }
  if (!protoAssigned_) {
    RaiseException("Connect: No Protocol Specified");
    return;
  }
  if (!ResolveForConnect("connect: ", false)) return;

  CreateAndOpen("Connect (socket)", &TCustomWSocket::OpenStream);
}

bool TCustomWSocket::OpenStream() {
  TSocket handle = hSocket_;
  if (!QueryBufferSizes()) return false;
  ChangeState(wsOpened);
  if (state_ != wsOpened) {
    wsock::WSASetLastError(ws::WSAEINVAL);
    RaiseSocketError("Connect (Invalid operation in OnChangeState)");
    return false;
  }
  int on = 1;
  if (sockType_ == ws::kSockDgram) {
    if (!BindSocket()) return false;
    if (multiCast_) {
      if (multiCastIpTTL_ != 1) {
        int ttl = multiCastIpTTL_;
        if (wsock::SetSockOpt(handle, ws::kIpProtoIp, ws::kIpMulticastTtl, &ttl, sizeof(ttl)) !=
            0) {
          RaiseSocketError("setsockopt(IP_MULTICAST_TTL)");
          return false;
        }
      }
      if (localAddr_ != "0.0.0.0") {
        std::uint32_t iface = WSocketResolveHost(localAddr_);
        if (wsock::SetSockOpt(handle, ws::kIpProtoIp, ws::kIpMulticastIf, &iface, sizeof(iface)) !=
            0) {
          RaiseSocketError("setsockopt(IP_MULTICAST_IF)");
          return false;
        }
      }
    }
    if (sin_.addr == ws::kInAddrNone &&
        wsock::SetSockOpt(handle, ws::kSolSocket, ws::kSoBroadcast, &on, sizeof(on)) != 0) {
      RaiseSocketError("setsockopt(SO_BROADCAST)");
      return false;
    }
  } else {
    if (wsock::SetSockOpt(handle, ws::kSolSocket, ws::kSoReuseAddr, &on, sizeof(on)) != 0) {
      RaiseSocketError("setsockopt(SO_REUSEADDR)");
      return false;
    }
    if (options_.Contains(wsoTcpNoDelay) &&
        wsock::SetSockOpt(handle, ws::kIpProtoTcp, ws::kTcpNoDelay, &on, sizeof(on)) != 0) {
      RaiseSocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
      return false;
    }
    if (!SetLingerOption() || !SetKeepAliveOption()) return false;
    if ((localPortNum_ != 0 || localAddr_ != "0.0.0.0") && !BindSocket()) return false;
  }

  selectMask_ = ws::kFdRead | ws::kFdWrite | ws::kFdAccept | ws::kFdConnect | ws::kFdClose;
  if (wsock::AsyncSelect(handle, Handle(), WM_ASYNCSELECT, selectMask_) != 0) {
    RaiseSocketError("WSAAsyncSelect");
    return false;
  }

  if (sockType_ == ws::kSockDgram) {
    ChangeState(wsConnected);
    TriggerSessionConnectedSpecial(0);
    return true;
  }
  if (CheckLogOptions(loWsockInfo)) {
    DebugLog(loWsockInfo, "TWSocket will connect to " + wsock::InetNtoa(sin_.addr) + ":" +
                              std::to_string(wsock::Ntohs(sin_.port)));
  }
  if (wsock::Connect(handle, sin_) != 0) {
    int err = wsock::WSAGetLastError();
    if (err != ws::WSAEWOULDBLOCK) {
      lastError_ = err;
      RaiseSocketError("Connect", err);
      return false;
    }
  }
  ChangeState(wsConnecting);
  return true;
}

void TCustomWSocket::Listen() {
  if (!portAssigned_) {
    wsock::WSASetLastError(ws::WSAEINVAL);
    RaiseSocketError("listen: port not assigned");
    return;
  }
  if (!protoAssigned_) {
    wsock::WSASetLastError(ws::WSAEINVAL);
    RaiseSocketError("listen: protocol not assigned");
    return;
  }
  if (!addrAssigned_) {
    wsock::WSASetLastError(ws::WSAEINVAL);
    RaiseSocketError("listen: address not assigned");
    return;
  }
  if (!ResolveForConnect("listen: ", true)) return;

  CreateAndOpen("socket", &TCustomWSocket::OpenListener);
}

// A Connect or Listen that fails after the socket exists closes it again, so that the next one
// works.
void TCustomWSocket::CreateAndOpen(const char* place, bool (TCustomWSocket::*open)()) {
  DiscardSendBuffer();
  TSocket handle = wsock::Socket(ws::kAfInet, sockType_, proto_);
  if (handle == INVALID_SOCKET) {
    RaiseSocketError(place);
    return;
  }
  AdoptHandle(handle);
  bool ok = false;
  try {
    ok = (this->*open)();
  } catch (...) {
    AbandonHandle(handle);
    throw;
  }
  if (!ok) AbandonHandle(handle);
}

bool TCustomWSocket::OpenListener() {
  TSocket handle = hSocket_;
  int on = 1;
  // Streams always reuse the address: on Linux a restarted server could otherwise not listen on
  // its port again while connections of the previous run linger in TIME_WAIT.
  if ((sockType_ == ws::kSockDgram && reuseAddr_) || sockType_ == ws::kSockStream) {
    if (wsock::SetSockOpt(handle, ws::kSolSocket, ws::kSoReuseAddr, &on, sizeof(on)) != 0) {
      RaiseSocketError("setsockopt(SO_REUSEADDR)");
      return false;
    }
  }
  if (wsock::Bind(handle, sin_) != 0) {
    RaiseSocketError("Bind");
    return false;
  }
  ChangeState(wsBound);
  switch (sockType_) {
    case ws::kSockStream:
      if (wsock::Listen(handle, listenBacklog_) != 0) {
        RaiseSocketError("Listen");
        return false;
      }
      ChangeState(wsListening);
      break;
    case ws::kSockDgram:
      if (multiCast_) {
        ws::IpMreq m;
        m.multiaddr = wsock::InetAddr(multiCastAddrStr_);
        m.interface = sin_.addr;
        if (wsock::SetSockOpt(handle, ws::kIpProtoIp, ws::kIpAddMembership, &m, sizeof(m)) != 0) {
          RaiseSocketError("setsockopt(IP_ADD_MEMBERSHIP)");
          return false;
        }
      }
      ChangeState(wsListening);
      ChangeState(wsConnected);
      TriggerSessionConnectedSpecial(0);
      if (hSocket_ != handle) return true;
      break;
    case ws::kSockRaw:
      if (options_.Contains(wsoSIO_RCVALL) && wsock::IoctlRcvAll(handle, 1) != 0) {
        RaiseSocketError("WSAIoctl(SIO_RCVALL)");
        return false;
      }
      ChangeState(wsListening);
      ChangeState(wsConnected);
      TriggerSessionConnectedSpecial(0);
      if (hSocket_ != handle) return true;
      break;
    default:
      RaiseSocketError("Listen: unexpected protocol.");
      return false;
  }
  selectMask_ = ws::kFdRead | ws::kFdWrite | ws::kFdAccept | ws::kFdClose;
  if (wsock::AsyncSelect(handle, Handle(), WM_ASYNCSELECT, selectMask_) != 0) {
    RaiseSocketError("WSAASyncSelect");
    return false;
  }
  return true;
}

TSocket TCustomWSocket::Accept() {
  if (state_ != wsListening) {
    wsock::WSASetLastError(ws::WSAEINVAL);
    RaiseSocketError("not a listening socket");
    return INVALID_SOCKET;
  }
  TSockAddrIn from;
  aSocket_ = wsock::Accept(hSocket_, &from);
  if (aSocket_ == INVALID_SOCKET) {
    int err = wsock::WSAGetLastError();
    if (err == ws::WSAEWOULDBLOCK) {
      // The caller went away before it was taken: nothing is wrong with the listener.
      lastError_ = err;
      return INVALID_SOCKET;
    }
    RaiseSocketError("Accept", err);
    return INVALID_SOCKET;
  }
  sin_ = from;
  addrResolved_ = false;
  portResolved_ = false;
  return aSocket_;
}

void TCustomWSocket::Dup(TSocket newHSocket) {
  if (newHSocket == 0 || newHSocket == INVALID_SOCKET) {
    wsock::WSASetLastError(ws::WSAEINVAL);
    RaiseSocketError("Dup");
    return;
  }
  if (state_ != wsClosed) {
    int r = hSocket_ != INVALID_SOCKET ? wsock::CloseSocket(hSocket_) : 0;
    int err = wsock::WSAGetLastError();
    hSocket_ = INVALID_SOCKET;
    ChangeState(wsClosed);
    if (r != 0) {
      RaiseSocketError("Dup (closesocket)", err);
      return;
    }
  }
  // A new connection starts with nothing of the old one still to send.
  DiscardSendBuffer();
  allSent_ = true;
  AdoptHandle(newHSocket);
  bool ok = false;
  try {
    ok = QueryBufferSizes() && SetLingerOption();
    if (ok) {
      selectMask_ = ws::kFdRead | ws::kFdWrite | ws::kFdConnect | ws::kFdClose;
      if (wsock::AsyncSelect(newHSocket, Handle(), WM_ASYNCSELECT, selectMask_) != 0) {
        RaiseSocketError("WSAAsyncSelect");
        ok = false;
      }
    }
  } catch (...) {
    AbandonHandle(newHSocket);
    throw;
  }
  if (!ok) {
    AbandonHandle(newHSocket);
    return;
  }
  DupConnected();
}

void TCustomWSocket::DupConnected() {
  ChangeState(wsConnected);
}

// ---------------------------------------------------------------------------------------------
// Closing

void TCustomWSocket::Close() {
  InternalClose(true, 0);
}

void TCustomWSocket::InternalClose(bool shutdown, std::uint16_t error) {
  if (hSocket_ == INVALID_SOCKET) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      if (hSocket_ == INVALID_SOCKET) SetDefaults();
    }
    return;
  }
  if (state_ == wsClosed) return;
  if (shutdown) Shutdown(ws::kSdSend);
  TSocket handle = hSocket_;
  int r = wsock::CloseSocket(handle);
  while (r != 0 && wsock::WSAGetLastError() == ws::WSAEWOULDBLOCK) {
    MessagePump();
    r = wsock::CloseSocket(handle);
  }
  if (r != 0) {
    int err = wsock::WSAGetLastError();
    lastError_ = err;
    hSocket_ = INVALID_SOCKET;
    if (err != ws::WSANOTINITIALISED) {
      RaiseSocketError("Disconnect (closesocket)", err);
      return;
    }
  }
  hSocket_ = INVALID_SOCKET;
  TSocket connection = connection_;
  ChangeState(wsClosed);
  // A handler of the state change may have opened the next connection already.
  if (connection_ != connection) return;
  if (!Destroying() && !closeInvoked_) {
    closeInvoked_ = true;
    SessionClosedOnce(error);
  }
  if (connection_ == connection && hSocket_ == INVALID_SOCKET) {
    try {
      SetDefaults();
    } catch (...) {
    }
  }
}

void TCustomWSocket::AbortConnection() {
  InternalAbort(0);
}

void TCustomWSocket::InternalAbort(std::uint16_t error) {
  CancelHostLookup();
  DiscardSendBuffer();
  if (state_ == wsConnected && proto_ == ws::kIpProtoTcp) {
    lingerOnOff_ = wsLingerOff;
    SetLingerOption();
  }
  InternalClose(false, error);
}

bool TCustomWSocket::CloseLater() {
  return window_ != nullptr && window_->PostMessage(WM_CLOSE_DELAYED, 0, 0);
}

bool TCustomWSocket::FreeLater() {
  return window_ != nullptr && window_->PostMessage(WM_WSOCKET_RELEASE, 0, 0);
}

void TCustomWSocket::Shutdown(int how) {
  if (CheckLogOptions(loWsockInfo)) {
    DebugLog(loWsockInfo, Identity(this) + " TCustomWSocket.Shutdown " + std::to_string(how) + " " +
                              std::to_string(hSocket_));
  }
  if (hSocket_ != INVALID_SOCKET) wsock::Shutdown(hSocket_, how);
}

int TCustomWSocket::SuspendReceive() {
  paused_ = true;
  return wsock::AsyncSelect(hSocket_, 0, 0, 0);
}

int TCustomWSocket::ResumeReceive() {
  paused_ = false;
  return wsock::AsyncSelect(hSocket_, Handle(), WM_ASYNCSELECT, selectMask_);
}

// ---------------------------------------------------------------------------------------------
// Sending

std::int32_t TCustomWSocket::Send(const void* data, std::int32_t length) {
  if (state_ != wsConnected && state_ != wsSocksConnected) {
    wsock::WSASetLastError(ws::WSAENOTCONN);
    RaiseSocketError("Send", ws::WSAENOTCONN);
    return -1;
  }
  allSent_ = false;
  if (length > 0) AppendToSendBuffer(data, length);
  TryToSend();
  if (allSent_ && hSocket_ != INVALID_SOCKET && window_) {
    // OnDataSent comes from the message loop, after Send has returned.
    window_->PostMessage(WM_ASYNCSELECT, static_cast<platform::WPARAM>(hSocket_),
                         ws::MakeSelectReply(ws::kFdWrite, 0));
  }
  return length > 0 ? length : 0;
}

std::int32_t TCustomWSocket::SendText(const std::string& text) {
  if (text.empty()) return 0;
  return Send(text.data(), static_cast<std::int32_t>(text.size()));
}

std::int32_t TCustomWSocket::SendTo(const TSockAddrIn& dest, const void* data,
                                    std::int32_t length) {
  int n = wsock::SendTo(hSocket_, data, length, sendFlags_, dest);
  if (n < 0) lastError_ = wsock::WSAGetLastError();
  if (n > 0) TriggerSendData(n);
  if (sockType_ == ws::kSockDgram && allSent_ && hSocket_ != INVALID_SOCKET && window_) {
    window_->PostMessage(WM_ASYNCSELECT, static_cast<platform::WPARAM>(hSocket_),
                         ws::MakeSelectReply(ws::kFdWrite, 0));
  }
  return n;
}

std::int32_t TCustomWSocket::RealSend(const void* data, std::int32_t length) {
  int n = sockType_ == ws::kSockDgram ? wsock::SendTo(hSocket_, data, length, sendFlags_, sin_)
                                      : wsock::Send(hSocket_, data, length, sendFlags_);
  if (n > 0) TriggerSendData(n);
  return n;
}

void TCustomWSocket::AppendToSendBuffer(const void* data, std::int32_t length) {
  if (length <= 0 || data == nullptr) return;
  std::lock_guard guard(WSocketSendBufferLock());
  const char* p = static_cast<const char*>(data);
  if (bufList_.empty()) bufList_.push_back(std::make_unique<TBuffer>(bufSize_));
  std::int32_t n = bufList_.back()->Write(p, length);
  while (n < length) {
    bufList_.push_back(std::make_unique<TBuffer>(bufSize_));
    n += bufList_.back()->Write(p + n, length - n);
  }
  allSent_ = false;
}

void TCustomWSocket::DiscardSendBuffer() {
  std::lock_guard guard(WSocketSendBufferLock());
  bufList_.clear();
}

void TCustomWSocket::TryToSend() {
  // An OnSendData handler that sends again only queues: the running loop takes the new bytes.
  if (sending_) return;
  std::unique_lock lock(WSocketSendBufferLock());
  if (hSocket_ == INVALID_SOCKET || bufList_.empty()) {
    allSent_ = true;
    return;
  }
  struct Running {
    bool& flag;
    explicit Running(bool& f) : flag(f) { flag = true; }
    ~Running() { flag = false; }
  } running(sending_);
  TSocket handle = hSocket_;
  for (;;) {
    TBuffer* chunk = bufList_.front().get();
    auto [data, length] = chunk->Peek();
    if (length > 0) {
      lock.unlock();
      int n = RealSend(data, length);
      int err = n < 0 ? wsock::WSAGetLastError() : 0;
      lock.lock();
      if (hSocket_ != handle) return;  // a handler closed the socket
      if (bufList_.empty()) {          // ... or discarded the chain
        allSent_ = true;
        return;
      }
      if (bufList_.front().get() != chunk) continue;
      if (n > 0) {
        chunk->Remove(n);
        if (n < length) return;  // the rest goes at the next write notification
        continue;
      }
      if (n == 0 || err == ws::WSAEWOULDBLOCK) return;
      lock.unlock();
      running.flag = false;
      if (err == ws::WSAEINVAL || err == ws::WSAENOTSOCK || err == ws::WSAECONNABORTED ||
          err == ws::WSAECONNRESET || err == ws::WSAENOTCONN) {
        if (CheckLogOptions(loWsockErr)) {
          DebugLog(loWsockErr, Name() + " Winsock.Send failed " + std::to_string(err));
        }
        // The loss is reported with its code once the close has restored the defaults.
        TSocket connection = connection_;
        closeInvoked_ = true;
        Close();
        if (connection_ == connection && hSocket_ == INVALID_SOCKET) {
          SessionClosedOnce(static_cast<std::uint16_t>(err));
        }
        return;
      }
      RaiseSocketError("TryToSend failed", err);
      return;
    }
    if (bufList_.size() > 1) {
      bufList_.pop_front();
      continue;
    }
    allSent_ = true;
    return;
  }
}

void TCustomWSocket::DrainSendBuffer() {
  while (hSocket_ != INVALID_SOCKET && !allSent_) {
    TryToSend();
    if (hSocket_ == INVALID_SOCKET || allSent_) break;
    // Sleeps until the write notification (or anything else) arrives.
    platform::WaitMessage(100);
  }
}

void TCustomWSocket::HandleWriteEvent(std::uint16_t error) {
  TryToSend();
  if (allSent_) TriggerDataSent(error);
}

// ---------------------------------------------------------------------------------------------
// Receiving

std::int32_t TCustomWSocket::RcvdCount() {
  if (hSocket_ == INVALID_SOCKET) {
    wsock::WSASetLastError(ws::WSAENOTCONN);
    RaiseSocketError("ioctlSocket");
    return -1;
  }
  std::uint32_t n = 0;
  if (wsock::IoctlSocket(hSocket_, ws::kFionRead, &n) != 0) {
    RaiseSocketError("ioctlSocket");
    return -1;
  }
  return static_cast<std::int32_t>(n);
}

std::int32_t TCustomWSocket::DoRecv(void* buffer, std::int32_t length, int flags) {
  int n = wsock::Recv(hSocket_, buffer, length, flags);
  if (n > 0 && (flags & ws::kMsgPeek) == 0) rcvdProgress_ += static_cast<std::uint64_t>(n);
  return n;
}

std::int32_t TCustomWSocket::DoRecvFrom(void* buffer, std::int32_t length, TSockAddrIn& from,
                                        int flags) {
  int n = wsock::RecvFrom(hSocket_, buffer, length, flags, &from);
  if (n > 0 && (flags & ws::kMsgPeek) == 0) rcvdProgress_ += static_cast<std::uint64_t>(n);
  return n;
}

std::int32_t TCustomWSocket::Receive(void* buffer, std::int32_t length) {
  std::int32_t n = DoRecv(buffer, length, 0);
  if (n < 0) {
    lastError_ = wsock::WSAGetLastError();
  } else {
    readCount_ += n;
  }
  return n;
}

std::string TCustomWSocket::ReceiveText() {
  std::int32_t n = RcvdCount();
  if (n < 0) return "";
  if (n == 0) n = 255;
  std::string text(static_cast<size_t>(n), '\0');
  std::int32_t r = Receive(text.data(), n);
  if (r <= 0) return "";
  text.resize(static_cast<size_t>(r));
  return text;
}

std::int32_t TCustomWSocket::ReceiveFrom(void* buffer, std::int32_t length, TSockAddrIn& from) {
  std::int32_t n = DoRecvFrom(buffer, length, from, 0);
  if (n < 0) {
    lastError_ = wsock::WSAGetLastError();
  } else {
    readCount_ += n;
  }
  return n;
}

void TCustomWSocket::ReceiveLoop(std::uint16_t error, TWSocketOptions options) {
  std::weak_ptr<char> alive = alive_;
  TSocket handle = hSocket_;
  try {
    for (;;) {
      lastError_ = 0;
      std::uint64_t before = rcvdProgress_;
      if (!TriggerDataAvailable(error)) {
        // Nobody reads: the data is thrown away, so that the notifications keep coming.
        char scratch[1024];
        if (Receive(scratch, sizeof(scratch)) < 0 && lastError_ == ws::WSAEWOULDBLOCK) {
          lastError_ = 0;
          break;
        }
      }
      if (alive.expired()) return;
      if (hSocket_ != handle) return;
      if (options.Contains(wsoNoReceiveLoop)) break;
      if (lastError_ != 0) {
        if (lastError_ == -1) lastError_ = 0;
        break;
      }
      // A handler that took nothing would be called again and again for the same bytes.
      if (rcvdProgress_ == before) break;
      std::uint32_t waiting = 0;
      if (wsock::IoctlSocket(handle, ws::kFionRead, &waiting) != 0) {
        lastError_ = wsock::WSAGetLastError();
        break;
      }
      if (waiting == 0) break;
    }
  } catch (...) {
    // An exception of a data handler ends this pass and goes no further.
  }
}

void TCustomWSocket::WaitForClose() {
  while (hSocket_ != INVALID_SOCKET && state_ != wsClosed) {
    MessagePump();
    if (hSocket_ == INVALID_SOCKET) break;
    std::uint32_t waiting = 0;
    if (wsock::IoctlSocket(hSocket_, ws::kFionRead, &waiting) != 0) break;
    if (waiting > 0) TriggerDataAvailable(0);
    if (hSocket_ == INVALID_SOCKET) break;
    char byte;
    int r = wsock::Recv(hSocket_, &byte, 1, ws::kMsgPeek);
    if (r == 0) break;
    if (r < 0 && wsock::WSAGetLastError() != ws::WSAEWOULDBLOCK) {
      lastError_ = wsock::WSAGetLastError();
      break;
    }
    platform::WaitMessage(100);
  }
}

// ---------------------------------------------------------------------------------------------
// Notifications

void TCustomWSocket::WMAsyncSelect(platform::WPARAM wParam, platform::LPARAM lParam) {
  long events = ws::SelectEvent(lParam);
  auto error = static_cast<std::uint16_t>(ws::SelectError(lParam));
  selectEvent_ = 0;
  if (CheckLogOptions(loWsockDump)) {
    std::string line = "AsyncSelect CtrlSocket" + std::to_string(static_cast<TSocket>(wParam)) +
                       ", " + std::to_string(events);
    if (events & ws::kFdConnect) line += " FD_CONNECT";
    if (events & ws::kFdRead) line += " FD_READ";
    if (events & ws::kFdWrite) line += " FD_WRITE";
    if (events & ws::kFdClose) line += " FD_CLOSE";
    if (events & ws::kFdAccept) line += " FD_ACCEPT";
    DebugLog(loProtSpecDump, line);
  }
  TSocket handle = static_cast<TSocket>(wParam);
  if (handle != hSocket_ || paused_) return;

  static constexpr struct {
    long bit;
    void (TCustomWSocket::*handler)(std::uint16_t);
  } kOrder[] = {{ws::kFdConnect, &TCustomWSocket::HandleConnectEvent},
                {ws::kFdRead, &TCustomWSocket::HandleReadEvent},
                {ws::kFdWrite, &TCustomWSocket::HandleWriteEvent},
                {ws::kFdAccept, &TCustomWSocket::HandleAcceptEvent},
                {ws::kFdClose, &TCustomWSocket::HandleCloseEvent}};
  std::weak_ptr<char> alive = alive_;
  for (const auto& step : kOrder) {
    if ((events & step.bit) == 0) continue;
    selectEvent_ = step.bit;
    (this->*step.handler)(error);
    if (alive.expired()) return;
    selectEvent_ = 0;
    if (hSocket_ != handle) return;
  }
}

void TCustomWSocket::HandleConnectEvent(std::uint16_t error) {
  if (state_ == wsConnected) return;
  TSocket handle = hSocket_;
  ChangeState(wsConnected);
  TriggerSessionConnectedSpecial(error);
  // A handler that has connected anew keeps its new connection.
  if (error != 0 && state_ != wsClosed && hSocket_ == handle) Close();
}

void TCustomWSocket::HandleReadEvent(std::uint16_t error) {
  TSocket handle = hSocket_;
  if (state_ != wsConnected) {
    ChangeState(wsConnected);
    TriggerSessionConnectedSpecial(error);
    if (hSocket_ != handle) return;
  }
  ReceiveLoop(error, options_);
}

void TCustomWSocket::HandleAcceptEvent(std::uint16_t error) {
  TriggerSessionAvailable(error);
}

void TCustomWSocket::HandleCloseEvent(std::uint16_t error) {
  if (state_ == wsConnecting || hSocket_ == INVALID_SOCKET) return;
  TSocket handle = hSocket_;
  std::weak_ptr<char> alive = alive_;
  ReceiveLoop(0, options_ - TWSocketOptions{wsoNoReceiveLoop});
  if (alive.expired() || hSocket_ != handle) return;
  if (!closeInvoked_) {
    closeInvoked_ = true;
    SessionClosedOnce(error);
  }
  if (alive.expired() || hSocket_ != handle) return;
  if (state_ != wsClosed) Close();
}

// ---------------------------------------------------------------------------------------------
// Names

void TCustomWSocket::DnsLookup(const std::string& hostName) {
  if (hostName.empty()) {
    RaiseException("DNS lookup: invalid host name.");
    TriggerDnsLookupDone(ws::WSAEINVAL);
    return;
  }
  if (dnsLookupHandle_ != 0) {
    ws::WSACancelAsyncRequest(dnsLookupHandle_);
    dnsLookupHandle_ = 0;
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  if (WSocketIsDottedIP(hostName)) {
    std::uint32_t addr = wsock::InetAddr(Trim(hostName));
    if (addr != ws::kInAddrNone) {
      dnsResult_ = wsock::InetNtoa(addr);
      dnsResultList_.push_back(dnsResult_);
      TriggerDnsLookupDone(0);
      return;
    }
  }
  if (!window_) {
    RaiseException("DnsLookup: Window not assigned");
    return;
  }
  WSocketLoad();
  dnsLookupHandle_ = ws::WSAAsyncGetHostByName(Handle(), WM_ASYNCGETHOSTBYNAME, hostName);
  if (dnsLookupHandle_ == 0) {
    RaiseException(hostName + ": can't start DNS lookup, error #" +
                   std::to_string(wsock::WSAGetLastError()));
  }
}

void TCustomWSocket::WMAsyncGetHostByName(platform::WPARAM wParam, platform::LPARAM lParam) {
  if (dnsLookupHandle_ == 0 || wParam != dnsLookupHandle_) return;
  dnsLookupHandle_ = 0;
  auto error = static_cast<std::uint16_t>(ws::SelectError(lParam));
  ws::HostEnt entry;
  bool have = ws::WSAAsyncResult(wParam, &entry);
  if (error == 0 && have) {
    for (std::uint32_t addr : entry.addresses) {
      if (dnsResultList_.size() >= 256) break;
      dnsResultList_.push_back(wsock::InetNtoa(addr));
    }
    if (!dnsResultList_.empty()) dnsResult_ = dnsResultList_.front();
  }
  TriggerDnsLookupDone(error);
}

// Checks the address text, cancels a look-up in progress and empties the results; false (after
// reporting) when the text cannot be an address.
bool TCustomWSocket::BeginReverseLookup(const std::string& hostAddr) {
  if (hostAddr.empty() || hostAddr.size() > 256) {
    RaiseException("ReverseDnsLookup: Invalid host name.");
    TriggerDnsLookupDone(ws::WSAEINVAL);
    return false;
  }
  if (dnsLookupHandle_ != 0) {
    ws::WSACancelAsyncRequest(dnsLookupHandle_);
    dnsLookupHandle_ = 0;
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  return true;
}

void TCustomWSocket::ReverseDnsLookup(const std::string& hostAddr) {
  if (!BeginReverseLookup(hostAddr)) return;
  std::uint32_t addr = wsock::InetAddr(Trim(hostAddr));
  if (!window_) {
    RaiseException("ReverseDnsLookup: Window not assigned");
    return;
  }
  WSocketLoad();
  dnsLookupHandle_ = ws::WSAAsyncGetHostByAddr(Handle(), WM_ASYNCGETHOSTBYADDR, addr);
  if (dnsLookupHandle_ == 0) {
    RaiseException(hostAddr + ": can't start DNS lookup, error #" +
                   std::to_string(wsock::WSAGetLastError()));
  }
}

namespace {
void FillReverse(const ws::HostEnt& entry, std::string& result, std::vector<std::string>& list) {
  result = entry.name;
  list.push_back(entry.name);
  for (const std::string& alias : entry.aliases) {
    if (list.size() >= 256) break;
    list.push_back(alias);
  }
}
}  // namespace

void TCustomWSocket::WMAsyncGetHostByAddr(platform::WPARAM wParam, platform::LPARAM lParam) {
  if (dnsLookupHandle_ == 0 || wParam != dnsLookupHandle_) return;
  dnsLookupHandle_ = 0;
  auto error = static_cast<std::uint16_t>(ws::SelectError(lParam));
  ws::HostEnt entry;
  if (ws::WSAAsyncResult(wParam, &entry) && error == 0) {
    FillReverse(entry, dnsResult_, dnsResultList_);
  }
  TriggerDnsLookupDone(error);
}

void TCustomWSocket::ReverseDnsLookupSync(const std::string& hostAddr) {
  if (!BeginReverseLookup(hostAddr)) return;
  WSocketLoad();
  ws::HostEnt entry;
  if (ws::gethostbyaddr(wsock::InetAddr(Trim(hostAddr)), &entry)) {
    FillReverse(entry, dnsResult_, dnsResultList_);
    TriggerDnsLookupDone(0);
  } else {
    TriggerDnsLookupDone(static_cast<std::uint16_t>(wsock::WSAGetLastError()));
  }
}

void TCustomWSocket::CancelHostLookup() {
  if (dnsLookupHandle_ == 0) return;
  ws::TLookup lookup = dnsLookupHandle_;
  dnsLookupHandle_ = 0;
  if (ws::WSACancelAsyncRequest(lookup) != 0) {
    RaiseSocketError("WSACancelAsyncRequest");
    return;
  }
  if (!Destroying()) TriggerDnsLookupDone(ws::WSAEINTR);
}

std::string TCustomWSocket::GetPeerAddr() {
  if (state_ != wsConnected) return "error";
  TSockAddrIn name;
  if (wsock::GetPeerName(hSocket_, &name) != 0) {
    RaiseSocketError("GetPeerAddr");
    return "error";
  }
  return wsock::InetNtoa(name.addr);
}

std::string TCustomWSocket::GetPeerPort() {
  if (state_ != wsConnected) return "error";
  TSockAddrIn name;
  if (wsock::GetPeerName(hSocket_, &name) != 0) {
    RaiseSocketError("GetPeerPort");
    return "error";
  }
  return std::to_string(wsock::Ntohs(name.port));
}

int TCustomWSocket::GetPeerName(TSockAddrIn& name) {
  if (state_ != wsConnected) return -1;
  return wsock::GetPeerName(hSocket_, &name);
}

int TCustomWSocket::GetSockName(TSockAddrIn& name) {
  return wsock::GetSockName(hSocket_, &name);
}

std::string TCustomWSocket::GetBoundPort() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  TSockAddrIn name;
  if (GetSockName(name) != 0) return "error";
  return std::to_string(wsock::Ntohs(name.port));
}

std::string TCustomWSocket::GetBoundAddr() {
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening) return "error";
  TSockAddrIn name;
  if (GetSockName(name) != 0) return "error";
  return wsock::InetNtoa(name.addr);
}

// ---------------------------------------------------------------------------------------------
// Window and thread

void TCustomWSocket::MessagePump() {
  if (multiThreaded_) {
    PumpMessages();
  } else {
    platform::ProcessMessages();
  }
}

void TCustomWSocket::PumpMessages() {
  platform::ProcessMessages();
  // Linux has no quit message in a thread's queue; the application's end request stands for it.
  if (platform::Terminated()) terminated_ = true;
}

void TCustomWSocket::AttachWindow() {
  if (window_) {
    RaiseException("Cannot attach when not detached");
    return;
  }
  AllocateHiddenWindow();
  if (hSocket_ != INVALID_SOCKET) {
    wsock::AsyncSelect(hSocket_, Handle(), WM_ASYNCSELECT, selectMask_);
  }
}

void TCustomWSocket::DetachWindow() {
  if (threadId_ != std::this_thread::get_id()) {
    RaiseException("Cannot detach from other thread");
    return;
  }
  if (hSocket_ != INVALID_SOCKET) wsock::AsyncSelect(hSocket_, 0, 0, 0);
  DeallocateHiddenWindow();
}
