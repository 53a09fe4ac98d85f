#pragma once

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/MessageWindow.h"
#include "sockets/Component.h"
#include "sockets/PathCarry.h"
#include "sockets/QelLogger.h"
#include "sockets/SendBacklog.h"
#include "sockets/SendBuffer.h"
#include "sockets/WSocketBinding.h"

// The asynchronous socket: a non-blocking socket whose notifications (connect finished, data
// readable, send space free, caller waiting, peer closed, name look-up done) arrive as messages
// on a hidden window that each socket object owns, so every event runs on the thread that created
// the object, from that thread's event loop. Sending never blocks: the data is copied into a
// chain of chunks and pushed out as the network takes it.
//
// Misuse and platform failures raise ESocketException, or, when OnError is assigned, fire it
// instead and return. A connection that is lost is reported by OnSessionClosed (once per
// connection), never by an exception. Every close returns the object to its defaults: Addr and
// Port count as unassigned again, Proto "tcp", linger on with 0 seconds.

using TSocket = platform::winsock::TSocket;
constexpr TSocket INVALID_SOCKET = platform::winsock::INVALID_SOCKET;
using TSockAddrIn = platform::winsock::SockAddrIn;

enum TSocketState : std::uint8_t {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsSocksConnected,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};

enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketKeepAliveOnOff { wsKeepAliveOff, wsKeepAliveOnCustom, wsKeepAliveOnSystem };
enum TWSocketOption { wsoNoReceiveLoop, wsoTcpNoDelay, wsoSIO_RCVALL };
using TWSocketOptions = TSet<TWSocketOption>;

// Messages of the hidden window.
constexpr unsigned WM_ASYNCSELECT = platform::WM_USER + 1;
constexpr unsigned WM_ASYNCGETHOSTBYNAME = platform::WM_USER + 2;
constexpr unsigned WM_ASYNCGETHOSTBYADDR = platform::WM_USER + 3;
constexpr unsigned WM_CLOSE_DELAYED = platform::WM_USER + 4;
constexpr unsigned WM_WSOCKET_RELEASE = platform::WM_USER + 5;
constexpr unsigned WM_TRIGGER_EXCEPTION = platform::WM_USER + 6;
constexpr unsigned WM_TRIGGER_DATA_AVAILABLE = platform::WM_USER + 20;

// A time value (seconds and microseconds).
struct TTimeVal {
  std::int32_t tv_sec = 0;
  std::int32_t tv_usec = 0;
};

class TCustomWSocket : public TComponent {
 public:
  using TChangeState =
      std::function<void(TCustomWSocket* sender, TSocketState oldState, TSocketState newState)>;
  using TSessionConnected = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TSessionAvailable = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TDataAvailable = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TSendData = std::function<void(TCustomWSocket* sender, std::int32_t bytesSent)>;
  using TDataSent = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TSessionClosed = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TDnsLookupDone = std::function<void(TCustomWSocket* sender, std::uint16_t errCode)>;
  using TNotifyEvent = std::function<void(TCustomWSocket* sender)>;
  using TBgExceptionEvent =
      std::function<void(TCustomWSocket* sender, const std::exception& e, bool& canClose)>;

  TCustomWSocket();
  ~TCustomWSocket() override;

  // --- Properties -------------------------------------------------------------------------
  const std::string& Addr() const { return addrStr_; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return portStr_; }
  virtual void SetPort(const std::string& value);
  const std::string& Proto() const { return protoStr_; }
  virtual void SetProto(const std::string& value);
  const std::string& LocalAddr() const { return localAddr_; }
  void SetLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return localPortStr_; }
  void SetLocalPort(const std::string& value);
  std::string PeerAddr() { return GetPeerAddr(); }
  std::string PeerPort() { return GetPeerPort(); }
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  TSocketState State() const { return state_; }
  std::int64_t ReadCount() const { return readCount_; }
  // Bytes that can be read now; -1 on failure.
  virtual std::int32_t RcvdCount();
  std::int32_t LastError() const { return lastError_; }
  void SetLastError(std::int32_t value) { lastError_ = value; }
  bool MultiThreaded() const { return multiThreaded_; }
  void SetMultiThreaded(bool value) { multiThreaded_ = value; }
  bool MultiCast() const { return multiCast_; }
  void SetMultiCast(bool value) { multiCast_ = value; }
  const std::string& MultiCastAddrStr() const { return multiCastAddrStr_; }
  void SetMultiCastAddrStr(const std::string& value) { multiCastAddrStr_ = value; }
  std::int32_t MultiCastIpTTL() const { return multiCastIpTTL_; }
  void SetMultiCastIpTTL(std::int32_t value) { multiCastIpTTL_ = value; }
  bool ReuseAddr() const { return reuseAddr_; }
  void SetReuseAddr(bool value) { reuseAddr_ = value; }
  TWSocketOptions ComponentOptions() const { return options_; }
  void SetComponentOptions(TWSocketOptions value) { options_ = value; }
  std::int32_t ListenBacklog() const { return listenBacklog_; }
  void SetListenBacklog(std::int32_t value) { listenBacklog_ = value; }
  // The socket library version asked for at start-up, shared by all sockets; fixed once started.
  std::uint8_t ReqVerLow() const { return WSocketReqVerLow(); }
  void SetReqVerLow(std::uint8_t value);
  std::uint8_t ReqVerHigh() const { return WSocketReqVerHigh(); }
  void SetReqVerHigh(std::uint8_t value);
  std::int32_t FlushTimeout() const { return flushTimeout_; }
  void SetFlushTimeout(std::int32_t value) { flushTimeout_ = value; }
  TSocketSendFlags SendFlags();
  void SetSendFlags(TSocketSendFlags value);
  TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
  void SetLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
  std::int32_t LingerTimeout() const { return lingerTimeout_; }
  void SetLingerTimeout(std::int32_t value) { lingerTimeout_ = value; }
  TSocketKeepAliveOnOff KeepAliveOnOff() const { return keepAliveOnOff_; }
  void SetKeepAliveOnOff(TSocketKeepAliveOnOff value) { keepAliveOnOff_ = value; }
  std::int32_t KeepAliveTime() const { return keepAliveTime_; }
  void SetKeepAliveTime(std::int32_t value) { keepAliveTime_ = value; }
  std::int32_t KeepAliveInterval() const { return keepAliveInterval_; }
  void SetKeepAliveInterval(std::int32_t value) { keepAliveInterval_ = value; }
  // How long, in milliseconds, sent data or keep-alive probes may go unanswered before the
  // connection is given up and reported closed; 0 (the default) leaves it to the system, which
  // waits about a quarter of an hour for unanswered data. Applied with the keep-alive option.
  std::int32_t UserTimeout() const { return userTimeout_; }
  void SetUserTimeout(std::int32_t value) { userTimeout_ = value; }
  // The longest wait, in milliseconds, between two retransmissions of unanswered data; 0 (the
  // default) leaves the system's back-off, which after a long outage may wait half a minute or
  // more to try again. Applied with the user timeout where the system offers it; a system that
  // does not keeps its back-off, and says so once in the debug output.
  std::int32_t RetransmitMax() const { return retransmitMax_; }
  void SetRetransmitMax(std::int32_t value) { retransmitMax_ = value; }
  // Whether the socket judges the path of its connection as it sends (SamplePath before each
  // send, sockets/PathCarry.h) and fits TCP_NODELAY to it: small writes go out as they come,
  // unless the path is slow and short, where the system gathers them while data is in flight (a
  // packet to each line spends a good part of a slow link on headers, and a queue that drops
  // them has the system send them again).
  bool WatchPath() const { return watchPath_; }
  void SetWatchPath(bool value) { watchPath_ = value; }
  TQelLogger* QelLogger() const { return logger_; }
  virtual void SetQelLogger(TQelLogger* logger);

  TSocket HSocket() const { return hSocket_; }
  // The hidden window (0 while detached).
  platform::HWND Handle() const { return window_ ? window_->Handle() : 0; }
  // The own message pump has seen the application asked to end.
  bool Terminated() const { return terminated_; }

  // --- Opening and closing ----------------------------------------------------------------
  virtual void Connect();
  virtual void Listen();
  // The handle of the next caller of a listening socket, for Dup; INVALID_SOCKET when the
  // caller has gone away meanwhile (LastError 10035) or on failure.
  virtual TSocket Accept();
  // Takes over an open handle (as returned by Accept) as this socket's connection. It applies no
  // keep-alive option: the owner that wants one calls ApplyKeepAlive next.
  virtual void Dup(TSocket newHSocket);
  // Applies the keep-alive option and the user timeout to the open connection, as Connect does
  // before it connects.
  void ApplyKeepAlive();
  // Whether the open connection sends small writes as they come (TCP_NODELAY) or gathers them
  // while data is in flight: a state of this connection, which starts as wsoTcpNoDelay says;
  // the options stay as configured, for the next one. Setting it only tunes the sending, so a
  // system that refuses is no error: false, and the state stays.
  bool NoDelay() const { return noDelay_; }
  bool SetNoDelay(bool on);
  virtual void Close();
  // Closes after the running handler has returned / destroys the object (created with new)
  // after the running handler has returned. The result tells whether the request was posted.
  virtual bool CloseLater();
  virtual bool FreeLater();
  virtual void AbortConnection();
  virtual void Shutdown(int how);
  virtual int SuspendReceive();
  virtual int ResumeReceive();

  // --- Sending -----------------------------------------------------------------------------
  // Queues and sends; returns the bytes accepted (all of them), -1 when not connected.
  virtual std::int32_t Send(const void* data, std::int32_t length);
  virtual std::int32_t SendText(const std::string& text);
  virtual std::int32_t SendTo(const TSockAddrIn& dest, const void* data, std::int32_t length);
  virtual void AppendToSendBuffer(const void* data, std::int32_t length);
  virtual void TryToSend();
  virtual void DiscardSendBuffer();
  // Waits, handling messages, until everything queued has been sent or the socket is gone.
  virtual void DrainSendBuffer();
  bool AllSent() const { return allSent_; }
  // What a stream connection has still to deliver, and what the system knows of its path.
  TSendBacklog SendBacklog();
  // Samples the path of the connection for its verdict (WatchPath) and says what the path is now.
  TLinkState SamplePath();

  // --- Receiving ---------------------------------------------------------------------------
  virtual std::int32_t Receive(void* buffer, std::int32_t length);
  virtual std::string ReceiveText();
  virtual std::int32_t ReceiveFrom(void* buffer, std::int32_t length, TSockAddrIn& from);

  // --- Names -------------------------------------------------------------------------------
  virtual void DnsLookup(const std::string& hostName);
  virtual void ReverseDnsLookup(const std::string& hostAddr);
  virtual void ReverseDnsLookupSync(const std::string& hostAddr);
  virtual void CancelHostLookup();
  virtual std::string GetPeerAddr();
  virtual std::string GetPeerPort();
  virtual int GetPeerName(TSockAddrIn& name);
  virtual int GetSockName(TSockAddrIn& name);
  virtual std::string GetBoundPort();
  virtual std::string GetBoundAddr();

  // --- Window and thread -------------------------------------------------------------------
  virtual void MessagePump();
  virtual void AttachWindow();
  virtual void DetachWindow();
  virtual void WaitForClose();

  static bool TimerIsSet(const TTimeVal& tv) { return tv.tv_sec != 0 || tv.tv_usec != 0; }
  static void TimerClear(TTimeVal& tv) { tv = TTimeVal{}; }
  static bool TimerCmp(const TTimeVal& a, const TTimeVal& b, bool equal) {
    bool same = a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec;
    return equal ? same : !same;
  }

  // --- Events ------------------------------------------------------------------------------
  TChangeState OnChangeState;
  TSessionConnected OnSessionConnected;
  TSessionAvailable OnSessionAvailable;
  TDataAvailable OnDataAvailable;
  TSendData OnSendData;
  TDataSent OnDataSent;
  TSessionClosed OnSessionClosed;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

  virtual void DebugLog(TLogOption option, const std::string& msg);
  virtual bool CheckLogOptions(TLogOption option);
  // The object's address as eight hexadecimal digits, which tells sockets apart in the debug log.
  std::string Identity() const;
  virtual platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
  virtual void AllocateHiddenWindow();
  virtual void DeallocateHiddenWindow();
  virtual void SetDefaults();
  virtual void InternalClose(bool shutdown, std::uint16_t error);
  virtual void InternalAbort(std::uint16_t error);
  virtual bool BindSocket();
  virtual std::int32_t RealSend(const void* data, std::int32_t length);
  virtual void RaiseException(const std::string& msg);
  virtual void RaiseSocketError(const std::string& place, int code);
  void RaiseSocketError(const std::string& place) {
    RaiseSocketError(place, wsock::WSAGetLastError());
  }
  virtual void HandleBackgroundException(const std::exception& e);

  // Fire the events; the layers above intercept some of them.
  virtual bool TriggerDataAvailable(std::uint16_t error);
  virtual void TriggerSessionAvailable(std::uint16_t error);
  virtual void TriggerSessionConnectedSpecial(std::uint16_t error);
  virtual void TriggerSessionConnected(std::uint16_t error);
  virtual void TriggerSessionClosed(std::uint16_t error);
  virtual void TriggerDataSent(std::uint16_t error);
  virtual void TriggerSendData(std::int32_t bytesSent);
  virtual void TriggerChangeState(TSocketState oldState, TSocketState newState);
  virtual void TriggerDnsLookupDone(std::uint16_t error);
  virtual void TriggerError();

  // The raw receive that Receive uses; the layers above serve from their own buffers first.
  virtual std::int32_t DoRecv(void* buffer, std::int32_t length, int flags);
  virtual std::int32_t DoRecvFrom(void* buffer, std::int32_t length, TSockAddrIn& from, int flags);

  virtual void HandleConnectEvent(std::uint16_t error);
  virtual void HandleReadEvent(std::uint16_t error);
  virtual void HandleWriteEvent(std::uint16_t error);
  virtual void HandleAcceptEvent(std::uint16_t error);
  virtual void HandleCloseEvent(std::uint16_t error);
  virtual void DupConnected();
  void ReceiveLoop(std::uint16_t error, TWSocketOptions options);

  void ChangeState(TSocketState newState);
  void AssignEndpoint(const char* name, const std::string& value, std::string& text, bool& assigned,
                      bool& resolved);
  // Makes the next Connect go to addr:port (both in network order) instead of Addr and Port,
  // which stay as they are: the proxy layer reaches its proxy this way.
  void SetConnectTarget(std::uint32_t addr, std::uint16_t port);
  // Undoes SetConnectTarget when the connect did not start: Addr and Port are resolved anew.
  void ClearConnectTarget();
  // Fires OnSessionClosed unless it has been fired for the current connection already.
  void SessionClosedOnce(std::uint16_t error);
  // Runs the destruction steps once, from the most derived destructor.
  void DestroySocket();
  // Something that outlives the object only as a weak reference: lets a caller see that an
  // event handler has destroyed the object.
  std::weak_ptr<char> AliveToken() const { return alive_; }

  TSocket hSocket_ = INVALID_SOCKET;
  TSocketState state_ = wsClosed;
  std::int32_t lastError_ = 0;
  std::int64_t readCount_ = 0;
  bool closeInvoked_ = false;
  bool allSent_ = true;
  bool paused_ = false;
  // Bytes taken from the platform so far; the receive loop watches it to see progress.
  std::uint64_t rcvdProgress_ = 0;

 private:
  void WMAsyncSelect(platform::WPARAM wParam, platform::LPARAM lParam);
  void WMAsyncGetHostByName(platform::WPARAM wParam, platform::LPARAM lParam);
  void WMAsyncGetHostByAddr(platform::WPARAM wParam, platform::LPARAM lParam);
  bool QueryBufferSizes();
  bool SetLingerOption();
  bool SetKeepAliveOption();
  bool SetUserTimeoutOption();
  bool ResolveForConnect(const char* prefix, bool listen);
  bool OpenStream();
  bool OpenListener();
  bool OpenedAtOnce(TSocket handle);
  void CreateAndOpen(const char* place, bool (TCustomWSocket::*open)());
  bool BeginReverseLookup(const std::string& hostAddr);
  // Closes a handle that could not be opened completely and returns to wsClosed.
  void AbandonHandle(TSocket handle);
  void AdoptHandle(TSocket handle);
  // Sets the connection's TCP_NODELAY as the path's verdict asks (WatchPath).
  void FitNoDelay();
  void PumpMessages();
  static platform::LRESULT Dispatch(TCustomWSocket* self, const std::weak_ptr<char>& alive,
                                    unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);

  std::string addrStr_;
  std::string portStr_;
  std::string protoStr_ = "tcp";
  std::string localAddr_ = "0.0.0.0";
  std::string localPortStr_ = "0";
  bool addrAssigned_ = false, portAssigned_ = false, protoAssigned_ = true;
  bool addrResolved_ = false, portResolved_ = false, protoResolved_ = false;
  bool localPortResolved_ = false;
  int proto_ = 6;
  int sockType_ = platform::winsock::kSockStream;
  std::uint16_t localPortNum_ = 0;
  TSockAddrIn sin_;
  TSocket aSocket_ = INVALID_SOCKET;

  std::deque<std::unique_ptr<TBuffer>> bufList_;
  std::int32_t bufSize_ = 1460;
  bool sending_ = false;              // TryToSend runs (an OnSendData handler may send again)
  std::uint64_t sendGeneration_ = 0;  // counts the discards of the chain
  std::uint64_t handedOver_ = 0;      // bytes of this connection the platform has taken
  std::uint64_t written_ = 0;         // bytes of this connection put in the chain and not discarded
  TPathCarry pathCarry_;  // of this connection, told each write, sampled before it (WatchPath)
  bool noDelay_ = false;  // TCP_NODELAY on the open connection
  long selectEvent_ = 0;
  long selectMask_ = 0;
  int sndBufSize_ = 0, rcvBufSize_ = 0;

  platform::winsock::TLookup dnsLookupHandle_ = 0;
  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;

  std::unique_ptr<platform::MessageWindow> window_;
  std::thread::id threadId_;
  bool terminated_ = false;
  TQelLogger* logger_ = nullptr;

  bool multiThreaded_ = false;
  bool multiCast_ = false;
  std::string multiCastAddrStr_;
  std::int32_t multiCastIpTTL_ = 1;
  bool reuseAddr_ = false;
  TWSocketOptions options_;
  std::int32_t listenBacklog_ = 5;
  std::int32_t flushTimeout_ = 60;
  int sendFlags_ = 0;
  TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
  std::int32_t lingerTimeout_ = 0;
  TSocketKeepAliveOnOff keepAliveOnOff_ = wsKeepAliveOnSystem;
  std::int32_t keepAliveTime_ = 30000;
  std::int32_t keepAliveInterval_ = 1000;
  std::int32_t userTimeout_ = 0;
  std::int32_t retransmitMax_ = 0;
  bool watchPath_ = false;

  // The connection that the handle belongs to (handles are never reused) and the last one whose
  // end has been reported.
  TSocket connection_ = INVALID_SOCKET;
  TSocket closedReported_ = INVALID_SOCKET;
  bool destroyed_ = false;
  std::shared_ptr<char> alive_ = std::make_shared<char>(0);
};
