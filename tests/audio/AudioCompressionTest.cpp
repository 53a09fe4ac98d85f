// The compression manager's stream functions as the converter does not exercise them:
// destinations too small, resets, split frames, misuse.
#include <gtest/gtest.h>

#include "audio/ACMWaveFormat.h"
#include "platform/AudioCompression.h"
#include "tests/audio/AudioTestSupport.h"

using namespace platform;
using namespace audiotest;

namespace {

struct Stream {
  Stream(const TACMWaveFormat& in_, const TACMWaveFormat& out, std::uint32_t srcSize,
         std::uint32_t dstSize)
      : in(in_), src(srcSize), dst(dstSize) {
    EXPECT_EQ(acmStreamOpen(&h, 0, in.AsWaveFormat(), out.AsWaveFormat(), nullptr, 0, 0, 0), 0u);
    hdr.cbStruct = sizeof hdr;
    hdr.pbSrc = src.data();
    hdr.cbSrcLength = srcSize;
    hdr.pbDst = dst.data();
    hdr.cbDstLength = dstSize;
    EXPECT_EQ(acmStreamPrepareHeader(h, &hdr, 0), 0u);
  }
  ~Stream() {
    EXPECT_EQ(acmStreamUnprepareHeader(h, &hdr, 0), 0u);
    EXPECT_EQ(acmStreamClose(h, 0), 0u);
  }
  // Converts data in pieces of at most the source size; returns all output.
  std::vector<std::uint8_t> Run(const std::vector<std::uint8_t>& data, std::uint32_t flags = 0) {
    std::vector<std::uint8_t> out;
    for (std::size_t at = 0; at < data.size(); at += src.size()) {
      const std::size_t n = std::min(src.size(), data.size() - at);
      std::copy(data.begin() + at, data.begin() + at + n, src.begin());
      hdr.cbSrcLength = static_cast<std::uint32_t>(n);
      EXPECT_EQ(acmStreamConvert(h, &hdr, flags), 0u);
      EXPECT_EQ(hdr.cbSrcLengthUsed, n - n % (in.nBlockAlign));
      out.insert(out.end(), dst.begin(), dst.begin() + hdr.cbDstLengthUsed);
    }
    hdr.cbSrcLength = static_cast<std::uint32_t>(src.size());
    return out;
  }

  TACMWaveFormat in;
  HACMSTREAM h = 0;
  ACMSTREAMHEADER hdr{};
  std::vector<std::uint8_t> src, dst;
};

}  // namespace

TEST(AudioCompression, RefusesWhatItCannotDo) {
  const TACMWaveFormat pcm = PcmWaveFormat(), mp3 = Mp3WaveFormat();
  HACMSTREAM h = 77;
  EXPECT_EQ(acmStreamOpen(&h, 0, pcm.AsWaveFormat(), pcm.AsWaveFormat(), nullptr, 0, 0, 0),
            ACMERR_NOTPOSSIBLE);
  TACMWaveFormat stereo = mp3;
  stereo.nChannels = 2;
  EXPECT_EQ(acmStreamOpen(&h, 0, pcm.AsWaveFormat(), stereo.AsWaveFormat(), nullptr, 0, 0, 0),
            ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(&h, 0, pcm.AsWaveFormat(), mp3.AsWaveFormat(), nullptr, 0, 0, 0x100),
            MMSYSERR_INVALFLAG);
  EXPECT_EQ(acmStreamOpen(&h, 0, pcm.AsWaveFormat(), mp3.AsWaveFormat(), nullptr, 0, 0,
                          ACM_STREAMOPENF_ASYNC),
            ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(&h, 0, pcm.AsWaveFormat(), mp3.AsWaveFormat(), nullptr, 0, 0,
                          ACM_STREAMOPENF_QUERY),
            0u);
  EXPECT_EQ(h, 77u);  // a query opens nothing
  EXPECT_EQ(acmStreamClose(77, 0), MMSYSERR_INVALHANDLE);

  Stream s(pcm, mp3, 2000, 600);
  ACMSTREAMHEADER other = s.hdr;
  EXPECT_EQ(acmStreamConvert(s.h, &other, 0), ACMERR_UNPREPARED);
  s.hdr.cbSrcLength = 2002;  // more than was prepared
  EXPECT_EQ(acmStreamConvert(s.h, &s.hdr, 0), MMSYSERR_INVALPARAM);
  s.hdr.cbSrcLength = 2000;
  EXPECT_EQ(acmStreamConvert(s.h, &s.hdr, 0x1000), MMSYSERR_INVALFLAG);
  EXPECT_EQ(acmStreamReset(s.h, 1), MMSYSERR_INVALFLAG);
  std::uint32_t size = 0;
  EXPECT_EQ(acmStreamSize(s.h, 2000, &size, ACM_STREAMSIZEF_SOURCE), 0u);
  EXPECT_GE(size, 2u * 145);
  EXPECT_EQ(acmStreamSize(s.h, 1440, &size, ACM_STREAMSIZEF_DESTINATION), 0u);
  EXPECT_GT(size, 0u);
  EXPECT_EQ(acmStreamSize(s.h, 2000, &size, 2), MMSYSERR_INVALFLAG);
}

TEST(AudioCompression, NothingIsLostWhenTheDestinationIsSmall) {
  const auto pcm = Bytes(Tone(24000, 440, 5000));
  std::vector<std::uint8_t> roomy, tight;
  {
    Stream s(PcmWaveFormat(), Mp3WaveFormat(), 2000, 4096);
    roomy = s.Run(pcm);
  }
  {
    Stream s(PcmWaveFormat(), Mp3WaveFormat(), 2000, 100);
    tight = s.Run(pcm);
    // What did not fit comes out with the next conversions (of no source at all).
    for (int i = 0; i < 100; ++i) {
      auto more = s.Run(std::vector<std::uint8_t>(1, 0));
      if (more.empty()) break;
      EXPECT_EQ(s.hdr.cbSrcLengthUsed, 0u);  // one byte is no whole sample
      tight.insert(tight.end(), more.begin(), more.end());
    }
  }
  ASSERT_GE(tight.size(), roomy.size());
  EXPECT_TRUE(std::equal(roomy.begin(), roomy.end(), tight.begin()));
}

TEST(AudioCompression, ResetAndStartBeginAFreshStreamAndEndFlushes) {
  const auto a = Bytes(Tone(16000, 440, 5000)), b = Bytes(Tone(16000, 1200, 5000));
  std::vector<std::uint8_t> fresh;
  {
    Stream s(PcmWaveFormat(), Mp3WaveFormat(), 2000, 4096);
    fresh = s.Run(b);
  }
  Stream s(PcmWaveFormat(), Mp3WaveFormat(), 2000, 4096);
  s.Run(a);
  EXPECT_EQ(acmStreamReset(s.h, 0), 0u);
  EXPECT_EQ(s.Run(b), fresh);
  s.Run(a);
  std::vector<std::uint8_t> started =
      s.Run(std::vector<std::uint8_t>(b.begin(), b.begin() + 2000), ACM_STREAMCONVERTF_START);
  auto rest = s.Run(std::vector<std::uint8_t>(b.begin() + 2000, b.end()));
  started.insert(started.end(), rest.begin(), rest.end());
  EXPECT_EQ(started, fresh);
  // END returns what the encoder holds, padded to whole frames, and the stream starts afresh.
  auto flushed = s.Run(std::vector<std::uint8_t>(2, 0), ACM_STREAMCONVERTF_END);
  EXPECT_GT(flushed.size(), 0u);
  EXPECT_EQ(flushed.size() % 144, 0u);
  EXPECT_EQ(s.Run(b), fresh);
}

TEST(AudioCompression, DecoderTakesFramesSplitAnywhere) {
  std::vector<std::uint8_t> mp3;
  {
    Stream s(PcmWaveFormat(), Mp3WaveFormat(), 2000, 4096);
    mp3 = s.Run(Bytes(Tone(16000, 1000, 8000)));
  }
  ASSERT_GT(mp3.size(), 20u * 144);
  std::vector<std::uint8_t> whole, pieces;
  {
    Stream s(Mp3WaveFormat(), PcmWaveFormat(), 2000, 40000);
    whole = s.Run(mp3);
  }
  {
    Stream s(Mp3WaveFormat(), PcmWaveFormat(), 50, 40000);
    pieces = s.Run(mp3);
  }
  EXPECT_EQ(whole.size(), mp3.size() / 144 * 1152);
  EXPECT_EQ(pieces, whole);
}
