#pragma once

#include <cstdint>

namespace platform {

// Result codes of the wave-audio and compression-manager calls; 0 is success. The numbers are
// the classic multimedia ones, so that records and messages stay comparable with what operators
// know from elsewhere.
using MMRESULT = std::uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
constexpr MMRESULT ACMERR_BUSY = 513;
constexpr MMRESULT ACMERR_UNPREPARED = 514;

constexpr std::uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr std::uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;

// The wave format header, 18 bytes, little-endian, unaligned. cbSize counts the extra bytes that
// follow it; for PCM the layer ignores cbSize.
#pragma pack(push, 1)
struct WAVEFORMATEX {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
};

// The MPEG Layer-3 format: the header and 12 extra bytes.
struct MPEGLAYER3WAVEFORMAT {
  WAVEFORMATEX wfx;
  std::uint16_t wID;
  std::uint32_t fdwFlags;
  std::uint16_t nBlockSize;
  std::uint16_t nFramesPerBlock;
  std::uint16_t nCodecDelay;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);

constexpr std::uint16_t MPEGLAYER3_WFX_EXTRA_BYTES = 12;
constexpr std::uint16_t MPEGLAYER3_ID_MPEG = 1;
constexpr std::uint32_t MPEGLAYER3_FLAG_PADDING_ISO = 0;
constexpr std::uint32_t MPEGLAYER3_FLAG_PADDING_ON = 1;
constexpr std::uint32_t MPEGLAYER3_FLAG_PADDING_OFF = 2;

}  // namespace platform
