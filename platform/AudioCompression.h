#pragma once

#include <cstdint>

#include "platform/WaveTypes.h"

// The audio compression manager's stream functions: synchronous conversion between 16-bit PCM
// and MPEG Layer-3 (LAME encodes, mpg123 decodes). A stream keeps its codec state from one
// conversion to the next; acmStreamReset discards it. Any other pair of formats is refused with
// ACMERR_NOTPOSSIBLE. Every function returns 0 on success, otherwise one of the codes of
// WaveTypes.h. Call from one thread per stream.

namespace platform {

using HACMSTREAM = std::uintptr_t;
using HACMDRIVER = std::uintptr_t;

constexpr std::uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr std::uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr std::uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;

constexpr std::uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr std::uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;

constexpr std::uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr std::uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr std::uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

constexpr std::uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr std::uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;
constexpr std::uint32_t ACMSTREAMHEADER_STATUSF_INQUEUE = 0x00100000;

// Describes a source and a destination buffer. cbStruct must be sizeof(ACMSTREAMHEADER); the
// pointers and lengths given when preparing must stay as they are until unpreparing, except that
// a conversion may take fewer source bytes (cbSrcLength) than were prepared.
struct ACMSTREAMHEADER {
  std::uint32_t cbStruct;
  std::uint32_t fdwStatus;
  std::uintptr_t dwUser;
  std::uint8_t* pbSrc;
  std::uint32_t cbSrcLength;
  std::uint32_t cbSrcLengthUsed;
  std::uintptr_t dwSrcUser;
  std::uint8_t* pbDst;
  std::uint32_t cbDstLength;
  std::uint32_t cbDstLengthUsed;
  std::uintptr_t dwDstUser;
  std::uint32_t dwReservedDriver[10];
};

// Opens a stream from *pwfxSrc to *pwfxDst. had, pwfltr (a filter), dwCallback and dwInstance
// must be 0: only synchronous streams without filters exist. With ACM_STREAMOPENF_QUERY the pair
// is only checked and *phas is left alone.
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, const void* pwfltr, std::uintptr_t dwCallback,
                       std::uintptr_t dwInstance, std::uint32_t fdwOpen);

// The destination bytes that a conversion of cbInput source bytes can produce at most
// (ACM_STREAMSIZEF_SOURCE), or the source bytes that fill at most cbInput destination bytes
// (ACM_STREAMSIZEF_DESTINATION).
MMRESULT acmStreamSize(HACMSTREAM has, std::uint32_t cbInput, std::uint32_t* pdwOutputBytes,
                       std::uint32_t fdwSize);

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, std::uint32_t fdwPrepare);

// Converts the first cbSrcLength bytes of the source (whole source blocks with
// ACM_STREAMCONVERTF_BLOCKALIGN). cbDstLengthUsed receives the bytes written to the destination;
// output that does not fit is kept for the next conversion, never dropped. START begins a fresh
// stream first, END also returns what the codec still holds.
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, std::uint32_t fdwConvert);

// Discards what the codec holds: the next conversion begins a fresh stream.
MMRESULT acmStreamReset(HACMSTREAM has, std::uint32_t fdwReset);

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash,
                                  std::uint32_t fdwUnprepare);

MMRESULT acmStreamClose(HACMSTREAM has, std::uint32_t fdwClose);

}  // namespace platform
