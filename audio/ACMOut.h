#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "audio/ACMWaveFormat.h"
#include "platform/MessageWindow.h"
#include "platform/WaveAudio.h"

class EACMOut : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TACMOut;

using TNotifyEvent = std::function<void(TACMOut* Sender)>;

// Plays blocks of audio of any size on a wave-out device, in PCM or directly in MPEG Layer-3
// (the device decodes). Each block is copied; after each opening the first NumBuffers blocks
// are held back and the next one releases them all, so that playback starts with a reserve.
// OnBufferPlayed runs on the main thread once per block played. Failures raise EACMOut with the
// failing call's name.
class TACMOut {
 public:
  TACMOut();
  ~TACMOut();
  TACMOut(const TACMOut&) = delete;
  TACMOut& operator=(const TACMOut&) = delete;

  // -1 (any negative value): the default device; n: the n-th sound card.
  std::int32_t DeviceID() const { return deviceId_; }
  void SetDeviceID(std::int32_t value) { deviceId_ = value; }
  // Blocks held back after each opening, 4 at first; 0 writes every block at once.
  std::uint8_t NumBuffers() const { return numBuffers_; }
  void SetNumBuffers(std::uint8_t value) { numBuffers_ = value; }

  bool Active() const { return active_; }
  const TACMWaveFormat& Format() const { return format_; }
  // Blocks still to be held back before playback starts.
  std::uint8_t HoldBack() const { return holdBack_; }
  // Blocks copied and not yet freed (held back, playing, or played and not yet reported).
  std::size_t BlockCount() const { return blocks_.size(); }
  // The bytes of those blocks.
  std::size_t QueuedBytes() const;
  // The same as milliseconds of audio at the open format's rate; 0 while closed.
  std::uint32_t QueuedMs() const;

  // Opens the device in format; does nothing while active.
  void Open(TACMWaveFormat format);
  // Copies and queues one block; does nothing when size is 0 or less or while inactive.
  void Play(const void* data, std::int32_t size);
  // Stops playback at once and frees every block; does nothing while inactive.
  void Close();

  TNotifyEvent OnBufferPlayed;

 private:
  struct Block {
    platform::WAVEHDR header;
    std::unique_ptr<char[]> data;
  };

  platform::LRESULT WndProc(unsigned msg, platform::WPARAM wParam, platform::LPARAM lParam);
  void Write(Block* block);
  [[noreturn]] static void Raise(const char* prefix, platform::MMRESULT code);

  bool active_ = false;
  std::int32_t deviceId_ = -1;
  std::uint8_t holdBack_ = 0;
  std::vector<Block*> heldBack_;
  std::uint8_t numBuffers_ = 4;
  std::vector<std::unique_ptr<Block>> blocks_;
  TACMWaveFormat format_{};
  platform::HWAVEOUT device_ = 0;
  platform::MessageWindow window_;
};
