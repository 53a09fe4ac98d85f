#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "audio/ACMWaveFormat.h"
#include "platform/MessageWindow.h"
#include "platform/WaveAudio.h"

class EACMIn : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TACMIn;

// Data points to a copy of the recorded bytes that lives until the handler returns.
using TBufferFullEvent = std::function<void(TACMIn* Sender, const void* Data, std::int32_t Size)>;

// Buffers kept queued at the device: 2 to 64.
using TACMBufferCount = std::uint8_t;

// Captures audio from a wave-in device in buffers of BufferSize bytes and hands every filled
// buffer to OnBufferFull on the main thread. NumBuffers buffers circulate while the device is
// open. The handler may close (and reopen) the component; buffers of an earlier opening that
// are still reported afterwards are ignored. Failures raise EACMIn with the failing call's name.
class TACMIn {
 public:
  TACMIn();
  ~TACMIn();
  TACMIn(const TACMIn&) = delete;
  TACMIn& operator=(const TACMIn&) = delete;

  // -1 (any negative value): the default device; n: the n-th sound card.
  std::int32_t DeviceID() const { return deviceId_; }
  void SetDeviceID(std::int32_t value) { deviceId_ = value; }
  // 8192 at first; writing it while active is ignored.
  std::uint32_t BufferSize() const { return bufferSize_; }
  void SetBufferSize(std::uint32_t value);
  // 4 at first; writing it while active is ignored; values outside 2..64 raise EACMIn.
  TACMBufferCount NumBuffers() const { return numBuffers_; }
  void SetNumBuffers(TACMBufferCount value);

  bool Active() const { return active_; }
  // The format of the present (or last) opening.
  const TACMWaveFormat& Format() const { return format_; }

  // Starts capturing in format; does nothing while active.
  void Open(TACMWaveFormat format);
  // Stops capturing and frees every buffer; does nothing while inactive.
  void Close();

  TBufferFullEvent OnBufferFull;

 private:
  struct Buffer {
    platform::WAVEHDR header;
    std::unique_ptr<char[]> data;
  };

  platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
  Buffer* FindBuffer(const platform::WAVEHDR* header) const;
  void Rearm(Buffer* buffer);
  void ShutDevice();
  [[noreturn]] static void Raise(const char* prefix, platform::MMRESULT code);

  bool active_ = false;
  std::int32_t deviceId_ = -1;
  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::uint32_t bufferSize_ = 8192;
  TACMWaveFormat format_{};
  TACMBufferCount numBuffers_ = 4;
  platform::HWAVEIN device_ = 0;
  platform::MessageWindow window_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
