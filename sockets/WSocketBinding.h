#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "platform/AsyncSelect.h"
#include "platform/HostLookup.h"
#include "platform/MessageWindow.h"
#include "platform/Sockets.h"

// The socket layer's binding to the platform: starting and releasing the socket library, the
// process-wide locks and socket count, the resolution of host, port and protocol texts, the
// local host name, utility windows, and the texts of the WinSock error codes.

// The exception class of the whole socket layer.
class ESocketException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The text of a WinSock error code; "Not a WinSock error" for any other number.
std::string WinsockErrorText(int code);

// "Error <code> in function <place>" CR LF and the code's text.
std::string WSocketErrorDesc(int code, const std::string& place);

// The resolvers raise ESocketException (never through an OnError handler).
// An IPv4 address, in network order, from a dotted quad or a host name (blocking look-up).
std::uint32_t WSocketResolveHost(const std::string& host);
// A port number from a decimal text (0 to 65535) or a service name with its protocol.
std::uint16_t WSocketResolvePort(const std::string& port, const std::string& proto);
// A protocol number from a decimal text or a protocol name.
int WSocketResolveProto(const std::string& proto);

// Four decimal parts of at most 255, separated by three dots, blanks in front; the first other
// character ends the address and may be followed by blanks only.
bool WSocketIsDottedIP(const std::string& text);
// Leading blanks skipped, decimal digits added up to the first other character; 0 for none.
// Values beyond 65535 come back as 65536, which no caller accepts.
int WSocketAtoi(const std::string& text);

// The machine's host name (at most 63 characters).
std::string GetLocalHostName();

// Starting and releasing the socket library. The first use of any socket function starts it with
// the requested version; it is released when the last socket object goes.
void WSocketLoad();  // raises ESocketException when the start fails
void WSocketUnload();
bool WSocketLoaded();
int WSocketCount();
void WSocketIncrementCount();
// Lowers the count and releases the library when no socket object is left.
void WSocketDecrementCount();
std::uint8_t WSocketReqVerLow();
std::uint8_t WSocketReqVerHigh();
// False when the library has been started already (the version is fixed then).
bool WSocketSetReqVer(std::uint8_t low, std::uint8_t high);

// Process-wide re-entrant locks.
std::recursive_mutex& WSocketLock();
std::recursive_mutex& WSocketSendBufferLock();

// A hidden utility window whose messages go to proc (the HTTP client's own window).
std::unique_ptr<platform::MessageWindow> AllocateSocketWindow(
    platform::MessageWindow::WndProc proc);
void DeallocateSocketWindow(std::unique_ptr<platform::MessageWindow>& window);

// The platform calls with the library started first. The counted ones keep the library from
// being released while they run.
namespace wsock {
using platform::winsock::SockAddrIn;
using platform::winsock::TSocket;
int WSAGetLastError();
void WSASetLastError(int code);
TSocket Socket(int af, int type, int protocol);
int CloseSocket(TSocket s);
int Shutdown(TSocket s, int how);
int SetSockOpt(TSocket s, int level, int name, const void* value, int length);
int GetSockOpt(TSocket s, int level, int name, void* value, int* length);  // counted
int Send(TSocket s, const void* data, int length, int flags);
int SendTo(TSocket s, const void* data, int length, int flags, const SockAddrIn& to);
int Recv(TSocket s, void* buffer, int length, int flags);
int RecvFrom(TSocket s, void* buffer, int length, int flags, SockAddrIn* from);
int Listen(TSocket s, int backlog);
int IoctlSocket(TSocket s, long command, std::uint32_t* argument);
int GetSockName(TSocket s, SockAddrIn* name);
int GetPeerName(TSocket s, SockAddrIn* name);
int Connect(TSocket s, const SockAddrIn& to);
int Bind(TSocket s, const SockAddrIn& name);
TSocket Accept(TSocket s, SockAddrIn* from);
int AsyncSelect(TSocket s, platform::HWND window, unsigned message, long events);
int IoctlKeepAliveVals(TSocket s, std::uint32_t onoff, std::uint32_t timeMs,
                       std::uint32_t intervalMs);           // counted
int IoctlRcvAll(TSocket s, std::uint32_t on);               // counted
int SetTcpUserTimeout(TSocket s, std::uint32_t timeoutMs);  // counted
int SetRetransmitMax(TSocket s, std::uint32_t maxMs);       // counted
int PathInfo(TSocket s, platform::winsock::TcpPath* path);
std::uint32_t InetAddr(const std::string& text);
std::string InetNtoa(std::uint32_t addr);  // counted
std::uint16_t Htons(std::uint16_t v);
std::uint16_t Ntohs(std::uint16_t v);
}  // namespace wsock
