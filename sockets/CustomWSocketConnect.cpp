#include <atomic>

#include "platform/Debug.h"
#include "sockets/CustomWSocket.h"
#include "text/Text.h"

// Opening (connect, listen, accept, dup) and closing the socket.
namespace ws = platform::winsock;

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
  handedOver_ = 0;
  written_ = 0;
  pathCarry_.Reset();
  noDelay_ = false;
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

bool TCustomWSocket::SetUserTimeoutOption() {
  if (userTimeout_ <= 0) return true;
  if (wsock::SetTcpUserTimeout(hSocket_, static_cast<std::uint32_t>(userTimeout_)) != 0) {
    RaiseSocketError("setsockopt(TCP_USER_TIMEOUT)");
    return false;
  }
  if (retransmitMax_ > 0 &&
      wsock::SetRetransmitMax(hSocket_, static_cast<std::uint32_t>(retransmitMax_)) != 0) {
    // Older kernels lack the option: their back-off stands, which only shortens the outages a
    // connection survives.
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
      platform::OutputDebugString("TCP_RTO_MAX_MS refused (error #" +
                                  std::to_string(wsock::WSAGetLastError()) +
                                  "): the system's retransmission back-off stays");
  }
  return true;
}

void TCustomWSocket::ApplyKeepAlive() {
  if (hSocket_ == INVALID_SOCKET) {
    RaiseException("Cannot set keep-alive option at this time");
    return;
  }
  if (SetKeepAliveOption()) SetUserTimeoutOption();
}

bool TCustomWSocket::SetNoDelay(bool on) {
  const int value = on ? 1 : 0;
  if (hSocket_ == INVALID_SOCKET ||
      wsock::SetSockOpt(hSocket_, ws::kIpProtoTcp, ws::kTcpNoDelay, &value, sizeof(value)) != 0)
    return false;
  noDelay_ = on;
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
    if (options_.Contains(wsoTcpNoDelay)) {
      if (wsock::SetSockOpt(handle, ws::kIpProtoTcp, ws::kTcpNoDelay, &on, sizeof(on)) != 0) {
        RaiseSocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
        return false;
      }
      noDelay_ = true;
    }
    if (!SetLingerOption() || !SetKeepAliveOption() || !SetUserTimeoutOption()) return false;
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

// A datagram or raw socket is connected as soon as it listens. True when an event handler
// replaced the handle meanwhile.
bool TCustomWSocket::OpenedAtOnce(TSocket handle) {
  ChangeState(wsListening);
  ChangeState(wsConnected);
  TriggerSessionConnectedSpecial(0);
  return hSocket_ != handle;
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
      if (OpenedAtOnce(handle)) return true;
      break;
    case ws::kSockRaw:
      if (options_.Contains(wsoSIO_RCVALL) && wsock::IoctlRcvAll(handle, 1) != 0) {
        RaiseSocketError("WSAIoctl(SIO_RCVALL)");
        return false;
      }
      if (OpenedAtOnce(handle)) return true;
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
  // A taken-over handle keeps whatever its listener passed on: it starts as the options say.
  SetNoDelay(options_.Contains(wsoTcpNoDelay));
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
    DebugLog(loWsockInfo, Identity() + " TCustomWSocket.Shutdown " + std::to_string(how) + " " +
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
