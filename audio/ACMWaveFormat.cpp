#include "audio/ACMWaveFormat.h"

#include <cstdio>
#include <cstring>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the records are little-endian");

bool TACMWaveFormat::operator==(const TACMWaveFormat& other) const {
  return std::memcmp(this, &other, sizeof *this) == 0;
}

TACMWaveFormat PcmWaveFormat() {
  TACMWaveFormat f{};
  f.wFormatTag = platform::WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 8000;
  f.nAvgBytesPerSec = 16000;
  f.nBlockAlign = 2;
  f.wBitsPerSample = 16;
  f.cbSize = 129;
  return f;
}

TACMWaveFormat Mp3WaveFormat() {
  TACMWaveFormat f{};
  f.wFormatTag = platform::WAVE_FORMAT_MPEGLAYER3;
  f.nChannels = 1;
  f.nSamplesPerSec = 8000;
  f.nAvgBytesPerSec = 2000;
  f.nBlockAlign = 1;
  f.wBitsPerSample = 0;
  f.cbSize = platform::MPEGLAYER3_WFX_EXTRA_BYTES;
  platform::MPEGLAYER3WAVEFORMAT m;
  std::memcpy(&m.wfx, &f, sizeof m.wfx);
  m.wID = platform::MPEGLAYER3_ID_MPEG;
  m.fdwFlags = platform::MPEGLAYER3_FLAG_PADDING_OFF;
  m.nBlockSize = 144;
  m.nFramesPerBlock = 1;
  m.nCodecDelay = 1393;
  std::memcpy(&f, &m, sizeof m);
  return f;
}

TACMWaveFormat DefaultWaveFormat() {
  TACMWaveFormat f{};
  f.wFormatTag = platform::WAVE_FORMAT_PCM;
  f.nChannels = 1;
  f.nSamplesPerSec = 22050;
  f.nAvgBytesPerSec = 22050;
  f.nBlockAlign = 1;
  f.wBitsPerSample = 8;
  f.cbSize = 129;
  return f;
}

std::string StoreWaveFormat(const TACMWaveFormat& format) {
  std::string out(4 + sizeof format, '\0');
  const std::uint32_t count = sizeof format;
  std::memcpy(out.data(), &count, 4);
  std::memcpy(out.data() + 4, &format, sizeof format);
  return out;
}

std::size_t LoadWaveFormat(const void* data, std::size_t size, TACMWaveFormat& format) {
  if (size < 4) return 0;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::uint32_t count;
  std::memcpy(&count, bytes, 4);
  if (size - 4 < count) return 0;
  std::memcpy(&format, bytes + 4, count < sizeof format ? count : sizeof format);
  return 4 + static_cast<std::size_t>(count);
}

std::string ACMErrorText(const std::string& prefix, platform::MMRESULT code, bool waveCodes) {
  using namespace platform;
  const char* text = nullptr;
  switch (code) {
    case MMSYSERR_BADDEVICEID:
      if (waveCodes) text = " The specified resource does not exist.";
      break;
    case MMSYSERR_ALLOCATED:
      if (waveCodes) text = " The specified resource is already in use.";
      break;
    case MMSYSERR_INVALHANDLE:
      text = " The specified handle is invalid.";
      break;
    case MMSYSERR_NODRIVER:
      text = " A suitable driver is not available to provide valid format selections.";
      break;
    case MMSYSERR_NOMEM:
      text = " The system is unable to allocate resources.";
      break;
    case MMSYSERR_INVALFLAG:
      text = " At least one flag is invalid.";
      break;
    case MMSYSERR_INVALPARAM:
      text = " At least one parameter is invalid.";
      break;
    case WAVERR_BADFORMAT:
      if (waveCodes) text = " Unsupported audio format.";
      break;
    case WAVERR_SYNC:
      if (waveCodes) text = " The specified device does not support asynchronous operation.";
      break;
    case ACMERR_NOTPOSSIBLE:
      text = " The requested operation cannot be performed.";
      break;
    case ACMERR_BUSY:
      text = " The conversion stream is already in use.";
      break;
    case ACMERR_UNPREPARED:
      text = " Cannot perform this action on a header that has not been prepared.";
      break;
    default:
      break;
  }
  if (text) return prefix + text;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, " raised an unknown error (code #%d)",
                static_cast<int>(code));
  return prefix + buffer;
}
