#include <gtest/gtest.h>

#include <cstring>

#include "audio/ACMConvertor.h"
#include "tests/audio/AudioTestSupport.h"

using namespace audiotest;

namespace {

std::uint32_t ReadU32(const std::string& s, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}

// Converts src in blocks of block bytes; every conversion's output is appended to out, and its
// size to sizes.
void ConvertAll(TACMConvertor& c, const std::vector<std::uint8_t>& src, std::size_t block,
                std::vector<std::uint8_t>& out, std::vector<std::int32_t>* sizes = nullptr) {
  for (std::size_t at = 0; at < src.size(); at += block) {
    const auto n = static_cast<std::uint32_t>(std::min(block, src.size() - at));
    const std::int32_t got = c.Convert(src.data() + at, n);
    out.insert(out.end(), c.BufferOut(), c.BufferOut() + got);
    if (sizes) sizes->push_back(got);
  }
}

std::vector<std::uint8_t> Encode(const std::vector<std::int16_t>& pcm, std::uint32_t inputSize,
                                 std::size_t block, std::vector<std::int32_t>* sizes = nullptr) {
  TACMConvertor c;
  c.SetFormatIn(PcmWaveFormat());
  c.SetFormatOut(Mp3WaveFormat());
  c.SetInputBufferSize(inputSize);
  c.SetActive(true);
  std::vector<std::uint8_t> out;
  ConvertAll(c, Bytes(pcm), block, out, sizes);
  c.SetActive(false);
  return out;
}

std::vector<std::int16_t> Decode(const std::vector<std::uint8_t>& mp3) {
  TACMConvertor c;
  c.SetFormatIn(Mp3WaveFormat());
  c.SetFormatOut(PcmWaveFormat());
  c.SetInputBufferSize(2000);
  c.SetActive(true);
  std::vector<std::uint8_t> out;
  ConvertAll(c, mp3, 2000, out);
  return Samples(out);
}

}  // namespace

TEST(ACMWaveFormat, RecordsHoldTheStoredLayout) {
  const TACMWaveFormat pcm = PcmWaveFormat(), mp3 = Mp3WaveFormat();
  const std::string p = StoreWaveFormat(pcm), m = StoreWaveFormat(mp3);
  ASSERT_EQ(p.size(), 133u);
  ASSERT_EQ(m.size(), 133u);
  EXPECT_EQ(ReadU32(p, 0), 129u);
  // PCM: tag 1, 1 channel, 8000 Hz, 16000 B/s, align 2, 16 bits, cbSize 129, zeros after.
  const std::uint8_t pcmHead[18] = {1,    0, 1, 0, 0x40, 0x1F, 0, 0,   0x80,
                                    0x3E, 0, 0, 2, 0,    16,   0, 129, 0};
  EXPECT_EQ(std::memcmp(p.data() + 4, pcmHead, 18), 0);
  EXPECT_EQ(p.substr(22), std::string(111, '\0'));
  // MPEG Layer-3: 0x55, 1, 8000, 2000, 1, 0, 12; wID 1, flags 2, block 144, 1 frame, delay 1393.
  const std::uint8_t mp3Head[30] = {0x55, 0, 1, 0, 0x40, 0x1F, 0,  0, 0xD0, 0x07,
                                    0,    0, 1, 0, 0,    0,    12, 0, 1,    0,
                                    2,    0, 0, 0, 144,  0,    1,  0, 0x71, 0x05};
  EXPECT_EQ(std::memcmp(m.data() + 4, mp3Head, 30), 0);
  EXPECT_EQ(m.substr(34), std::string(99, '\0'));

  const TACMWaveFormat d = DefaultWaveFormat();
  EXPECT_EQ(d.nSamplesPerSec, 22050u);
  EXPECT_EQ(d.nAvgBytesPerSec, 22050u);
  EXPECT_EQ(d.nBlockAlign, 1);
  EXPECT_EQ(d.wBitsPerSample, 8);
  EXPECT_EQ(d.cbSize, 129);
}

TEST(ACMWaveFormat, StoredFormReadsBackAndNeverWritesPastTheRecord) {
  TACMConvertor writer;
  writer.FormatIn() = PcmWaveFormat();
  writer.FormatOut() = Mp3WaveFormat();
  writer.FormatOut().extra[110] = 0xAB;
  TPropertyMap props;
  writer.WriteProperties(props);
  ASSERT_EQ(props.size(), 2u);
  EXPECT_EQ(props["ACMFormatIn"].size(), 133u);
  EXPECT_EQ(props["ACMFormatOut"].size(), 133u);

  TACMConvertor reader;
  reader.ReadProperties(props);
  EXPECT_TRUE(reader.FormatIn() == PcmWaveFormat());
  EXPECT_TRUE(reader.FormatOut() == writer.FormatOut());

  // A longer stored record: 129 bytes taken, the rest skipped.
  std::string longer = StoreWaveFormat(Mp3WaveFormat()) + "XYZ";
  const std::uint32_t count = 132;
  std::memcpy(longer.data(), &count, 4);
  TACMWaveFormat f = PcmWaveFormat();
  EXPECT_EQ(LoadWaveFormat(longer.data(), longer.size(), f), 136u);
  EXPECT_TRUE(f == Mp3WaveFormat());
  // Cut short: refused, record untouched.
  f = PcmWaveFormat();
  EXPECT_EQ(LoadWaveFormat(longer.data(), 100, f), 0u);
  EXPECT_TRUE(f == PcmWaveFormat());
  props["ACMFormatIn"].resize(50);
  EXPECT_THROW(reader.ReadProperties(props), EACMConvertor);
}

TEST(ACMWaveFormat, ErrorTextsPerCode) {
  EXPECT_EQ(ACMErrorText("acmStreamOpen:", 5, false),
            "acmStreamOpen: The specified handle is invalid.");
  EXPECT_EQ(ACMErrorText("acmStreamOpen:", 999, false),
            "acmStreamOpen: raised an unknown error (code #999)");
  EXPECT_EQ(ACMErrorText("acmStreamReset", 514, false),
            "acmStreamReset Cannot perform this action on a header that has not been prepared.");
  // Wave codes are unknown to the converter.
  EXPECT_EQ(ACMErrorText("acmStreamOpen:", 32, false),
            "acmStreamOpen: raised an unknown error (code #32)");
  EXPECT_EQ(ACMErrorText("WaveIn-Open", 32, true), "WaveIn-Open Unsupported audio format.");
  EXPECT_EQ(ACMErrorText("WaveOutOpen", 2, true),
            "WaveOutOpen The specified resource does not exist.");
  EXPECT_EQ(ACMErrorText("WaveOutOpen", 4, true),
            "WaveOutOpen The specified resource is already in use.");
  EXPECT_EQ(ACMErrorText("X", 6, true),
            "X A suitable driver is not available to provide valid format selections.");
  EXPECT_EQ(ACMErrorText("X", 7, false), "X The system is unable to allocate resources.");
  EXPECT_EQ(ACMErrorText("X", 10, false), "X At least one flag is invalid.");
  EXPECT_EQ(ACMErrorText("X", 11, false), "X At least one parameter is invalid.");
  EXPECT_EQ(ACMErrorText("X", 35, true),
            "X The specified device does not support asynchronous operation.");
  EXPECT_EQ(ACMErrorText("X", 512, false), "X The requested operation cannot be performed.");
  EXPECT_EQ(ACMErrorText("X", 513, false), "X The conversion stream is already in use.");
}

TEST(ACMConvertor, ActiveStateAndBufferSizeRules) {
  TACMConvertor c;
  EXPECT_EQ(c.InputBufferSize(), 2048u);
  EXPECT_FALSE(c.Active());
  c.SetActive(false);  // nothing to close
  c.SetFormatIn(PcmWaveFormat());
  c.SetFormatOut(Mp3WaveFormat());
  c.SetInputBufferSize(2000);
  c.SetActive(true);
  std::uint8_t* first = c.BufferIn();
  c.SetActive(true);  // opens once
  EXPECT_EQ(c.BufferIn(), first);
  EXPECT_GE(c.OutputBufferSize(), 2u * 144);
  try {
    c.SetInputBufferSize(128);
    FAIL() << "no exception";
  } catch (const EACMConvertor& e) {
    EXPECT_STREQ(e.what(), "You cannot change the buffer size while active.");
  }
  EXPECT_EQ(c.InputBufferSize(), 2000u);
  c.SetActive(false);
  EXPECT_FALSE(c.Active());
  EXPECT_EQ(c.BufferIn(), nullptr);
  c.SetInputBufferSize(128);
  EXPECT_EQ(c.InputBufferSize(), 128u);
}

TEST(ACMConvertor, FailuresNameTheirCall) {
  TACMConvertor c;  // 22050 Hz 8-bit PCM both ways: no codec for that
  try {
    c.SetActive(true);
    FAIL() << "no exception";
  } catch (const EACMConvertor& e) {
    EXPECT_STREQ(e.what(), "acmStreamOpen: The requested operation cannot be performed.");
  }
  EXPECT_FALSE(c.Active());

  c.SetFormatIn(PcmWaveFormat());
  c.SetFormatOut(Mp3WaveFormat());
  c.FormatOut().nAvgBytesPerSec = 1999;  // no MPEG bit rate
  EXPECT_THROW(c.SetActive(true), EACMConvertor);

  c.SetFormatOut(Mp3WaveFormat());
  c.SetInputBufferSize(0);
  try {
    c.SetActive(true);
    FAIL() << "no exception";
  } catch (const EACMConvertor& e) {
    EXPECT_STREQ(e.what(), "acmStreamSize: At least one parameter is invalid.");
  }
  EXPECT_FALSE(c.Active());

  c.SetInputBufferSize(2000);
  try {
    c.Convert();
    FAIL() << "no exception";
  } catch (const EACMConvertor& e) {
    EXPECT_STREQ(e.what(), "acmStreamConvert: The specified handle is invalid.");
  }
  c.SetActive(true);
  std::vector<std::uint8_t> big(2001, 0);
  try {
    c.Convert(big.data(), 2001);
    FAIL() << "no exception";
  } catch (const EACMConvertor& e) {
    EXPECT_EQ(
        std::string(e.what()),
        "acmStreamConvert: a block of 2001 bytes does not fit the input buffer of 2000 bytes.");
  }
  EXPECT_THROW(c.Convert(2001), EACMConvertor);
  EXPECT_TRUE(c.Active());
}

TEST(ACMConvertor, ToneEncodesToWholeFramesAtTheBitRateAndDecodesBack) {
  // 10 s of a 1 kHz tone after 0.25 s of silence, in the server's 2000-byte blocks.
  const std::size_t silence = 2000;
  const auto pcm = Tone(82000, 1000, 8000, 8000, silence);
  std::vector<std::int32_t> sizes;
  const auto mp3 = Encode(pcm, 2000, 2000, &sizes);
  for (std::int32_t n : sizes) ASSERT_EQ(n % 144, 0) << "a conversion split a frame";
  // Every frame is a 144-byte MPEG-2.5 Layer III frame at 16 kbit/s, 8 kHz, mono.
  for (std::size_t at = 0; at < mp3.size(); at += 144) {
    ASSERT_EQ(mp3[at], 0xFF);
    ASSERT_EQ(mp3[at + 1] & 0xFE, 0xE2);  // MPEG 2.5, Layer III
    ASSERT_EQ(mp3[at + 3] >> 6, 3);       // mono
  }
  // Bytes per second of audio: the codec's delay holds back the last frames, not more.
  const double seconds = pcm.size() / 8000.0;
  EXPECT_NEAR(mp3.size() / seconds, 2000, 40);
  // Steady state: the second half of the blocks holds exactly 2000 bytes per second.
  std::int64_t late = 0;
  for (std::size_t i = sizes.size() / 2; i < sizes.size(); ++i) late += sizes[i];
  EXPECT_NEAR(late / ((sizes.size() - sizes.size() / 2) * 0.125), 2000, 40);

  const auto back = Decode(mp3);
  ASSERT_GT(back.size(), pcm.size() - 3000);
  const std::size_t delay = Onset(back, 4000) - silence;
  EXPECT_GT(delay, 500u);
  EXPECT_LT(delay, 2000u);
  const std::size_t from = silence + delay + 800, count = 48000;
  ASSERT_LT(from + count, back.size());
  EXPECT_NEAR(StrongestFrequency(back, from, count, 900, 1100), 1000, 2);
  const ToneFit fit = FitTone(back, from, count, 1000);
  EXPECT_GT(fit.snrDb, 15) << "amplitude " << fit.amplitude;
  EXPECT_NEAR(fit.amplitude, 8000, 8000 * 0.3);
}

TEST(ACMConvertor, ShortBlocksCarryTheCodecStateAcross) {
  // The client's 128-byte microphone blocks: most conversions complete no frame, and the
  // stream is the same as if converted in large blocks.
  const auto pcm = Tone(40000, 700, 6000);
  std::vector<std::int32_t> sizes;
  const auto small = Encode(pcm, 128, 128, &sizes);
  const auto large = Encode(pcm, 2000, 2000);
  EXPECT_EQ(small, large);
  std::size_t empty = 0;
  for (std::int32_t n : sizes) {
    EXPECT_EQ(n % 144, 0);
    if (n == 0) ++empty;
  }
  EXPECT_GT(empty, sizes.size() * 3 / 4);
  EXPECT_NEAR(small.size() / 5.0, 2000, 100);
}

TEST(ACMConvertor, ConvertsExactlyTheBytesSupplied) {
  const auto pcm = Tone(16000, 1000, 8000);
  // An input buffer twice the block: the rest of it must not be converted with the block.
  EXPECT_EQ(Encode(pcm, 4000, 2000), Encode(pcm, 2000, 2000));

  TACMConvertor c;
  c.SetFormatIn(PcmWaveFormat());
  c.SetFormatOut(Mp3WaveFormat());
  c.SetInputBufferSize(2000);
  c.SetActive(true);
  const auto bytes = Bytes(pcm);
  std::int32_t got = 0;
  for (int i = 0; i < 4 && got == 0; ++i) got = c.Convert(bytes.data() + i * 2000, 2000);
  ASSERT_GT(got, 0);
  // A conversion that completes nothing leaves an output buffer of zeros behind it.
  EXPECT_EQ(c.Convert(bytes.data(), 2), 0);
  for (std::uint32_t i = 0; i < c.OutputBufferSize(); ++i) ASSERT_EQ(c.BufferOut()[i], 0) << i;
}
