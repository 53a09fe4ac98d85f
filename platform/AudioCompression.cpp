#include "platform/AudioCompression.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Mp3Codec.h"

namespace platform {
namespace {

struct PreparedHeader {
  std::uint8_t* src;
  std::uint32_t srcLength;
  std::uint8_t* dst;
  std::uint32_t dstLength;
};

struct Stream {
  bool encoding = false;
  unsigned rate = 0, channels = 0, kbitRate = 0;
  std::unique_ptr<Mp3Encoder> encoder;
  std::unique_ptr<Mp3Decoder> decoder;
  std::vector<std::uint8_t> pending;  // converted bytes that did not fit the destination yet
  std::size_t pendingPos = 0;
  bool used = false;  // something was converted since opening or the last reset
  std::map<const ACMSTREAMHEADER*, PreparedHeader> prepared;
  std::vector<std::int16_t> samples;

  std::uint32_t SrcAlign() const { return encoding ? channels * 2 : 1; }
  std::uint32_t DstAlign() const { return encoding ? 1 : channels * 2; }

  bool Restart() {
    pending.clear();
    pendingPos = 0;
    used = false;
    return encoding ? encoder->Restart() : decoder->Restart();
  }
};

std::mutex g_mutex;
std::map<HACMSTREAM, std::unique_ptr<Stream>> g_streams;
HACMSTREAM g_nextHandle = 0x5000;

Stream* Find(HACMSTREAM has) {
  auto it = g_streams.find(has);
  return it == g_streams.end() ? nullptr : it->second.get();
}

bool IsPcm16(const WAVEFORMATEX& f) {
  return f.wFormatTag == WAVE_FORMAT_PCM && f.wBitsPerSample == 16 && f.nChannels >= 1 &&
         f.nChannels <= 2 && f.nBlockAlign == f.nChannels * 2 && f.nSamplesPerSec > 0;
}

// The bit rate in kbit/s of an MPEG Layer-3 record, 0 when it names none.
unsigned Mp3KbitRate(const WAVEFORMATEX& f) {
  if (f.wFormatTag != WAVE_FORMAT_MPEGLAYER3 || f.nChannels < 1 || f.nChannels > 2) return 0;
  if (Mp3FrameSamples(f.nSamplesPerSec) == 0) return 0;
  const std::uint64_t bits = static_cast<std::uint64_t>(f.nAvgBytesPerSec) * 8;
  if (bits == 0 || bits % 1000 != 0 || bits > 320000) return 0;
  return static_cast<unsigned>(bits / 1000);
}

// Builds the stream for a pair of formats; null when no codec converts between them.
std::unique_ptr<Stream> MakeStream(const WAVEFORMATEX& src, const WAVEFORMATEX& dst) {
  auto s = std::make_unique<Stream>();
  if (IsPcm16(src) && Mp3KbitRate(dst) != 0 && src.nSamplesPerSec == dst.nSamplesPerSec &&
      src.nChannels == dst.nChannels) {
    s->encoding = true;
    s->rate = src.nSamplesPerSec;
    s->channels = src.nChannels;
    s->kbitRate = Mp3KbitRate(dst);
    s->encoder = Mp3Encoder::Create(s->rate, s->channels, s->kbitRate);
    if (!s->encoder) return nullptr;
    return s;
  }
  if (Mp3KbitRate(src) != 0 && IsPcm16(dst) && src.nSamplesPerSec == dst.nSamplesPerSec &&
      src.nChannels == dst.nChannels) {
    s->rate = src.nSamplesPerSec;
    s->channels = src.nChannels;
    s->kbitRate = Mp3KbitRate(src);
    s->decoder = Mp3Decoder::Create(s->rate, s->channels);
    if (!s->decoder) return nullptr;
    return s;
  }
  return nullptr;
}

MMRESULT Limit(std::uint64_t value, std::uint32_t* out) {
  if (value > 0xFFFFFFFFu) return ACMERR_NOTPOSSIBLE;
  *out = static_cast<std::uint32_t>(value);
  return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, const void* pwfltr, std::uintptr_t dwCallback,
                       std::uintptr_t dwInstance, std::uint32_t fdwOpen) {
  constexpr std::uint32_t known =
      ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_ASYNC | ACM_STREAMOPENF_NONREALTIME;
  if (fdwOpen & ~known) return MMSYSERR_INVALFLAG;
  if (!pwfxSrc || !pwfxDst || (!phas && !(fdwOpen & ACM_STREAMOPENF_QUERY)))
    return MMSYSERR_INVALPARAM;
  if (had != 0) return MMSYSERR_INVALHANDLE;
  if ((fdwOpen & ACM_STREAMOPENF_ASYNC) || dwCallback != 0 || dwInstance != 0 || pwfltr)
    return ACMERR_NOTPOSSIBLE;
  // The records may be unaligned copies inside larger records.
  WAVEFORMATEX src, dst;
  std::memcpy(&src, pwfxSrc, sizeof src);
  std::memcpy(&dst, pwfxDst, sizeof dst);
  auto stream = MakeStream(src, dst);
  if (!stream) return ACMERR_NOTPOSSIBLE;
  if (fdwOpen & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
  std::lock_guard lock(g_mutex);
  const HACMSTREAM h = g_nextHandle++;
  g_streams[h] = std::move(stream);
  *phas = h;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, std::uint32_t cbInput, std::uint32_t* pdwOutputBytes,
                       std::uint32_t fdwSize) {
  std::lock_guard lock(g_mutex);
  Stream* s = Find(has);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (fdwSize & ~ACM_STREAMSIZEF_DESTINATION) return MMSYSERR_INVALFLAG;
  if (!pdwOutputBytes || cbInput == 0) return MMSYSERR_INVALPARAM;
  const bool fromSource = fdwSize == ACM_STREAMSIZEF_SOURCE;
  const std::uint64_t frameSamples = Mp3FrameSamples(s->rate);
  const std::uint64_t frameBytes = Mp3FrameBytes(s->rate, s->kbitRate * 1000);
  const std::uint64_t blockAlign = s->channels * 2u;
  // The codec holds up to about two frames of look-ahead, so one call may complete a few
  // frames more than its own input fills; output beyond the destination is kept, not lost.
  if (s->encoding) {
    if (fromSource)
      return Limit((cbInput / blockAlign / frameSamples + 3) * (frameBytes + 1), pdwOutputBytes);
    return Limit(cbInput / (frameBytes + 1) * frameSamples * blockAlign, pdwOutputBytes);
  }
  if (fromSource)
    return Limit((cbInput / frameBytes + 2) * frameSamples * blockAlign, pdwOutputBytes);
  return Limit(cbInput / (frameSamples * blockAlign) * frameBytes, pdwOutputBytes);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, std::uint32_t fdwPrepare) {
  std::lock_guard lock(g_mutex);
  Stream* s = Find(has);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (fdwPrepare != 0) return MMSYSERR_INVALFLAG;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (s->prepared.count(pash)) return MMSYSERR_NOERROR;
  if ((!pash->pbSrc && pash->cbSrcLength) || (!pash->pbDst && pash->cbDstLength))
    return MMSYSERR_INVALPARAM;
  s->prepared[pash] = {pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength};
  pash->fdwStatus =
      (pash->fdwStatus & ~ACMSTREAMHEADER_STATUSF_DONE) | ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, std::uint32_t fdwConvert) {
  std::lock_guard lock(g_mutex);
  Stream* s = Find(has);
  if (!s) return MMSYSERR_INVALHANDLE;
  constexpr std::uint32_t known =
      ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END;
  if (fdwConvert & ~known) return MMSYSERR_INVALFLAG;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  auto p = s->prepared.find(pash);
  if (p == s->prepared.end() || !(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED))
    return ACMERR_UNPREPARED;
  // Never read or write past what was prepared, whatever the header says now.
  if (pash->pbSrc != p->second.src || pash->pbDst != p->second.dst ||
      pash->cbSrcLength > p->second.srcLength || pash->cbDstLength > p->second.dstLength)
    return MMSYSERR_INVALPARAM;

  if ((fdwConvert & ACM_STREAMCONVERTF_START) && s->used && !s->Restart())
    return ACMERR_NOTPOSSIBLE;
  const std::uint32_t srcLength = pash->cbSrcLength - pash->cbSrcLength % s->SrcAlign();
  if (s->pendingPos == s->pending.size()) {
    s->pending.clear();
    s->pendingPos = 0;
  }
  bool ok = true;
  if (s->encoding) {
    const std::size_t count = srcLength / 2;
    s->samples.resize(count);
    if (count) std::memcpy(s->samples.data(), pash->pbSrc, count * 2);
    ok = s->encoder->Encode(s->samples.data(), count / s->channels, s->pending);
    if (ok && (fdwConvert & ACM_STREAMCONVERTF_END)) ok = s->encoder->Flush(s->pending);
  } else if (srcLength) {
    s->decoder->Decode(pash->pbSrc, srcLength, s->pending);
  }
  if (!ok) return ACMERR_NOTPOSSIBLE;
  if (srcLength) s->used = true;

  std::size_t copy = std::min<std::size_t>(s->pending.size() - s->pendingPos, pash->cbDstLength);
  copy -= copy % s->DstAlign();
  if (copy) std::memcpy(pash->pbDst, s->pending.data() + s->pendingPos, copy);
  s->pendingPos += copy;
  pash->cbSrcLengthUsed = srcLength;
  pash->cbDstLengthUsed = static_cast<std::uint32_t>(copy);
  pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamReset(HACMSTREAM has, std::uint32_t fdwReset) {
  std::lock_guard lock(g_mutex);
  Stream* s = Find(has);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (fdwReset != 0) return MMSYSERR_INVALFLAG;
  return s->Restart() ? MMSYSERR_NOERROR : MMSYSERR_NOMEM;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash,
                                  std::uint32_t fdwUnprepare) {
  std::lock_guard lock(g_mutex);
  Stream* s = Find(has);
  if (!s) return MMSYSERR_INVALHANDLE;
  if (fdwUnprepare != 0) return MMSYSERR_INVALFLAG;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  auto p = s->prepared.find(pash);
  if (p == s->prepared.end()) return ACMERR_UNPREPARED;
  if (pash->pbSrc != p->second.src || pash->pbDst != p->second.dst ||
      pash->cbSrcLength > p->second.srcLength || pash->cbDstLength > p->second.dstLength)
    return MMSYSERR_INVALPARAM;
  s->prepared.erase(p);
  pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, std::uint32_t fdwClose) {
  std::lock_guard lock(g_mutex);
  auto it = g_streams.find(has);
  if (it == g_streams.end()) return MMSYSERR_INVALHANDLE;
  if (fdwClose != 0) return MMSYSERR_INVALFLAG;
  g_streams.erase(it);
  return MMSYSERR_NOERROR;
}

}  // namespace platform
