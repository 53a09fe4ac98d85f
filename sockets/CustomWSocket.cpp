#include "sockets/CustomWSocket.h"

#include "platform/MessagePump.h"

// The socket's core: its life, its state and events, the notifications that drive it, the
// receiving side and its window.
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
    platform::ReportException("Unknown exception in a socket event");
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
    DebugLog(loWsockDump, Identity() + " TriggerDataSent " + std::to_string(hSocket_));
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
