#include "audio/ACMOut.h"

#include <algorithm>
#include <cstring>

using namespace platform;

TACMOut::TACMOut() {
  window_.SetWndProc([this](unsigned msg, WPARAM w, LPARAM l) { return WndProc(msg, w, l); });
}

TACMOut::~TACMOut() {
  Close();
}

void TACMOut::Raise(const char* prefix, MMRESULT code) {
  throw EACMOut(ACMErrorText(prefix, code, true));
}

void TACMOut::Open(TACMWaveFormat format) {
  if (active_) return;
  holdBack_ = numBuffers_;
  format_ = format;
  const bool mapper = deviceId_ < 0;
  HWAVEOUT device = 0;
  MMRESULT rc = waveOutOpen(&device, mapper ? WAVE_MAPPER : static_cast<std::uint32_t>(deviceId_),
                            format_.AsWaveFormat(), window_.Handle(), 0,
                            CALLBACK_WINDOW | (mapper ? 0 : WAVE_MAPPED));
  if (rc) Raise("WaveOutOpen", rc);
  device_ = device;
  active_ = true;
}

std::size_t TACMOut::QueuedBytes() const {
  std::size_t bytes = 0;
  for (const auto& b : blocks_) bytes += b->header.dwBufferLength;
  return bytes;
}

std::uint32_t TACMOut::QueuedMs() const {
  if (!active_ || format_.nAvgBytesPerSec == 0) return 0;
  return static_cast<std::uint32_t>(QueuedBytes() * 1000 / format_.nAvgBytesPerSec);
}

void TACMOut::Play(const void* data, std::int32_t size) {
  if (size <= 0 || !active_) return;
  auto block = std::make_unique<Block>();
  Block* b = block.get();
  b->data.reset(new char[static_cast<std::size_t>(size)]);
  std::memcpy(b->data.get(), data, static_cast<std::size_t>(size));
  b->header = {};
  b->header.lpData = b->data.get();
  b->header.dwBufferLength = static_cast<std::uint32_t>(size);
  b->header.dwBytesRecorded = static_cast<std::uint32_t>(size);
  blocks_.push_back(std::move(block));
  if (holdBack_ > 0) {
    heldBack_.push_back(b);
    --holdBack_;
    return;
  }
  // Each held-back block leaves the list as it is written, so that after a failure the next
  // call goes on with the blocks not yet written instead of writing some twice.
  while (!heldBack_.empty()) {
    Block* first = heldBack_.front();
    heldBack_.erase(heldBack_.begin());
    Write(first);
  }
  Write(b);
}

void TACMOut::Write(Block* block) {
  MMRESULT rc = waveOutPrepareHeader(device_, &block->header, sizeof block->header);
  if (rc) Raise("WaveOut-PrepareHeader", rc);
  rc = waveOutWrite(device_, &block->header, sizeof block->header);
  if (rc) Raise("WaveOut-Write", rc);
}

void TACMOut::Close() {
  if (!active_) return;
  active_ = false;
  waveOutReset(device_);
  waveOutClose(device_);
  heldBack_.clear();
  device_ = 0;
  while (!blocks_.empty()) blocks_.pop_back();
}

LRESULT TACMOut::WndProc(unsigned msg, WPARAM wParam, LPARAM lParam) {
  if (msg != MM_WOM_DONE) return 0;
  // Only blocks of the device open now: after a close or a reopen, late reports are ignored.
  if (!active_ || wParam != device_) return 0;
  const auto* header = reinterpret_cast<const WAVEHDR*>(lParam);
  auto it = std::find_if(blocks_.begin(), blocks_.end(),
                         [&](const std::unique_ptr<Block>& b) { return &b->header == header; });
  if (it == blocks_.end()) return 0;
  MMRESULT rc = waveOutUnprepareHeader(device_, &(*it)->header, sizeof(WAVEHDR));
  if (rc) Raise("WaveOut-UnprepareHeader", rc);
  blocks_.erase(it);
  if (OnBufferPlayed) OnBufferPlayed(this);
  return 0;
}
