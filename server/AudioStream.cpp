#include "server/AudioStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/AccessLevel.h"
#include "common/AudioFrame.h"
#include "common/BlockLevel.h"
#include "common/Utils.h"
#include "platform/AudioCompression.h"
#include "platform/Tick.h"
#include "relay/K2Text.h"
#include "server/LineFramer.h"
#include "text/Text.h"

namespace {

bool HexDigits(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

std::int32_t Meter(std::size_t value) {
  return static_cast<std::int32_t>(std::min<std::size_t>(value, TAudioStream::kMeterMax));
}

}  // namespace

TAudioStream::TAudioStream(IClientLink& client, TLogEvent log)
    : client_(client), log_(std::move(log)) {
  ACMConv.SetFormatIn(PcmWaveFormat());
  ACMConv.SetFormatOut(Mp3WaveFormat());
  ACMConv2.SetFormatIn(Mp3WaveFormat());
  ACMConv2.SetFormatOut(PcmWaveFormat());
  ACMIn.SetDeviceID(-1);
  ACMIn.SetNumBuffers(2);
  ACMIn.OnBufferFull = [this](TACMIn*, const void* data, std::int32_t size) {
    ACMInBufferFull(data, size);
  };
  ACMOut.SetDeviceID(-1);
  ACMOut.SetNumBuffers(0);
  UpdateBufferSizes();
}

TAudioStream::~TAudioStream() {
  ACMIn.OnBufferFull = nullptr;
  ACMIn.Close();
  ACMOut.Close();
}

void TAudioStream::SetSquelchLevel(std::int32_t value) {
  squelchLevel_ = std::clamp(value, 0, 100);
}

void TAudioStream::Setup(std::int32_t soundCard, std::int32_t squelchLevel) {
  SetSoundCard(soundCard);
  SetSquelchLevel(squelchLevel);
  ACMIn.SetDeviceID(soundCard_);
  ACMOut.SetDeviceID(soundCard_);
  UpdateBufferSizes();
}

void TAudioStream::SetIdle() {
  SetMeters(0, 0);
  ClearTxReference();
}

void TAudioStream::UpdateBufferSizes() {
  const TACMWaveFormat& in = ACMConv.FormatIn();
  const std::uint32_t align = std::max<std::uint32_t>(in.nBlockAlign, 1);
  const std::uint32_t size = std::max(in.nAvgBytesPerSec / 8 / align * align, align);
  // The converter refuses a new size while active: an unchanged one is not written at all.
  if (ACMConv.InputBufferSize() != size) ACMConv.SetInputBufferSize(size);
  ACMIn.SetBufferSize(size);
}

void TAudioStream::ResetSession() {
  rxQuiet_ = false;
  thinning_.Reset();
  txMeterHold_ = 0;
  ClearTxReference();
}

void TAudioStream::ClearTxReference() {
  txClock_.Clear();
}

void TAudioStream::SessionEnded() {
  clientConnected_ = false;
  // A session that ends without "AU OFF" (a dropped link, a client that stopped reading) must not
  // hold the sound card until the program ends.
  AudioOff();
}

void TAudioStream::Send(const std::string& line) {
  client_.SendText(line + "\r\n");
}

void TAudioStream::Log(const std::string& message) {
  if (log_) log_("[" + clientAddress_ + "] " + message);
}

void TAudioStream::Fail(const std::string& what, const std::string& error) {
  Log(what + " failed: " + error);
  Send("# " + what + " is not available.||" + error);
}

void TAudioStream::SetMeters(std::int32_t rx, std::int32_t tx) {
  if (rx == rxAudio_ && tx == txAudio_) return;
  rxAudio_ = rx;
  txAudio_ = tx;
  if (OnMeterChange) OnMeterChange(*this);
}

void TAudioStream::AudioCommand(const std::string& value, std::int32_t accessLevel) {
  std::string sub, arg;
  TLineFramer::SplitLine(value, sub, arg);
  if (SameTextAscii(sub, "DATA") && arg.size() > 32) {
    // Below TX/RX the audio would still reach the transmitter through the radio's VOX.
    if (accessLevel >= kAccessTxRx) PlayFrame(arg, platform::GetTickCount());
  } else if (SameTextAscii(sub, "OFF")) {
    AudioOff();
  } else if (SameTextAscii(sub, "ON")) {
    AudioOn();
  } else if (SameTextAscii(sub, "FORMAT") && !arg.empty()) {
    SetFormat(arg, accessLevel);
  } else {
    Send("# Invalid command \"AUDIO " + sub + "\"");
  }
}

void TAudioStream::AudioOn() {
  OpenCapture();
  OpenPlayback();
}

void TAudioStream::AudioOff() {
  // The capture ignores every block reported after its Close, so the converter can go at once.
  StopCapture();
  StopPlayback();
  SetMeters(0, 0);
}

void TAudioStream::OpenCapture() {
  if (ACMIn.Active()) return;
  Attempt(
      "Receive audio",
      [this] {
        ACMIn.SetDeviceID(soundCard_);
        ACMConv.SetActive(true);
        ACMIn.Open(ACMConv.FormatIn());
      },
      &TAudioStream::StopCapture);
}

void TAudioStream::OpenPlayback() {
  if (ACMOut.Active()) return;
  Attempt(
      "Transmit audio",
      [this] {
        ACMOut.SetDeviceID(soundCard_);
        ACMConv2.SetActive(true);
        ACMOut.Open(ACMConv2.FormatIn());
      },
      &TAudioStream::StopPlayback);
}

void TAudioStream::Attempt(const char* direction, const std::function<void()>& open,
                           void (TAudioStream::*undo)()) {
  try {
    open();
  } catch (const std::exception& e) {
    Fail(direction, e.what());
    (this->*undo)();
  }
}

void TAudioStream::StopCapture() {
  ACMIn.Close();
  Deactivate(ACMConv, "Receive audio");
}

void TAudioStream::StopPlayback() {
  ACMOut.Close();
  Deactivate(ACMConv2, "Transmit audio");
}

void TAudioStream::Deactivate(TACMConvertor& converter, const char* direction) {
  try {
    converter.SetActive(false);
  } catch (const EACMConvertor& e) {
    Log(std::string(direction) + ": " + e.what());
  }
}

void TAudioStream::SetFormat(const std::string& hex, std::int32_t accessLevel) {
  if (accessLevel < kAccessFull) {
    client_.SendText(AccessDeniedText(accessLevel));
    return;
  }
  if (ACMConv.Active() || ACMIn.Active() || ACMOut.Active() || ACMConv2.Active()) {
    Send("# The audio format can change only while audio is off.");
    return;
  }
  TACMWaveFormat format;
  std::memset(&format, 0, sizeof format);
  bool valid = hex.size() <= kMaxFormatHex && hex.size() % 2 == 0 && HexDigits(hex);
  if (valid) {
    HexToBytes(UpperAscii(hex), reinterpret_cast<std::uint8_t*>(&format));
    // The record must compress the captured audio and be playable (decodable) as it stands.
    using platform::acmStreamOpen;
    valid = acmStreamOpen(nullptr, 0, ACMConv.FormatIn().AsWaveFormat(), format.AsWaveFormat(),
                          nullptr, 0, 0, platform::ACM_STREAMOPENF_QUERY) == 0 &&
            acmStreamOpen(nullptr, 0, format.AsWaveFormat(), ACMConv2.FormatOut().AsWaveFormat(),
                          nullptr, 0, 0, platform::ACM_STREAMOPENF_QUERY) == 0;
  }
  if (!valid) {
    Send("# Invalid audio format.");
    return;
  }
  ACMConv.SetFormatOut(format);
  UpdateBufferSizes();
  ACMConv2.SetFormatIn(ACMConv.FormatOut());
}

std::uint32_t TAudioStream::QueueLimitBytes() const {
  return ACMConv2.FormatIn().nAvgBytesPerSec * (kQueueMs / 1000);
}

void TAudioStream::PlayFrame(const std::string& frame, std::uint32_t now) {
  txMeterHold_ = kTxMeterHold;
  std::uint32_t stamp = 0;
  // A frame whose header or escapes are damaged carries no stamp to trust: it is dropped and
  // leaves the reference alone.
  if (!CheckAudioFrame(frame, stamp)) return;
  const TFrameClock::TVerdict verdict =
      txClock_.Accept(stamp, now, TFrameClock::CardShort(ACMOut.Active(), ACMOut.QueuedMs()));
  if (verdict == TFrameClock::TVerdict::Late) return;
  if (verdict == TFrameClock::TVerdict::Reanchored)
    Log("Transmit audio: the delay grew; timing taken afresh");

  const std::size_t payload = frame.size() - 16;
  std::vector<std::uint8_t> bytes(payload);
  const std::int32_t count = DecodeAudioFrame(frame, bytes.data());
  if (ACMOut.Active() && ACMOut.QueuedBytes() + static_cast<std::size_t>(count) > QueueLimitBytes())
    return;
  try {
    ACMOut.Play(bytes.data(), count);
  } catch (const EACMOut& e) {
    Fail("Transmit audio", e.what());
    StopPlayback();
    return;
  }
  SetMeters(rxAudio_, Meter(payload));
}

void TAudioStream::ACMInBufferFull(const void* data, std::int32_t size) {
  if (!clientConnected_) return;
  const TBlockLevel level = MeasureBlock(data, size);
  if (level.Samples == 0) return;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const std::size_t samples = static_cast<std::size_t>(level.Samples);
  const std::int64_t average = level.Average;
  const std::int32_t peak = level.Peak;
  const bool quiet = average <= squelchLevel_;
  std::int32_t rx = 0;
  if (!(quiet && peak <= 2 * squelchLevel_ && rxQuiet_) && LinkTakesBlock())
    rx = SendBlock(bytes, samples * 2);
  rxQuiet_ = quiet;
  std::int32_t tx = txAudio_;
  if (txMeterHold_ == 0)
    tx = 0;
  else
    --txMeterHold_;
  SetMeters(rx, tx);
}

bool TAudioStream::LinkTakesBlock() {
  if (!sampleLink_) return true;
  const TAudioThinning::TDecision d = thinning_.Decide(sampleLink_(), platform::GetTickCount());
  if (d.Change != TAudioThinning::TChange::None)
    Log(d.Change == TAudioThinning::TChange::Thinned
            ? "Receive audio thinned: the link to the client is slower than the audio"
            : "Receive audio whole again");
  return d.Send;
}

std::int32_t TAudioStream::SendBlock(const std::uint8_t* data, std::size_t size) {
  if (!ACMConv.Active()) return 0;
  std::vector<std::uint8_t> out;
  try {
    // The capture's blocks are as large as the converter's; a larger one goes in pieces.
    const std::size_t piece = ACMConv.InputBufferSize();
    for (std::size_t at = 0; at < size; at += piece) {
      const auto n = static_cast<std::uint32_t>(std::min(piece, size - at));
      const std::int32_t got = ACMConv.Convert(data + at, n);
      out.insert(out.end(), ACMConv.BufferOut(), ACMConv.BufferOut() + got);
    }
  } catch (const EACMConvertor& e) {
    Fail("Receive audio", e.what());
    StopCapture();
    return 0;
  }
  if (out.empty()) return 0;
  const std::string frame = EncodeAudioFrame(out.data(), static_cast<std::int32_t>(out.size()));
  Send("AU " + frame);
  return Meter(frame.size());
}
