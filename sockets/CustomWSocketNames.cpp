#include "sockets/CustomWSocket.h"
#include "text/Text.h"

// Name look-ups, forward and reverse, and the addresses of both ends.
namespace ws = platform::winsock;

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
