#include "audio/ACMIn.h"

#include <cstring>

using namespace platform;

TACMIn::TACMIn() {
  window_.SetWndProc([this](unsigned msg, WPARAM w, LPARAM l) { return WndProc(msg, w, l); });
}

TACMIn::~TACMIn() {
  *alive_ = false;
  Close();
}

void TACMIn::Raise(const char* prefix, MMRESULT code) {
  throw EACMIn(ACMErrorText(prefix, code, true));
}

void TACMIn::SetBufferSize(std::uint32_t value) {
  if (!active_) bufferSize_ = value;
}

void TACMIn::SetNumBuffers(TACMBufferCount value) {
  if (value < 2 || value > 64) throw EACMIn("NumBuffers must be from 2 to 64.");
  if (!active_) numBuffers_ = value;
}

void TACMIn::Open(TACMWaveFormat format) {
  if (active_) return;
  const bool mapper = deviceId_ < 0;
  HWAVEIN device = 0;
  MMRESULT rc = waveInOpen(&device, mapper ? WAVE_MAPPER : static_cast<std::uint32_t>(deviceId_),
                           format.AsWaveFormat(), window_.Handle(), 0,
                           CALLBACK_WINDOW | (mapper ? 0 : WAVE_MAPPED));
  if (rc) Raise("WaveIn-Open", rc);
  device_ = device;
  const char* failed = nullptr;
  for (unsigned i = 0; i < numBuffers_ && !failed; ++i) {
    auto buffer = std::make_unique<Buffer>();
    Buffer* b = buffer.get();
    buffers_.push_back(std::move(buffer));
    b->data.reset(new char[bufferSize_]());
    b->header = {};
    b->header.lpData = b->data.get();
    b->header.dwBufferLength = bufferSize_;
    rc = waveInPrepareHeader(device_, &b->header, sizeof b->header);
    if (rc) {
      failed = "WaveIn-PrepareHeader";
      break;
    }
    rc = waveInAddBuffer(device_, &b->header, sizeof b->header);
    if (rc) failed = "WaveIn-AddBuffer";
  }
  if (!failed) {
    rc = waveInStart(device_);
    if (rc) failed = "WaveIn-Start";
  }
  if (failed) {
    // Give back the device and the buffers already queued: the component stays closed.
    ShutDevice();
    Raise(failed, rc);
  }
  format_ = format;
  active_ = true;
}

void TACMIn::Close() {
  if (!active_) return;
  active_ = false;
  ShutDevice();
}

void TACMIn::ShutDevice() {
  waveInReset(device_);
  waveInClose(device_);
  device_ = 0;
  // The device has handed every buffer back; reports of them still on their way carry the old
  // device handle and are ignored.
  while (!buffers_.empty()) buffers_.pop_back();
}

TACMIn::Buffer* TACMIn::FindBuffer(const WAVEHDR* header) const {
  for (const auto& b : buffers_)
    if (&b->header == header) return b.get();
  return nullptr;
}

LRESULT TACMIn::WndProc(unsigned msg, WPARAM wParam, LPARAM lParam) {
  if (msg != MM_WIM_DATA) return 0;
  // A report is ours only when it comes from the device open now: a buffer of an earlier
  // opening may share its address with one of the present buffers.
  if (!active_ || wParam != device_) return 0;
  Buffer* buffer = FindBuffer(reinterpret_cast<const WAVEHDR*>(lParam));
  if (!buffer) return 0;
  MMRESULT rc = waveInUnprepareHeader(device_, &buffer->header, sizeof buffer->header);
  if (rc) Raise("WaveIn-UnprepareHeader", rc);
  if (OnBufferFull) {
    const std::int32_t size = static_cast<std::int32_t>(buffer->header.dwBytesRecorded);
    std::vector<char> copy(buffer->header.lpData, buffer->header.lpData + size);
    const std::shared_ptr<bool> alive = alive_;
    const HWAVEIN device = device_;
    // Whatever the handler does (close, reopen, raise), the buffer goes back to the device only
    // while this component is still open on the same device and still owns it.
    auto stillOurs = [&] {
      return *alive && active_ && device_ == device && FindBuffer(&buffer->header);
    };
    try {
      OnBufferFull(this, copy.data(), size);
    } catch (...) {
      if (stillOurs()) Rearm(buffer);
      throw;
    }
    if (!stillOurs()) return 0;
  }
  Rearm(buffer);
  return 0;
}

void TACMIn::Rearm(Buffer* buffer) {
  WAVEHDR& h = buffer->header;
  h.dwBufferLength = bufferSize_;
  h.dwBytesRecorded = 0;
  h.dwUser = 0;
  h.dwFlags = 0;
  h.dwLoops = 0;
  std::memset(buffer->data.get(), 0, bufferSize_);
  MMRESULT rc = waveInPrepareHeader(device_, &h, sizeof h);
  if (rc) Raise("WaveIn-PrepareHeader", rc);
  rc = waveInAddBuffer(device_, &h, sizeof h);
  if (rc) Raise("WaveInAddBuffer", rc);
}
