#include "client/ClientAudio.h"

#include <algorithm>
#include <vector>

#include "common/AudioFrame.h"
#include "common/BlockLevel.h"
#include "platform/Tick.h"

TClientAudio::TClientAudio(IAudioLink& link) : link_(link) {
  ACMConv.SetInputBufferSize(kMicBlockBytes);
  ACMConv.SetFormatIn(Mp3WaveFormat());
  ACMConv.SetFormatOut(PcmWaveFormat());
  ACMConv2.SetInputBufferSize(kMicBlockBytes);
  ACMConv2.SetFormatIn(PcmWaveFormat());
  ACMConv2.SetFormatOut(Mp3WaveFormat());
  ACMOut.SetDeviceID(-1);
  ACMOut.SetNumBuffers(0);
  ACMIn.SetDeviceID(-1);
  ACMIn.SetBufferSize(kMicBlockBytes);
  // Two 8 ms blocks are less than one period of the sound card: the rest of each period would
  // be lost before the blocks come back. Eight hold three periods.
  ACMIn.SetNumBuffers(kMicBuffers);
  ACMIn.OnBufferFull = [this](TACMIn*, const void* data, std::int32_t size) {
    ACMInBufferFull(data, size);
  };
}

TClientAudio::~TClientAudio() {
  ACMIn.OnBufferFull = nullptr;
  ACMIn.Close();
  ACMOut.Close();
}

void TClientAudio::SetMicSquelch(std::int32_t value) {
  micSquelch_ = std::clamp(value, 0, kSquelchMax);
}

void TClientAudio::Notice(const std::string& text) {
  if (OnNotice) OnNotice(text);
}

bool TClientAudio::AFGainKnobChange(std::int32_t value) {
  if (link_.AudioOn()) {
    if (value == 0) {
      link_.SendCommand("AU OFF");
      StopReceive();
    }
    return true;
  }
  if (value <= 0) return true;
  // The device first: "AU ON" would otherwise start a stream that nothing plays.
  if (!StartReceive()) return false;
  link_.SendCommand("AU ON");
  return true;
}

bool TClientAudio::StartReceive() {
  try {
    ACMOut.Open(ACMConv.FormatIn());
  } catch (const EACMOut& e) {
    Notice(std::string("Receive audio is not available: ") + e.what());
    return false;
  }
  link_.SetAudioOn(true);
  clock_.Clear();
  return true;
}

void TClientAudio::StopReceive() {
  ACMOut.Close();
  link_.SetAudioOn(false);
  clock_.Clear();
  // Without receive audio the microphone is not captured either.
  StopCapture();
}

void TClientAudio::ReceiveFrame(const std::string& value, std::uint32_t now) {
  std::uint32_t stamp = 0;
  // A damaged header carries no stamp to trust: dropped, the reference left alone.
  if (!link_.AudioOn() || !CheckAudioFrame(value, stamp)) return;
  const bool cardShort = TFrameClock::CardShort(ACMOut.Active(), ACMOut.QueuedMs());
  if (clock_.Accept(stamp, now, cardShort) == TFrameClock::TVerdict::Late) return;
  std::vector<std::uint8_t> bytes(value.size());
  const std::int32_t count = DecodeAudioFrame(value, bytes.data());
  // Frames sent far ahead of time would wait for the card without end: beyond kQueueMs of audio
  // they are dropped, and the clock above has taken them as on time.
  const std::size_t limit = ACMOut.Format().nAvgBytesPerSec * kQueueMs / 1000;
  if (ACMOut.QueuedBytes() + static_cast<std::size_t>(count) > limit) return;
  try {
    ACMOut.Play(bytes.data(), count);
  } catch (const EACMOut&) {
    // One lost block is heard as a gap; the stream goes on.
  }
}

void TClientAudio::PTTButtonClick(bool transmitting) {
  if (transmitting) {
    transmitting_ = false;
    link_.SendRaw("RX");
    StopCapture();
    return;
  }
  transmitting_ = true;
  if (!useVox_) link_.SendRaw("TX");
  if (link_.AudioOn()) StartCapture();
}

void TClientAudio::StopTransmit() {
  if (!transmitting_) return;
  transmitting_ = false;
  if (link_.Connected()) link_.SendRaw("RX");
  StopCapture();
  if (OnTransmitChange) OnTransmitChange(false);
}

void TClientAudio::StartCapture() {
  try {
    ACMConv2.SetActive(true);
    ACMIn.Open(ACMConv2.FormatIn());
  } catch (const std::exception& e) {
    Notice(std::string("The microphone is not available: ") + e.what());
    StopCapture();
  }
}

void TClientAudio::StopCapture() {
  // Blocks reported after Close are ignored by the capture, so the converter can go at once.
  ACMIn.Close();
  try {
    ACMConv2.SetActive(false);
  } catch (const EACMConvertor&) {
  }
  micWasQuiet_ = true;
  SetLevel(0);
}

void TClientAudio::ACMInBufferFull(const void* data, std::int32_t size) {
  if (!link_.Connected() || !link_.AudioOn()) {
    StopCapture();
    return;
  }
  const TBlockLevel level = MeasureBlock(data, size);
  if (level.Samples == 0) return;
  SetLevel(level.Peak / kLevelDivisor);
  const bool quiet = level.Average <= micSquelch_;
  if ((!quiet || !micWasQuiet_) &&
      thinning_.Decide(link_.SampleSendLink(), platform::GetTickCount()).Send)
    SendBlock(data, size);
  micWasQuiet_ = quiet;
}

void TClientAudio::SendBlock(const void* data, std::int32_t size) {
  if (!ACMConv2.Active()) return;
  std::vector<std::uint8_t> out;
  try {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t piece = ACMConv2.InputBufferSize();
    const auto total = static_cast<std::size_t>(size);
    for (std::size_t at = 0; at < total; at += piece) {
      const auto n = static_cast<std::uint32_t>(std::min(piece, total - at));
      const std::int32_t got = ACMConv2.Convert(bytes + at, n);
      out.insert(out.end(), ACMConv2.BufferOut(), ACMConv2.BufferOut() + got);
    }
  } catch (const EACMConvertor& e) {
    Notice(std::string("The microphone audio cannot be compressed: ") + e.what());
    StopCapture();
    return;
  }
  // Most 8 ms blocks only feed the encoder: no bytes, no line.
  if (out.empty()) return;
  link_.SendCommand("AU DATA " +
                    EncodeAudioFrame(out.data(), static_cast<std::int32_t>(out.size())));
}

void TClientAudio::SetLevel(std::int32_t level) {
  if (level == level_) return;
  level_ = level;
  if (OnLevel) OnLevel(level);
}

void TClientAudio::ResetForConnect() {
  link_.SetAudioOn(false);
  micWasQuiet_ = true;
  thinning_.Reset();
  clock_.Clear();
}

void TClientAudio::Stop() {
  const bool wasTransmitting = transmitting_;
  transmitting_ = false;
  StopCapture();
  ACMOut.Close();
  try {
    ACMConv.SetActive(false);
  } catch (const EACMConvertor&) {
  }
  clock_.Clear();
  link_.SetAudioOn(false);
  if (wasTransmitting && OnTransmitChange) OnTransmitChange(false);
}
