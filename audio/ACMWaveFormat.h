#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/WaveTypes.h"

// The wave format record that the three audio components take: the wave format header
// followed by the codec's extra bytes, zero-filled to 129 bytes, and the error texts the
// components share.

#pragma pack(push, 1)
struct TACMWaveFormat {
  std::uint16_t wFormatTag;
  std::uint16_t nChannels;
  std::uint32_t nSamplesPerSec;
  std::uint32_t nAvgBytesPerSec;
  std::uint16_t nBlockAlign;
  std::uint16_t wBitsPerSample;
  std::uint16_t cbSize;
  std::uint8_t extra[111];

  // The record as the platform's wave format header (the platform copies what it reads).
  const platform::WAVEFORMATEX* AsWaveFormat() const {
    return reinterpret_cast<const platform::WAVEFORMATEX*>(this);
  }
  bool operator==(const TACMWaveFormat& other) const;
};
#pragma pack(pop)
static_assert(sizeof(TACMWaveFormat) == 129);

// 16-bit PCM, mono, 8000 samples per second; cbSize holds 129 as the stored records do.
TACMWaveFormat PcmWaveFormat();
// MPEG Layer-3, mono, 8000 samples per second, 16 kbit/s, 144-byte frames.
TACMWaveFormat Mp3WaveFormat();
// A converter's formats when created: PCM, mono, 22050 samples per second, 8 bits.
TACMWaveFormat DefaultWaveFormat();

// The stored form: a 32-bit little-endian count (129) and the record; 133 bytes.
std::string StoreWaveFormat(const TACMWaveFormat& format);
// Reads a stored form from the start of data. A count below 129 fills only the first bytes of
// the record; bytes beyond 129 are skipped. Returns the bytes read, or 0 (and leaves the record
// alone) when the data ends before the count says.
std::size_t LoadWaveFormat(const void* data, std::size_t size, TACMWaveFormat& format);

// prefix followed by the text of a platform result code, e.g. "acmStreamOpen: The specified
// handle is invalid."; the wave device codes are known only when waveCodes is set.
std::string ACMErrorText(const std::string& prefix, platform::MMRESULT code, bool waveCodes);
