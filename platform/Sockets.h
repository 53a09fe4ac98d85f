#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The BSD socket calls in the shape the socket component expects: WinSock numbering for
// constants and error codes, a thread-local last error, and socket handles that are never
// reused within a run (a notification still queued for a closed socket can never be taken for a
// later one, although Linux hands out the same descriptor number again at once).
//
// Every call fails with WSANOTINITIALISED until WSAStartup has run, and again after WSACleanup.
// Sockets are created close-on-exec; sends never raise SIGPIPE.
namespace platform::winsock {

using TSocket = std::intptr_t;
constexpr TSocket INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// Error codes.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Families, types, protocols.
constexpr int kAfInet = 2;
constexpr int kSockStream = 1;
constexpr int kSockDgram = 2;
constexpr int kSockRaw = 3;
constexpr int kIpProtoIp = 0;
constexpr int kIpProtoTcp = 6;
constexpr int kIpProtoUdp = 17;

// Option levels and names.
constexpr int kSolSocket = 0xffff;
constexpr int kSoAcceptConn = 0x0002;
constexpr int kSoReuseAddr = 0x0004;
constexpr int kSoKeepAlive = 0x0008;
constexpr int kSoBroadcast = 0x0020;
constexpr int kSoLinger = 0x0080;
constexpr int kSoSndBuf = 0x1001;
constexpr int kSoRcvBuf = 0x1002;
constexpr int kSoError = 0x1007;
constexpr int kSoType = 0x1008;
constexpr int kTcpNoDelay = 0x0001;  // level kIpProtoTcp
constexpr int kIpMulticastIf = 2;    // level kIpProtoIp; value: in_addr (4 bytes)
constexpr int kIpMulticastTtl = 3;   // value: int
constexpr int kIpAddMembership = 5;  // value: IpMreq

// Send and receive flags (the same bits as on Linux).
constexpr int kMsgOob = 1;
constexpr int kMsgPeek = 2;

// ioctlsocket commands.
constexpr long kFionRead = 0x4004667F;
constexpr long kFionBio = 0x8004667E;
// Bytes of a TCP connection that the platform holds unacknowledged by the peer (Linux's
// SIOCOUTQ; WinSock has no such command).
constexpr long kSiocOutQ = 0x5411;

// Shutdown directions.
constexpr int kSdReceive = 0;
constexpr int kSdSend = 1;
constexpr int kSdBoth = 2;

constexpr std::uint32_t kInAddrNone = 0xFFFFFFFF;
constexpr std::uint32_t kInAddrAny = 0;

// An IPv4 address record; port and address in network byte order.
struct SockAddrIn {
  std::uint16_t family = 0;
  std::uint16_t port = 0;
  std::uint32_t addr = 0;
};

// The linger option as WinSock lays it out.
struct Linger {
  std::uint16_t onoff = 0;
  std::uint16_t seconds = 0;
};

struct IpMreq {
  std::uint32_t multiaddr = 0;  // network order
  std::uint32_t interface = 0;  // network order
};

int WSAGetLastError();
void WSASetLastError(int code);
// The WinSock code for a Linux errno value (0 for 0).
int ErrnoToWinsock(int err);

// version: low byte the major, high byte the minor version asked for. 0 or WSAVERNOTSUPPORTED.
int WSAStartup(std::uint16_t version);
// Closes every socket still open, as WinSock does; later calls fail until the next start-up.
int WSACleanup();
bool WSAStarted();

TSocket socket(int af, int type, int protocol);
// Removes any asynchronous select of the socket before the descriptor is closed.
int closesocket(TSocket s);
int shutdown(TSocket s, int how);
int setsockopt(TSocket s, int level, int name, const void* value, int length);
int getsockopt(TSocket s, int level, int name, void* value, int* length);
// On a stream whose connection the system has given up on (timed out, unreachable) it fails with
// WSAECONNABORTED, as WinSock's send does.
int send(TSocket s, const void* data, int length, int flags);
int sendto(TSocket s, const void* data, int length, int flags, const SockAddrIn& to);
int recv(TSocket s, void* buffer, int length, int flags);
int recvfrom(TSocket s, void* buffer, int length, int flags, SockAddrIn* from);
int listen(TSocket s, int backlog);
int ioctlsocket(TSocket s, long command, std::uint32_t* argument);
int getsockname(TSocket s, SockAddrIn* name);
int getpeername(TSocket s, SockAddrIn* name);
// On a socket with an asynchronous select the call does not wait: it answers WSAEWOULDBLOCK and
// the outcome arrives as FD_CONNECT, also when the refusal was known at once.
int connect(TSocket s, const SockAddrIn& to);
int bind(TSocket s, const SockAddrIn& name);
// The new socket is non-blocking and close-on-exec. Callers that vanished before they were
// taken are skipped; with none left the answer is WSAEWOULDBLOCK.
TSocket accept(TSocket s, SockAddrIn* from);

// The keep-alive timing (SIO_KEEPALIVE_VALS): idle time and probe interval in milliseconds. As
// with WinSock the probes are ten, whatever the system's own default count.
int WSAIoctlKeepAliveVals(TSocket s, std::uint32_t onoff, std::uint32_t timeMs,
                          std::uint32_t intervalMs);
// How long sent data, or with keep-alive on the probes, may go unanswered before the system gives
// the connection up (TCP_USER_TIMEOUT), in milliseconds; 0 restores the system's own limit. The
// connection then reports FD_CLOSE with WSAETIMEDOUT.
int WSASetTcpUserTimeout(TSocket s, std::uint32_t timeoutMs);
// Linux's TCP_RTO_MAX_MS (from Linux 6.15), which the C library's headers may not have yet.
constexpr int kTcpRtoMaxMsOption = 44;
// The longest wait between two retransmissions of unanswered data (kTcpRtoMaxMsOption), in
// milliseconds, so that data goes out again soon after a link comes back. A kernel without the
// option fails with WSAENOPROTOOPT (or WSAEINVAL) and keeps its own back-off.
int TcpSetRetransmitMax(TSocket s, std::uint32_t maxMs);
// What the system knows of a connection's path (TCP_INFO).
struct TcpPath {
  // The least round trip seen, in microseconds; 0 when there is none yet.
  std::uint32_t MinRttUs = 0;
  // Milliseconds since the peer last acknowledged anything, data or probe: a peer that answers
  // with a shut window keeps it low, one that cannot be reached lets it grow.
  std::uint32_t SinceAckMs = 0;
  // The system is sending again what the path lost, and the rest waits for it.
  bool Retransmitting = false;
};
int TcpPathInfo(TSocket s, TcpPath* path);
// Receive-all on a raw socket (SIO_RCVALL). Linux has no such switch for IPv4 raw sockets:
// always fails with WSAEOPNOTSUPP.
int WSAIoctlRcvAll(TSocket s, std::uint32_t on);

// kInAddrNone when the text is not an address.
std::uint32_t inet_addr(const std::string& text);
std::string inet_ntoa(std::uint32_t addr);
std::uint16_t Htons(std::uint16_t v);
std::uint16_t Ntohs(std::uint16_t v);

// 0 with the host name (at most size - 1 characters), or SOCKET_ERROR.
int gethostname(std::string& name, int size);
// The port (network order) of a service; false (last error WSANO_DATA) when unknown.
bool getservbyname(const std::string& name, const std::string& proto, std::uint16_t* port);
// The number of a protocol; false (last error WSANO_DATA) when unknown.
bool getprotobyname(const std::string& name, int* number);

// The descriptor behind a handle, -1 for none. For tests.
int NativeDescriptor(TSocket s);

}  // namespace platform::winsock
