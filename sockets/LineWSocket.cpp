#include "sockets/LineWSocket.h"

#include <algorithm>
#include <cstring>

namespace ws = platform::winsock;

TCustomLineWSocket::TCustomLineWSocket() {
  lineEnd_ = "\r\n";
  lineMode_ = false;
  lineLimit_ = 65536;
}

void TCustomLineWSocket::SetLineMode(bool value) {
  if (value == lineMode_) return;
  lineMode_ = value;
  searched_ = 0;
  if ((rcvCnt_ > 0 || rcvdLen_ > 0) && Handle() != 0) {
    platform::MessageWindow::Post(Handle(), WM_TRIGGER_DATA_AVAILABLE, 0, 0);
  }
}

std::int32_t TCustomLineWSocket::SendLine(const std::string& text) {
  if (text.empty()) return 0;
  AppendToSendBuffer(text.data(), static_cast<std::int32_t>(text.size()));
  SendText(lineEnd_);
  return static_cast<std::int32_t>(text.size() + lineEnd_.size());
}

std::int32_t TCustomLineWSocket::RcvdCount() {
  if (lineMode_) return rcvdLen_;
  return TCustomSocksWSocket::RcvdCount();
}

platform::LRESULT TCustomLineWSocket::WndProc(unsigned msg, platform::WPARAM wParam,
                                              platform::LPARAM lParam) {
  if (msg != WM_TRIGGER_DATA_AVAILABLE) return TCustomSocksWSocket::WndProc(msg, wParam, lParam);
  std::weak_ptr<char> alive = AliveToken();
  try {
    Rescan();
  } catch (const std::exception& e) {
    if (!alive.expired()) HandleBackgroundException(e);
  }
  return 0;
}

void TCustomLineWSocket::Reserve(std::int32_t size) {
  if (static_cast<std::int32_t>(rcvBuf_.size()) < size) rcvBuf_.resize(static_cast<size_t>(size));
}

void TCustomLineWSocket::DropFront(std::int32_t count) {
  count = std::min(count, rcvCnt_);
  if (count <= 0) return;
  std::memmove(rcvBuf_.data(), rcvBuf_.data() + count, static_cast<size_t>(rcvCnt_ - count));
  rcvCnt_ -= count;
  rcvBuf_[static_cast<size_t>(rcvCnt_)] = 0;
  searched_ = std::max(0, searched_ - count);
}

void TCustomLineWSocket::FreeBuffer() {
  std::vector<char>().swap(rcvBuf_);
  rcvCnt_ = 0;
  rcvdLen_ = 0;
  searched_ = 0;
  ++bufferGeneration_;
}

std::int32_t TCustomLineWSocket::DoRecv(void* buffer, std::int32_t length, int flags) {
  bool peek = (flags & ws::kMsgPeek) != 0;
  std::int32_t n = 0;
  if (lineMode_ && rcvdLen_ > 0) {
    n = std::min(length, rcvdLen_);
  } else if (!lineMode_ && rcvCnt_ > 0) {
    n = std::min(length, rcvCnt_);
  } else {
    return TCustomSocksWSocket::DoRecv(buffer, length, flags);
  }
  if (n <= 0) return 0;
  std::memcpy(buffer, rcvBuf_.data(), static_cast<size_t>(n));
  if (!peek) {
    // What is read leaves the buffer at once, so the rest of the line, its terminator and what
    // follows stay in order whether LineMode stays on or not.
    DropFront(n);
    if (lineMode_) rcvdLen_ -= n;
    rcvdProgress_ += static_cast<std::uint64_t>(n);
  }
  return n;
}

void TCustomLineWSocket::DupConnected() {
  FreeBuffer();
  TCustomSocksWSocket::DupConnected();
}

bool TCustomLineWSocket::DeliverPendingLine() {
  std::weak_ptr<char> alive = AliveToken();
  std::uint64_t generation = bufferGeneration_;
  while (lineMode_ && rcvdLen_ > 0) {
    std::int32_t before = rcvdLen_;
    if (!TCustomSocksWSocket::TriggerDataAvailable(0)) {
      // Nobody reads lines: the line is dropped.
      DropFront(rcvdLen_);
      rcvdLen_ = 0;
      return true;
    }
    if (alive.expired() || generation != bufferGeneration_) return false;
    // A handler that reads nothing would be fired for the same line forever; the line waits for
    // the next event instead.
    if (lineMode_ && rcvdLen_ == before) return false;
  }
  return true;
}

bool TCustomLineWSocket::TriggerDataAvailable(std::uint16_t error) {
  if (!lineMode_ || lineEnd_.empty() || SocksNegotiating()) {
    return TCustomSocksWSocket::TriggerDataAvailable(error);
  }
  std::weak_ptr<char> alive = AliveToken();
  const auto endLen = static_cast<std::int32_t>(lineEnd_.size());

  std::int32_t n = TCustomSocksWSocket::RcvdCount();
  if (n < 0) return true;
  if (n == 0) n = 255;
  Reserve(rcvCnt_ + n + 1);
  std::int32_t r = TCustomSocksWSocket::DoRecv(rcvBuf_.data() + rcvCnt_, n, 0);
  if (r < 0) {
    lastError_ = wsock::WSAGetLastError();
  } else {
    readCount_ += r;
  }
  if (r < 1) {
    if (rcvCnt_ == 0) return true;
    n = 0;
  } else {
    n = r;
  }

  if (n > 0) {
    if (lineEdit_) {
      LineEditing(n);
    } else if (lineEcho_) {
      Send(rcvBuf_.data() + rcvCnt_, n);
    }
    if (alive.expired()) return true;
  }
  // Editing may have taken back bytes that were searched already.
  searched_ = std::min(searched_, rcvCnt_);
  rcvCnt_ += n;
  Reserve(rcvCnt_ + 1);
  rcvBuf_[static_cast<size_t>(rcvCnt_)] = 0;

  std::uint64_t generation = bufferGeneration_;
  for (;;) {
    if (!lineMode_) return true;
    std::int32_t found = -1;
    for (std::int32_t i = searched_; i + endLen <= rcvCnt_; ++i) {
      if (std::memcmp(rcvBuf_.data() + i, lineEnd_.data(), static_cast<size_t>(endLen)) == 0) {
        found = i;
        break;
      }
    }
    if (found < 0) {
      // A terminator split across two receives starts within the last endLen - 1 bytes.
      searched_ = std::max(0, rcvCnt_ - endLen + 1);
      break;
    }
    rcvdLen_ = found + endLen;
    lineReceivedFlag_ = true;
    lineFound_ = true;
    if (!DeliverPendingLine()) return true;
    if (alive.expired() || generation != bufferGeneration_) return true;
    if (!lineMode_) {
      // Switched to raw data in the handler: what is held is read raw now.
      rcvdLen_ = 0;
      while (!lineMode_ && rcvCnt_ > 0) {
        std::int32_t before = rcvCnt_;
        if (!TCustomSocksWSocket::TriggerDataAvailable(0)) break;
        if (alive.expired() || generation != bufferGeneration_) return true;
        if (rcvCnt_ == before) break;
      }
    }
    searched_ = 0;
  }

  if (lineLimit_ > 0 && rcvCnt_ > lineLimit_) {
    lineClearData_ = true;
    TriggerLineLimitExceeded(rcvCnt_, lineClearData_);
    if (alive.expired() || generation != bufferGeneration_) return true;
    if (lineClearData_) {
      rcvCnt_ = 0;
      rcvdLen_ = 0;
      searched_ = 0;
      rcvBuf_[0] = 0;
      lineClearData_ = false;
    }
  }
  return true;
}

void TCustomLineWSocket::TriggerLineLimitExceeded(std::int32_t count, bool& clearData) {
  if (OnLineLimitExceeded) OnLineLimitExceeded(this, count, clearData);
}

void TCustomLineWSocket::LineEditing(std::int32_t& n) {
  std::int32_t w = rcvCnt_;
  std::int32_t m = rcvCnt_;
  std::vector<char> work;
  bool editing = false;
  auto store = [&](char c) {
    if (static_cast<std::int32_t>(work.size()) <= w) work.resize(static_cast<size_t>(w) + 256);
    work[static_cast<size_t>(w)] = c;
    ++w;
  };
  static const char kErase[] = {8, ' ', 8};
  for (std::int32_t k = 0; k < n; ++k) {
    char c = rcvBuf_[static_cast<size_t>(rcvCnt_ + k)];
    if (!editing && c != 8 && c != 9) {
      if (lineEcho_) Send(&c, 1);
      ++w;
      continue;
    }
    if (!editing) {
      editing = true;
      work.assign(rcvBuf_.begin(), rcvBuf_.begin() + rcvCnt_ + k);
      work.resize(work.size() + 256);
    }
    if (c == 8) {
      if (lineEcho_ && w > 0) Send(kErase, 3);
      if (w > 0) {
        --w;
        m = std::min(m, w);
      }
    } else if (c == 9) {
      do {
        if (lineEcho_) Send(" ", 1);
        store(' ');
      } while (w % 8 != 0);
    } else {
      if (lineEcho_) Send(&c, 1);
      store(c);
    }
  }
  if (!editing) return;
  Reserve(w + 1);
  std::memcpy(rcvBuf_.data() + m, work.data() + m, static_cast<size_t>(w - m));
  rcvBuf_[static_cast<size_t>(w)] = 0;
  rcvCnt_ = m;
  n = w - m;
}

void TCustomLineWSocket::Rescan() {
  std::weak_ptr<char> alive = AliveToken();
  int passes = 0;
  while (rcvCnt_ > 0) {
    lineFound_ = false;
    std::int32_t before = rcvCnt_;
    std::uint64_t progress = rcvdProgress_;
    TriggerDataAvailable(0);
    if (alive.expired() || rcvCnt_ == 0) break;
    ++passes;
    if (lineMode_ && passes > 3 && !lineFound_) break;
    // Nothing taken and nothing found: going round again would spin.
    if (!lineFound_ && rcvCnt_ == before && rcvdProgress_ == progress) break;
  }
}

void TCustomLineWSocket::TriggerSessionClosed(std::uint16_t error) {
  lineReceivedFlag_ = true;
  if (!rcvBuf_.empty()) {
    if (lineMode_ && rcvCnt_ > 0 && !lineClearData_) {
      // The last line, without its terminator.
      rcvdLen_ = rcvCnt_;
      std::weak_ptr<char> alive = AliveToken();
      DeliverPendingLine();
      if (alive.expired()) return;
    }
    FreeBuffer();
  }
  TCustomSocksWSocket::TriggerSessionClosed(error);
}
