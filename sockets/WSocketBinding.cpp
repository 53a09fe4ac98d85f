#include "sockets/WSocketBinding.h"

#include <algorithm>
#include <atomic>

#include "platform/Debug.h"
#include "text/Text.h"

namespace ws = platform::winsock;

namespace {

struct BindingState {
  BindingState() { platform::OutputDebugString("wsocket initialization section"); }
  ~BindingState() {
    if (count < 1) WSocketUnload();
  }
  std::atomic<bool> loaded{false};
  int count = 0;
  std::uint8_t reqVerLow = 1;
  std::uint8_t reqVerHigh = 1;
};

BindingState& State() {
  static BindingState state;
  return state;
}

// Keeps the library from being released while a counted call runs.
class Counted {
 public:
  Counted() {
    std::lock_guard guard(WSocketLock());
    ++State().count;
  }
  ~Counted() {
    std::lock_guard guard(WSocketLock());
    --State().count;
  }
};

void EnsureLoaded() {
  if (!State().loaded.load()) WSocketLoad();
}

}  // namespace

std::string WinsockErrorText(int code) {
  switch (code) {
    case 0:
      return "No Error";
    case 10004:
      return "Interrupted system call";
    case 10009:
      return "Bad file number";
    case 10013:
      return "Permission denied";
    case 10014:
      return "Bad address";
    case 10022:
      return "Invalid argument";
    case 10024:
      return "Too many open files";
    case 10035:
      return "Operation would block";
    case 10036:
      return "Operation now in progress";
    case 10037:
      return "Operation already in progress";
    case 10038:
      return "Socket operation on non-socket";
    case 10039:
      return "Destination address required";
    case 10040:
      return "Message too long";
    case 10041:
      return "Protocol wrong type for socket";
    case 10042:
      return "Protocol not available";
    case 10043:
      return "Protocol not supported";
    case 10044:
      return "Socket type not supported";
    case 10045:
      return "Operation not supported on socket";
    case 10046:
      return "Protocol family not supported";
    case 10047:
      return "Address family not supported by protocol family";
    case 10048:
      return "Address already in use";
    case 10049:
      return "Address not available";
    case 10050:
      return "Network is down";
    case 10051:
      return "Network is unreachable";
    case 10052:
      return "Network dropped connection on reset";
    case 10053:
      return "Connection aborted";
    case 10054:
      return "Connection reset by peer";
    case 10055:
      return "No buffer space available";
    case 10056:
      return "Socket is already connected";
    case 10057:
      return "Socket is not connected";
    case 10058:
      return "Can't send after socket shutdown";
    case 10059:
      return "Too many references: can't splice";
    case 10060:
      return "Connection timed out";
    case 10061:
      return "Connection refused";
    case 10062:
      return "Too many levels of symbolic links";
    case 10063:
      return "File name too long";
    case 10064:
      return "Host is down";
    case 10065:
      return "No route to host";
    case 10066:
      return "Directory not empty";
    case 10067:
      return "Too many processes";
    case 10068:
      return "Too many users";
    case 10069:
      return "Disc quota exceeded";
    case 10070:
      return "Stale NFS file handle";
    case 10071:
      return "Too many levels of remote in path";
    case 10091:
      return "Network sub-system is unusable";
    case 10092:
      return "WinSock DLL cannot support this application";
    case 10093:
      return "WinSock not initialized";
    case 11001:
      return "Host not found";
    case 11002:
      return "Non-authoritative host not found";
    case 11003:
      return "Non-recoverable error";
    case 11004:
      return "No Data";
  }
  return "Not a WinSock error";
}

std::string WSocketErrorDesc(int code, const std::string& place) {
  return "Error " + std::to_string(code) + " in function " + place + "\r\n" +
         WinsockErrorText(code);
}

bool WSocketIsDottedIP(const std::string& text) {
  size_t i = 0, n = text.size();
  while (i < n && text[i] == ' ') ++i;
  if (i < n && text[i] == '.') return false;
  int dots = 0;
  int part = 0;
  bool digits = false;
  for (; i < n; ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      part = part * 10 + (c - '0');
      if (part > 255) part = 256;  // stays too large, without overflow
      digits = true;
    } else if (c == '.') {
      if (++dots > 3 || part > 255 || !digits) return false;
      if (i + 1 >= n || text[i + 1] < '0' || text[i + 1] > '9') return false;
      part = 0;
      digits = false;
    } else {
      // The first other character ends the address; only blanks may follow it.
      for (++i; i < n; ++i) {
        if (text[i] != ' ') return false;
      }
      break;
    }
  }
  return dots == 3 && digits && part <= 255;
}

int WSocketAtoi(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  int value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 65535) value = 65536;
  }
  return value;
}

std::uint32_t WSocketResolveHost(const std::string& host) {
  if (host.empty() || host.size() > 256) {
    throw ESocketException("WSocketResolveHost: '" + host + "' Invalid Hostname.");
  }
  std::string name = Trim(host);
  if (WSocketIsDottedIP(host)) {
    std::uint32_t addr = wsock::InetAddr(name);
    if (addr == ws::kInAddrNone && name != "255.255.255.255") {
      throw ESocketException("WSocketResolveHost: '" + host + "' Invalid IP address.");
    }
    return addr;
  }
  EnsureLoaded();
  ws::HostEnt entry;
  if (!ws::gethostbyname(name, &entry) || entry.addresses.empty()) {
    int err = ws::WSAGetLastError();
    throw ESocketException("WSocketResolveHost: Cannot convert host address '" + host +
                           "', Error #" + std::to_string(err));
  }
  return entry.addresses.front();
}

std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto) {
  if (port.empty() || port.size() >= 32)
    throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (proto.empty() || proto.size() >= 32) {
    throw ESocketException("WSocketResolvePort: Invalid Proto.");
  }
  if (port[0] >= '0' && port[0] <= '9') {
    int n = WSocketAtoi(port);
    // A port beyond 65535 is refused rather than cut to 16 bits ("70000" is not 4464).
    if (n > 65535) throw ESocketException("WSocketResolvePort: Invalid Port.");
    return static_cast<std::uint16_t>(n);
  }
  EnsureLoaded();
  std::uint16_t netPort = 0;
  if (!ws::getservbyname(Trim(port), Trim(proto), &netPort)) {
    int err = ws::WSAGetLastError();
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + port + "', Error #" +
                           std::to_string(err));
  }
  return wsock::Ntohs(netPort);
}

int WSocketResolveProto(const std::string& proto) {
  if (proto.empty() || proto.size() >= 32) {
    throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  }
  if (proto[0] >= '0' && proto[0] <= '9') return WSocketAtoi(proto);
  std::string name = LowerAscii(Trim(proto));
  if (name == "tcp") return ws::kIpProtoTcp;
  if (name == "udp") return ws::kIpProtoUdp;
  if (name == "raw") return 255;
  EnsureLoaded();
  int number = 0;
  if (!ws::getprotobyname(name, &number)) {
    int err = ws::WSAGetLastError();
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
                           std::to_string(err));
  }
  return number;
}

std::string GetLocalHostName() {
  EnsureLoaded();
  Counted counted;
  std::string name;
  if (ws::gethostname(name, 64) != 0) throw ESocketException("Winsock.GetHostName failed");
  return name;
}

void WSocketLoad() {
  std::lock_guard guard(WSocketLock());
  BindingState& s = State();
  if (s.loaded.load()) return;
  int rc = ws::WSAStartup(static_cast<std::uint16_t>(s.reqVerLow | (s.reqVerHigh << 8)));
  if (rc != 0) {
    throw ESocketException(std::string("wsock32.dll") + ": WSAStartup error #" +
                           std::to_string(rc));
  }
  s.loaded.store(true);
}

void WSocketUnload() {
  std::lock_guard guard(WSocketLock());
  BindingState& s = State();
  if (!s.loaded.load() || s.count != 0) return;
  ws::WSACleanup();
  s.loaded.store(false);
}

bool WSocketLoaded() {
  return State().loaded.load();
}

int WSocketCount() {
  std::lock_guard guard(WSocketLock());
  return State().count;
}

void WSocketIncrementCount() {
  std::lock_guard guard(WSocketLock());
  ++State().count;
}

void WSocketDecrementCount() {
  std::lock_guard guard(WSocketLock());
  if (--State().count < 1) WSocketUnload();
}

std::uint8_t WSocketReqVerLow() {
  std::lock_guard guard(WSocketLock());
  return State().reqVerLow;
}

std::uint8_t WSocketReqVerHigh() {
  std::lock_guard guard(WSocketLock());
  return State().reqVerHigh;
}

bool WSocketSetReqVer(std::uint8_t low, std::uint8_t high) {
  std::lock_guard guard(WSocketLock());
  BindingState& s = State();
  if (s.loaded.load()) return false;
  s.reqVerLow = low;
  s.reqVerHigh = high;
  return true;
}

std::recursive_mutex& WSocketLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;
  return *lock;
}

std::recursive_mutex& WSocketSendBufferLock() {
  static std::recursive_mutex* lock = new std::recursive_mutex;
  return *lock;
}

std::unique_ptr<platform::MessageWindow> AllocateSocketWindow(
    platform::MessageWindow::WndProc proc) {
  return std::make_unique<platform::MessageWindow>(std::move(proc));
}

void DeallocateSocketWindow(std::unique_ptr<platform::MessageWindow>& window) {
  window.reset();
}

namespace wsock {

int WSAGetLastError() {
  return ws::WSAGetLastError();
}
void WSASetLastError(int code) {
  ws::WSASetLastError(code);
}

TSocket Socket(int af, int type, int protocol) {
  EnsureLoaded();
  return ws::socket(af, type, protocol);
}
int CloseSocket(TSocket s) {
  EnsureLoaded();
  return ws::closesocket(s);
}
int Shutdown(TSocket s, int how) {
  EnsureLoaded();
  return ws::shutdown(s, how);
}
int SetSockOpt(TSocket s, int level, int name, const void* value, int length) {
  EnsureLoaded();
  return ws::setsockopt(s, level, name, value, length);
}
int GetSockOpt(TSocket s, int level, int name, void* value, int* length) {
  EnsureLoaded();
  Counted counted;
  return ws::getsockopt(s, level, name, value, length);
}
int Send(TSocket s, const void* data, int length, int flags) {
  EnsureLoaded();
  return ws::send(s, data, length, flags);
}
int SendTo(TSocket s, const void* data, int length, int flags, const SockAddrIn& to) {
  EnsureLoaded();
  return ws::sendto(s, data, length, flags, to);
}
int Recv(TSocket s, void* buffer, int length, int flags) {
  EnsureLoaded();
  return ws::recv(s, buffer, length, flags);
}
int RecvFrom(TSocket s, void* buffer, int length, int flags, SockAddrIn* from) {
  EnsureLoaded();
  return ws::recvfrom(s, buffer, length, flags, from);
}
int Listen(TSocket s, int backlog) {
  EnsureLoaded();
  return ws::listen(s, backlog);
}
int IoctlSocket(TSocket s, long command, std::uint32_t* argument) {
  EnsureLoaded();
  return ws::ioctlsocket(s, command, argument);
}
int GetSockName(TSocket s, SockAddrIn* name) {
  EnsureLoaded();
  return ws::getsockname(s, name);
}
int GetPeerName(TSocket s, SockAddrIn* name) {
  EnsureLoaded();
  return ws::getpeername(s, name);
}
int Connect(TSocket s, const SockAddrIn& to) {
  EnsureLoaded();
  return ws::connect(s, to);
}
int Bind(TSocket s, const SockAddrIn& name) {
  EnsureLoaded();
  return ws::bind(s, name);
}
TSocket Accept(TSocket s, SockAddrIn* from) {
  EnsureLoaded();
  return ws::accept(s, from);
}
int AsyncSelect(TSocket s, platform::HWND window, unsigned message, long events) {
  EnsureLoaded();
  return ws::WSAAsyncSelect(s, window, message, events);
}
int IoctlKeepAliveVals(TSocket s, std::uint32_t onoff, std::uint32_t timeMs,
                       std::uint32_t intervalMs) {
  EnsureLoaded();
  Counted counted;
  return ws::WSAIoctlKeepAliveVals(s, onoff, timeMs, intervalMs);
}
int IoctlRcvAll(TSocket s, std::uint32_t on) {
  EnsureLoaded();
  Counted counted;
  return ws::WSAIoctlRcvAll(s, on);
}
int SetTcpUserTimeout(TSocket s, std::uint32_t timeoutMs) {
  EnsureLoaded();
  Counted counted;
  return ws::WSASetTcpUserTimeout(s, timeoutMs);
}
int SetRetransmitMax(TSocket s, std::uint32_t maxMs) {
  EnsureLoaded();
  Counted counted;
  return ws::TcpSetRetransmitMax(s, maxMs);
}
int PathInfo(TSocket s, ws::TcpPath* path) {
  EnsureLoaded();
  return ws::TcpPathInfo(s, path);
}
std::uint32_t InetAddr(const std::string& text) {
  return ws::inet_addr(text);
}
std::string InetNtoa(std::uint32_t addr) {
  Counted counted;
  return ws::inet_ntoa(addr);
}
std::uint16_t Htons(std::uint16_t v) {
  return ws::Htons(v);
}
std::uint16_t Ntohs(std::uint16_t v) {
  return ws::Ntohs(v);
}

}  // namespace wsock
