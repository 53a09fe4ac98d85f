#include <algorithm>

#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "sockets/CustomWSocket.h"

// The send pump: sending directly or through the send buffer as the socket can take it.
namespace ws = platform::winsock;

// ---------------------------------------------------------------------------------------------
// Sending

std::int32_t TCustomWSocket::Send(const void* data, std::int32_t length) {
  if (state_ != wsConnected && state_ != wsSocksConnected) {
    wsock::WSASetLastError(ws::WSAENOTCONN);
    RaiseSocketError("Send", ws::WSAENOTCONN);
    return -1;
  }
  allSent_ = false;
  if (watchPath_) {
    SamplePath();
    FitNoDelay();
  }
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

void TCustomWSocket::FitNoDelay() {
  bool atOnce;
  {
    std::lock_guard guard(WSocketSendBufferLock());
    atOnce = pathCarry_.SendAtOnce();
  }
  if (atOnce != noDelay_) SetNoDelay(atOnce);
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
  written_ += static_cast<std::uint64_t>(length);
  if (watchPath_) pathCarry_.Wrote(platform::GetTickCount(), written_);
}

void TCustomWSocket::DiscardSendBuffer() {
  std::lock_guard guard(WSocketSendBufferLock());
  for (const auto& chunk : bufList_)
    written_ -= std::min<std::uint64_t>(chunk->Peek().second, written_);
  bufList_.clear();
  ++sendGeneration_;
  // What was written will not all be delivered now: the path's measure starts over.
  pathCarry_.Reset();
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
      // A handler may discard the chain and send again; the new chunk can take the freed one's
      // address, so only the count tells that the bytes sent were not its own.
      std::uint64_t generation = sendGeneration_;
      lock.unlock();
      int n = RealSend(data, length);
      int err = n < 0 ? wsock::WSAGetLastError() : 0;
      lock.lock();
      if (hSocket_ != handle) return;  // a handler closed the socket
      if (n > 0) handedOver_ += static_cast<std::uint64_t>(n);
      if (bufList_.empty()) {  // a handler discarded the chain
        allSent_ = true;
        return;
      }
      if (generation != sendGeneration_) continue;
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

TSendBacklog TCustomWSocket::SendBacklog() {
  TSendBacklog backlog;
  {
    std::lock_guard guard(WSocketSendBufferLock());
    for (const auto& chunk : bufList_) backlog.Queued += chunk->Peek().second;
  }
  backlog.Delivered = handedOver_;
  if (hSocket_ == INVALID_SOCKET) return backlog;
  std::uint32_t held = 0;
  if (wsock::IoctlSocket(hSocket_, ws::kSiocOutQ, &held) != 0) held = 0;
  backlog.InFlight = std::min<std::uint64_t>(held, handedOver_);
  backlog.Delivered = handedOver_ - backlog.InFlight;
  ws::TcpPath path;
  if (wsock::PathInfo(hSocket_, &path) != 0) return backlog;
  backlog.MinRttUs = path.MinRttUs;
  backlog.SinceAckMs = path.SinceAckMs;
  backlog.Retransmitting = path.Retransmitting;
  return backlog;
}

TLinkState TCustomWSocket::SamplePath() {
  const TSendBacklog backlog = SendBacklog();
  const std::uint32_t now = platform::GetTickCount();
  std::lock_guard guard(WSocketSendBufferLock());
  pathCarry_.Sample(now, backlog);
  return pathCarry_.Link(now, backlog.Delivered);
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
