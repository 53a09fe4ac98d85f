#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sockets/SocksWSocket.h"

// Line mode: the received stream is collected into lines ended by LineEnd, and OnDataAvailable
// fires once per complete line (terminator included), which the handler reads with Receive or
// ReceiveText. Optional echo and backspace/tab editing for interactive peers, and a limit on the
// length of an unfinished line. With LineMode off the socket behaves as the core.
class TCustomLineWSocket : public TCustomSocksWSocket {
 public:
  using TLineLimitEvent =
      std::function<void(TCustomWSocket* sender, std::int32_t rcvdLength, bool& clearData)>;

  TCustomLineWSocket();
  ~TCustomLineWSocket() override { DestroySocket(); }

  bool LineMode() const { return lineMode_; }
  virtual void SetLineMode(bool value);
  const std::string& LineEnd() const { return lineEnd_; }
  void SetLineEnd(const std::string& value) {
    lineEnd_ = value;
    searched_ = 0;
  }
  // Longest unfinished line kept; 0 or less: no limit.
  std::int32_t LineLimit() const { return lineLimit_; }
  void SetLineLimit(std::int32_t value) { lineLimit_ = value; }
  bool LineEcho() const { return lineEcho_; }
  void SetLineEcho(bool value) { lineEcho_ = value; }
  bool LineEdit() const { return lineEdit_; }
  void SetLineEdit(bool value) { lineEdit_ = value; }

  // Sends text followed by LineEnd; the empty text sends nothing. Returns the bytes queued.
  virtual std::int32_t SendLine(const std::string& text);

  // In line mode the length of the line waiting to be read.
  std::int32_t RcvdCount() override;

  TLineLimitEvent OnLineLimitExceeded;

 protected:
  platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam,
                            platform::LPARAM lParam) override;
  bool TriggerDataAvailable(std::uint16_t error) override;
  void TriggerSessionClosed(std::uint16_t error) override;
  std::int32_t DoRecv(void* buffer, std::int32_t length, int flags) override;
  void DupConnected() override;
  virtual void TriggerLineLimitExceeded(std::int32_t count, bool& clearData);
  // Applies backspace and tab editing to the n bytes received behind the bytes held.
  virtual void LineEditing(std::int32_t& n);

 private:
  void Reserve(std::int32_t size);
  void DropFront(std::int32_t count);
  void FreeBuffer();
  void Rescan();
  // Fires the core's data event for the pending line until it is read; false when the handler
  // took nothing (the line stays pending) or the buffer went away meanwhile.
  bool DeliverPendingLine();

  std::vector<char> rcvBuf_;  // capacity; rcvCnt_ bytes held, a 0 byte behind them
  std::int32_t rcvCnt_ = 0;
  std::int32_t rcvdLen_ = 0;  // the complete line at the front not yet read, terminator included
  // Where the search for the terminator resumes: no terminator starts before it. Bytes held from
  // raw mode were never searched, so it is only trusted for bytes scanned in line mode.
  std::int32_t searched_ = 0;
  std::uint64_t bufferGeneration_ = 0;
  bool lineReceivedFlag_ = false;
  bool lineFound_ = false;
  bool lineClearData_ = false;

  bool lineMode_ = false;
  std::string lineEnd_ = "\r\n";
  std::int32_t lineLimit_ = 65536;
  bool lineEcho_ = false;
  bool lineEdit_ = false;
};
