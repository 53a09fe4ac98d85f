#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netdb.h>
#include <netinet/in.h>
// The kernel's own tcp_info: the C library's lacks the fields of the path (notsent, min_rtt).
#include <linux/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/AsyncSelect.h"
#include "platform/SocketTable.h"

namespace platform::winsock {
namespace {

thread_local int t_lastError = 0;
std::atomic<bool> g_started{false};
// The probe count that WinSock's keep-alive timing implies.
constexpr int kKeepAliveProbes = 10;

int Fail(int code) {
  t_lastError = code;
  return SOCKET_ERROR;
}

int FailErrno() {
  return Fail(ErrnoToWinsock(errno));
}

// The entry of a usable handle, or null with the last error set.
detail::EntryPtr Use(TSocket s) {
  if (!g_started.load()) {
    t_lastError = WSANOTINITIALISED;
    return nullptr;
  }
  return detail::Find(s);
}

sockaddr_in ToNative(const SockAddrIn& a) {
  sockaddr_in n{};
  n.sin_family = a.family == kAfInet ? AF_INET : a.family;
  n.sin_port = a.port;
  n.sin_addr.s_addr = a.addr;
  return n;
}

void FromNative(const sockaddr_in& n, SockAddrIn* a) {
  if (a == nullptr) return;
  a->family = n.sin_family == AF_INET ? kAfInet : n.sin_family;
  a->port = n.sin_port;
  a->addr = n.sin_addr.s_addr;
}

// WinSock's option numbering to Linux's; false when there is no counterpart.
bool NativeOption(int level, int name, int* nlevel, int* nname) {
  if (level == kSolSocket) {
    *nlevel = SOL_SOCKET;
    switch (name) {
      case kSoAcceptConn:
        *nname = SO_ACCEPTCONN;
        return true;
      case kSoReuseAddr:
        *nname = SO_REUSEADDR;
        return true;
      case kSoKeepAlive:
        *nname = SO_KEEPALIVE;
        return true;
      case kSoBroadcast:
        *nname = SO_BROADCAST;
        return true;
      case kSoLinger:
        *nname = SO_LINGER;
        return true;
      case kSoSndBuf:
        *nname = SO_SNDBUF;
        return true;
      case kSoRcvBuf:
        *nname = SO_RCVBUF;
        return true;
      case kSoError:
        *nname = SO_ERROR;
        return true;
      case kSoType:
        *nname = SO_TYPE;
        return true;
    }
    return false;
  }
  if (level == kIpProtoTcp && name == kTcpNoDelay) {
    *nlevel = IPPROTO_TCP;
    *nname = TCP_NODELAY;
    return true;
  }
  if (level == kIpProtoIp) {
    *nlevel = IPPROTO_IP;
    switch (name) {
      case kIpMulticastIf:
        *nname = IP_MULTICAST_IF;
        return true;
      case kIpMulticastTtl:
        *nname = IP_MULTICAST_TTL;
        return true;
      case kIpAddMembership:
        *nname = IP_ADD_MEMBERSHIP;
        return true;
    }
  }
  return false;
}

int NativeType(int type) {
  switch (type) {
    case kSockStream:
      return SOCK_STREAM;
    case kSockDgram:
      return SOCK_DGRAM;
    case kSockRaw:
      return SOCK_RAW;
  }
  return -1;
}

}  // namespace

int WSAGetLastError() {
  return t_lastError;
}
void WSASetLastError(int code) {
  t_lastError = code;
}

int ErrnoToWinsock(int err) {
  switch (err) {
    case 0:
      return 0;
    case EINTR:
      return WSAEINTR;
    case EBADF:
      return WSAENOTSOCK;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case EFAULT:
      return WSAEFAULT;
    case EINVAL:
      return WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return WSAEMFILE;
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EAGAIN:
    case EINPROGRESS:
      return WSAEWOULDBLOCK;
    case EALREADY:
      return WSAEALREADY;
    case ENOTSOCK:
      return WSAENOTSOCK;
    case EDESTADDRREQ:
      return WSAEDESTADDRREQ;
    case EMSGSIZE:
      return WSAEMSGSIZE;
    case EPROTOTYPE:
      return WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ENETRESET:
      return WSAENETRESET;
    case ECONNABORTED:
      return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
      return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return WSAENOBUFS;
    case EISCONN:
      return WSAEISCONN;
    case ENOTCONN:
      return WSAENOTCONN;
    case ESHUTDOWN:
      return WSAESHUTDOWN;
    case ETOOMANYREFS:
      return WSAETOOMANYREFS;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case ELOOP:
      return WSAELOOP;
    case ENAMETOOLONG:
      return WSAENAMETOOLONG;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return WSAENOTEMPTY;
    case EUSERS:
      return WSAEUSERS;
    case EDQUOT:
      return WSAEDQUOT;
    case ESTALE:
      return WSAESTALE;
    case EREMOTE:
      return WSAEREMOTE;
  }
  // Outside WinSock's table: the caller sees the number, whose text says so.
  return err;
}

int WSAStartup(std::uint16_t version) {
  // Versions 1.0 up to 2.2 and anything above (answered with 2.2) are served.
  if ((version & 0xFF) == 0) return WSAVERNOTSUPPORTED;
  g_started.store(true);
  return 0;
}

int WSACleanup() {
  if (!g_started.exchange(false)) return Fail(WSANOTINITIALISED);
  for (const detail::EntryPtr& entry : detail::RemoveAll()) {
    detail::Detach(entry);
    ::close(entry->fd);
  }
  return 0;
}

bool WSAStarted() {
  return g_started.load();
}

TSocket socket(int af, int type, int protocol) {
  if (!g_started.load()) return Fail(WSANOTINITIALISED);
  if (af != kAfInet) return Fail(WSAEAFNOSUPPORT);
  int ntype = NativeType(type);
  if (ntype < 0) return Fail(WSAESOCKTNOSUPPORT);
  int fd = ::socket(AF_INET, ntype | SOCK_CLOEXEC, protocol);
  if (fd < 0) return FailErrno();
  return detail::Add(fd, type, false);
}

int closesocket(TSocket s) {
  if (!g_started.load()) return Fail(WSANOTINITIALISED);
  detail::EntryPtr entry = detail::Remove(s);
  if (!entry) return Fail(WSAENOTSOCK);
  detail::Detach(entry);
  if (::close(entry->fd) != 0 && errno != EINTR) return FailErrno();
  return 0;
}

int shutdown(TSocket s, int how) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  int nhow = how == kSdReceive ? SHUT_RD : how == kSdSend ? SHUT_WR : SHUT_RDWR;
  if (::shutdown(entry->fd, nhow) != 0) return FailErrno();
  return 0;
}

int setsockopt(TSocket s, int level, int name, const void* value, int length) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (value == nullptr || length < 0) return Fail(WSAEFAULT);
  int nlevel, nname;
  if (!NativeOption(level, name, &nlevel, &nname)) return Fail(WSAENOPROTOOPT);
  int r;
  if (level == kSolSocket && name == kSoLinger) {
    if (length < static_cast<int>(sizeof(Linger))) return Fail(WSAEFAULT);
    Linger l;
    std::memcpy(&l, value, sizeof(l));
    ::linger nl{l.onoff != 0 ? 1 : 0, l.seconds};
    r = ::setsockopt(entry->fd, nlevel, nname, &nl, sizeof(nl));
  } else if (level == kIpProtoIp && name == kIpAddMembership) {
    if (length < static_cast<int>(sizeof(IpMreq))) return Fail(WSAEFAULT);
    IpMreq m;
    std::memcpy(&m, value, sizeof(m));
    ip_mreq nm{};
    nm.imr_multiaddr.s_addr = m.multiaddr;
    nm.imr_interface.s_addr = m.interface;
    r = ::setsockopt(entry->fd, nlevel, nname, &nm, sizeof(nm));
  } else if (level == kIpProtoIp && name == kIpMulticastIf) {
    if (length < 4) return Fail(WSAEFAULT);
    in_addr a{};
    std::memcpy(&a.s_addr, value, 4);
    r = ::setsockopt(entry->fd, nlevel, nname, &a, sizeof(a));
  } else {
    // Boolean and integer options: WinSock takes any length up to an int.
    int v = 0;
    if (length >= static_cast<int>(sizeof(int))) {
      std::memcpy(&v, value, sizeof(int));
    } else if (length >= 1) {
      v = *static_cast<const unsigned char*>(value);
    } else {
      return Fail(WSAEFAULT);
    }
    r = ::setsockopt(entry->fd, nlevel, nname, &v, sizeof(v));
  }
  if (r != 0) return FailErrno();
  return 0;
}

int getsockopt(TSocket s, int level, int name, void* value, int* length) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (value == nullptr || length == nullptr) return Fail(WSAEFAULT);
  int nlevel, nname;
  if (!NativeOption(level, name, &nlevel, &nname)) return Fail(WSAENOPROTOOPT);
  if (level == kSolSocket && name == kSoLinger) {
    if (*length < static_cast<int>(sizeof(Linger))) return Fail(WSAEFAULT);
    ::linger nl{};
    socklen_t len = sizeof(nl);
    if (::getsockopt(entry->fd, nlevel, nname, &nl, &len) != 0) return FailErrno();
    Linger l{static_cast<std::uint16_t>(nl.l_onoff != 0 ? 1 : 0),
             static_cast<std::uint16_t>(nl.l_linger)};
    std::memcpy(value, &l, sizeof(l));
    *length = sizeof(l);
    return 0;
  }
  if (*length < static_cast<int>(sizeof(int))) return Fail(WSAEFAULT);
  int v = 0;
  socklen_t len = sizeof(v);
  if (::getsockopt(entry->fd, nlevel, nname, &v, &len) != 0) return FailErrno();
  if (level == kSolSocket && name == kSoError) v = ErrnoToWinsock(v);
  if (level == kSolSocket && name == kSoType) {
    v = v == SOCK_STREAM ? kSockStream : v == SOCK_DGRAM ? kSockDgram : kSockRaw;
  }
  std::memcpy(value, &v, sizeof(v));
  *length = sizeof(v);
  return 0;
}

int send(TSocket s, const void* data, int length, int flags) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (length < 0) return Fail(WSAEINVAL);
  ssize_t n = ::send(entry->fd, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
  if (n < 0) {
    int err = errno;
    detail::AfterSend(entry, err == EAGAIN || err == EWOULDBLOCK);
    // A connection that the system gave up on (unanswered data or probes, or a host that cannot
    // be reached) fails the send as WinSock's does: aborted, not an error of the call.
    if (entry->type == kSockStream &&
        (err == ETIMEDOUT || err == EHOSTUNREACH || err == ENETUNREACH))
      return Fail(WSAECONNABORTED);
    return Fail(ErrnoToWinsock(err));
  }
  // A stream that took part of the data is full for now: the rest waits for FD_WRITE.
  detail::AfterSend(entry, entry->type == kSockStream && n < length);
  return static_cast<int>(n);
}

int sendto(TSocket s, const void* data, int length, int flags, const SockAddrIn& to) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (length < 0) return Fail(WSAEINVAL);
  sockaddr_in n = ToNative(to);
  ssize_t r = ::sendto(entry->fd, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL,
                       reinterpret_cast<sockaddr*>(&n), sizeof(n));
  if (r < 0) {
    int err = errno;
    detail::AfterSend(entry, err == EAGAIN || err == EWOULDBLOCK);
    return Fail(ErrnoToWinsock(err));
  }
  detail::AfterSend(entry, entry->type == kSockStream && r < length);
  return static_cast<int>(r);
}

int recv(TSocket s, void* buffer, int length, int flags) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (length < 0) return Fail(WSAEINVAL);
  ssize_t n = ::recv(entry->fd, buffer, static_cast<size_t>(length), flags);
  int err = n < 0 ? ErrnoToWinsock(errno) : 0;
  if ((flags & kMsgPeek) == 0) detail::AfterReceive(entry, static_cast<int>(n), err);
  if (n < 0) return Fail(err);
  return static_cast<int>(n);
}

int recvfrom(TSocket s, void* buffer, int length, int flags, SockAddrIn* from) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (length < 0) return Fail(WSAEINVAL);
  sockaddr_in n{};
  socklen_t len = sizeof(n);
  ssize_t r = ::recvfrom(entry->fd, buffer, static_cast<size_t>(length), flags,
                         reinterpret_cast<sockaddr*>(&n), &len);
  int err = r < 0 ? ErrnoToWinsock(errno) : 0;
  if ((flags & kMsgPeek) == 0) detail::AfterReceive(entry, static_cast<int>(r), err);
  if (r < 0) return Fail(err);
  FromNative(n, from);
  return static_cast<int>(r);
}

int listen(TSocket s, int backlog) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (::listen(entry->fd, backlog) != 0) return FailErrno();
  detail::AfterListen(entry);
  return 0;
}

int ioctlsocket(TSocket s, long command, std::uint32_t* argument) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (argument == nullptr) return Fail(WSAEFAULT);
  if (command == kFionRead || command == kSiocOutQ) {
    int n = 0;
    if (::ioctl(entry->fd, command == kFionRead ? FIONREAD : SIOCOUTQ, &n) != 0) return FailErrno();
    *argument = static_cast<std::uint32_t>(n < 0 ? 0 : n);
    return 0;
  }
  if (command == kFionBio) {
    int flags = ::fcntl(entry->fd, F_GETFL);
    if (flags < 0) return FailErrno();
    flags = *argument != 0 ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    if (::fcntl(entry->fd, F_SETFL, flags) != 0) return FailErrno();
    return 0;
  }
  return Fail(WSAEINVAL);
}

int getsockname(TSocket s, SockAddrIn* name) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  sockaddr_in n{};
  socklen_t len = sizeof(n);
  if (::getsockname(entry->fd, reinterpret_cast<sockaddr*>(&n), &len) != 0) return FailErrno();
  FromNative(n, name);
  return 0;
}

int getpeername(TSocket s, SockAddrIn* name) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  sockaddr_in n{};
  socklen_t len = sizeof(n);
  if (::getpeername(entry->fd, reinterpret_cast<sockaddr*>(&n), &len) != 0) return FailErrno();
  FromNative(n, name);
  return 0;
}

int connect(TSocket s, const SockAddrIn& to) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  sockaddr_in n = ToNative(to);
  int r = ::connect(entry->fd, reinterpret_cast<sockaddr*>(&n), sizeof(n));
  int err = r == 0 ? 0 : errno;
  bool selected;
  {
    std::lock_guard guard(entry->lock);
    selected = entry->agent != nullptr;
    if (!selected && r == 0) entry->connected = true;
  }
  if (selected) return detail::AsyncConnect(entry, r, err);
  if (r != 0) return Fail(ErrnoToWinsock(err));
  return 0;
}

int bind(TSocket s, const SockAddrIn& name) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  sockaddr_in n = ToNative(name);
  if (::bind(entry->fd, reinterpret_cast<sockaddr*>(&n), sizeof(n)) != 0) return FailErrno();
  return 0;
}

TSocket accept(TSocket s, SockAddrIn* from) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return INVALID_SOCKET;
  for (;;) {
    sockaddr_in n{};
    socklen_t len = sizeof(n);
    int fd =
        ::accept4(entry->fd, reinterpret_cast<sockaddr*>(&n), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      detail::AfterAccept(entry);
      FromNative(n, from);
      return detail::Add(fd, kSockStream, true);
    }
    int err = errno;
    // Callers that gave up before they were taken: take the next one instead.
    if (err == ECONNABORTED || err == EPROTO || err == EINTR) continue;
    detail::AfterAccept(entry);
    Fail(ErrnoToWinsock(err));
    return INVALID_SOCKET;
  }
}

int WSAIoctlKeepAliveVals(TSocket s, std::uint32_t onoff, std::uint32_t timeMs,
                          std::uint32_t intervalMs) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  int on = onoff != 0 ? 1 : 0;
  if (::setsockopt(entry->fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)) != 0) return FailErrno();
  if (!on) return 0;
  // Linux counts whole seconds; round up so that a short time never becomes none.
  int idle = static_cast<int>((timeMs + 999) / 1000);
  int interval = static_cast<int>((intervalMs + 999) / 1000);
  if (idle < 1) idle = 1;
  if (interval < 1) interval = 1;
  if (::setsockopt(entry->fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof(idle)) != 0 ||
      ::setsockopt(entry->fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof(interval)) != 0 ||
      ::setsockopt(entry->fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof(int)) != 0) {
    return FailErrno();
  }
  return 0;
}

int WSASetTcpUserTimeout(TSocket s, std::uint32_t timeoutMs) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  unsigned int ms = timeoutMs;
  if (::setsockopt(entry->fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &ms, sizeof(ms)) != 0)
    return FailErrno();
  return 0;
}

int TcpSetRetransmitMax(TSocket s, std::uint32_t maxMs) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  int ms = static_cast<int>(maxMs);
  if (::setsockopt(entry->fd, IPPROTO_TCP, kTcpRtoMaxMsOption, &ms, sizeof(ms)) != 0)
    return FailErrno();
  return 0;
}

int TcpPathInfo(TSocket s, TcpPath* path) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  if (path == nullptr) return Fail(WSAEFAULT);
  tcp_info info{};
  socklen_t length = sizeof(info);
  if (::getsockopt(entry->fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0) return FailErrno();
  *path = TcpPath{};
  path->SinceAckMs = info.tcpi_last_ack_recv;
  // Before its first sample the least round trip is all ones.
  if (info.tcpi_min_rtt != ~0u) path->MinRttUs = info.tcpi_min_rtt;
  path->Retransmitting = info.tcpi_retrans > 0 || info.tcpi_ca_state >= TCP_CA_Recovery;
  return 0;
}

int WSAIoctlRcvAll(TSocket s, std::uint32_t) {
  detail::EntryPtr entry = Use(s);
  if (!entry) return SOCKET_ERROR;
  return Fail(WSAEOPNOTSUPP);
}

std::uint32_t inet_addr(const std::string& text) {
  // glibc also takes "1.2.3" or "0x7f.1"; only the four-part form is an address here.
  int dots = 0;
  for (char c : text) dots += c == '.';
  if (dots != 3) return kInAddrNone;
  return ::inet_addr(text.c_str());
}

std::string inet_ntoa(std::uint32_t addr) {
  char buf[INET_ADDRSTRLEN] = {};
  in_addr a{};
  a.s_addr = addr;
  ::inet_ntop(AF_INET, &a, buf, sizeof(buf));
  return buf;
}

std::uint16_t Htons(std::uint16_t v) {
  return htons(v);
}
std::uint16_t Ntohs(std::uint16_t v) {
  return ntohs(v);
}

int gethostname(std::string& name, int size) {
  if (!g_started.load()) return Fail(WSANOTINITIALISED);
  if (size <= 0) return Fail(WSAEFAULT);
  std::string buf(static_cast<size_t>(size), '\0');
  if (::gethostname(buf.data(), buf.size()) != 0) return FailErrno();
  buf[buf.size() - 1] = '\0';
  name = buf.c_str();
  return 0;
}

bool getservbyname(const std::string& name, const std::string& proto, std::uint16_t* port) {
  if (!g_started.load()) {
    t_lastError = WSANOTINITIALISED;
    return false;
  }
  servent entry{};
  servent* result = nullptr;
  char buf[4096];
  if (::getservbyname_r(name.c_str(), proto.empty() ? nullptr : proto.c_str(), &entry, buf,
                        sizeof(buf), &result) != 0 ||
      result == nullptr) {
    t_lastError = WSANO_DATA;
    return false;
  }
  *port = static_cast<std::uint16_t>(result->s_port);
  return true;
}

bool getprotobyname(const std::string& name, int* number) {
  if (!g_started.load()) {
    t_lastError = WSANOTINITIALISED;
    return false;
  }
  protoent entry{};
  protoent* result = nullptr;
  char buf[4096];
  if (::getprotobyname_r(name.c_str(), &entry, buf, sizeof(buf), &result) != 0 ||
      result == nullptr) {
    t_lastError = WSANO_DATA;
    return false;
  }
  *number = result->p_proto;
  return true;
}

int NativeDescriptor(TSocket s) {
  detail::EntryPtr entry = detail::Find(s);
  return entry ? entry->fd : -1;
}

}  // namespace platform::winsock
