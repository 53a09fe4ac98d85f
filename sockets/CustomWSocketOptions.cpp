#include <cstdio>

#include "sockets/CustomWSocket.h"
#include "text/Text.h"

// The socket's properties and options, and its debug log.
namespace ws = platform::winsock;

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

std::string TCustomWSocket::Identity() const {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%08X",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(this) & 0xFFFFFFFFu));
  return buf;
}
