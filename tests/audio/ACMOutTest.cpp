#include <gtest/gtest.h>

#include "audio/ACMConvertor.h"
#include "audio/ACMOut.h"
#include "platform/Application.h"
#include "tests/audio/AudioTestSupport.h"

using namespace audiotest;

namespace {

class ACMOutTest : public testing::Test {
 protected:
  void SetUp() override {
    path_ = HomeFile(std::string("playback-") +
                     testing::UnitTest::GetInstance()->current_test_info()->name() + ".raw");
    UsePlaybackFile(path_);
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&) { shown_.push_back(text); });
    out_.OnBufferPlayed = [this](TACMOut* sender) {
      EXPECT_EQ(sender, &out_);
      ++played_;
    };
  }
  void TearDown() override {
    out_.Close();
    platform::SetMessageBoxHook(nullptr);
    unsetenv("TALVO_ALSA_PCM_OUT");
  }

  std::vector<std::uint8_t> Played() { return ReadFile(path_); }

  std::string path_;
  std::vector<std::string> shown_;
  TACMOut out_;
  int played_ = 0;
};

}  // namespace

TEST_F(ACMOutTest, PlaysPcmBlocksByteForByte) {
  out_.SetNumBuffers(0);
  out_.Open(PcmWaveFormat());
  const auto audio = Bytes(RisingTone(8000));
  // Blocks of any size, odd ones too.
  std::vector<std::size_t> sizes = {1600, 1000, 2222, 158, 3020};
  std::size_t at = 0, blocks = 0;
  for (std::size_t n : sizes) {
    out_.Play(audio.data() + at, static_cast<std::int32_t>(n));
    at += n;
    ++blocks;
  }
  out_.Play(audio.data() + at, static_cast<std::int32_t>(audio.size() - at));
  ++blocks;
  EXPECT_EQ(out_.BlockCount(), blocks);
  const std::uint32_t start = platform::GetTickCount();
  ASSERT_TRUE(WaitFor([&] { return played_ == static_cast<int>(blocks); }, 10000));
  // One second of audio takes about a second to play.
  EXPECT_GE(platform::GetTickCount() - start, 800u);
  EXPECT_EQ(out_.BlockCount(), 0u);
  out_.Close();
  EXPECT_EQ(Played(), audio);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ACMOutTest, HoldsBackTheFirstBlocksAfterOpening) {
  EXPECT_EQ(out_.NumBuffers(), 4);
  out_.Open(PcmWaveFormat());
  EXPECT_EQ(out_.HoldBack(), 4);
  const auto audio = Bytes(RisingTone(4000));
  out_.Play(audio.data(), 0);  // ignored, does not count
  for (int i = 0; i < 4; ++i) out_.Play(audio.data() + i * 1600, 1600);
  EXPECT_EQ(out_.HoldBack(), 0);
  Pump(400);
  EXPECT_EQ(played_, 0);
  EXPECT_TRUE(Played().empty());
  // The fifth block releases all five in arrival order.
  out_.Play(audio.data() + 6400, 1600);
  ASSERT_TRUE(WaitFor([&] { return played_ == 5; }, 10000));
  // From now on every block is written at once, also after the device ran dry.
  out_.Play(audio.data(), 800);
  ASSERT_TRUE(WaitFor([&] { return played_ == 6; }, 10000));
  out_.Close();
  std::vector<std::uint8_t> expected(audio.begin(), audio.end());
  expected.insert(expected.end(), audio.begin(), audio.begin() + 800);
  EXPECT_EQ(Played(), expected);
}

TEST_F(ACMOutTest, ReopeningArmsTheHoldBackAgainAndCloseDropsHeldBlocks) {
  out_.SetNumBuffers(2);
  out_.Open(PcmWaveFormat());
  const auto audio = Bytes(RisingTone(2000));
  out_.Play(audio.data(), 800);
  EXPECT_EQ(out_.BlockCount(), 1u);
  out_.Close();
  EXPECT_EQ(out_.BlockCount(), 0u);
  out_.Play(audio.data(), 800);  // inactive: nothing copied
  EXPECT_EQ(out_.BlockCount(), 0u);
  out_.Open(PcmWaveFormat());
  EXPECT_EQ(out_.HoldBack(), 2);
  out_.Play(audio.data(), 800);
  out_.Play(audio.data() + 800, 800);
  Pump(300);
  EXPECT_EQ(played_, 0);
  out_.Play(audio.data() + 1600, 800);
  ASSERT_TRUE(WaitFor([&] { return played_ == 3; }, 10000));
  out_.Close();
  EXPECT_EQ(Played(), std::vector<std::uint8_t>(audio.begin(), audio.begin() + 2400));
}

TEST_F(ACMOutTest, CloseStopsPlaybackAndLateReportsAreIgnored) {
  out_.SetNumBuffers(0);
  out_.Open(PcmWaveFormat());
  const auto audio = Bytes(RisingTone(16000));  // 2 s
  for (int i = 0; i < 10; ++i) out_.Play(audio.data() + i * 3200, 3200);
  Pump(300);
  out_.Close();
  out_.Open(PcmWaveFormat());
  const int before = played_;
  Pump(300);
  EXPECT_EQ(played_, before);  // the first opening's blocks are not reported to the second
  EXPECT_LT(played_, 10);
  out_.Close();
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ACMOutTest, PlaysMpegLayer3AsATone) {
  // 3 s of a 1 kHz tone, compressed in the server's 2000-byte blocks, played frame by frame
  // as the client receives them.
  const auto pcm = Tone(24000, 1000, 8000);
  TACMConvertor enc;
  enc.SetFormatIn(PcmWaveFormat());
  enc.SetFormatOut(Mp3WaveFormat());
  enc.SetInputBufferSize(2000);
  enc.SetActive(true);
  out_.SetNumBuffers(0);
  out_.Open(Mp3WaveFormat());
  const auto bytes = Bytes(pcm);
  int blocks = 0;
  for (std::size_t at = 0; at < bytes.size(); at += 2000) {
    const std::int32_t n = enc.Convert(bytes.data() + at, 2000);
    if (n == 0) continue;
    out_.Play(enc.BufferOut(), n);
    ++blocks;
  }
  ASSERT_TRUE(WaitFor([&] { return played_ == blocks; }, 15000));
  out_.Close();
  const auto played = Samples(Played());
  // Nearly all frames sent (the encoder holds back its delay) came out as 576 samples each.
  ASSERT_GT(played.size(), 24000u - 2400);
  EXPECT_EQ(played.size() % 576, 0u);
  const std::size_t from = Onset(played, 4000) + 800, count = 16000;
  ASSERT_LT(from + count, played.size());
  EXPECT_NEAR(StrongestFrequency(played, from, count, 900, 1100), 1000, 2);
  const ToneFit fit = FitTone(played, from, count, 1000);
  EXPECT_GT(fit.snrDb, 15);
  EXPECT_NEAR(fit.amplitude, 8000, 8000 * 0.3);
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ACMOutTest, FailuresNameTheirCall) {
  auto expectOpenError = [&](const TACMWaveFormat& format, const std::string& text) {
    try {
      out_.Open(format);
      FAIL() << "no exception for " << text;
    } catch (const EACMOut& e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_FALSE(out_.Active());
  };
  TACMWaveFormat gsm = PcmWaveFormat();
  gsm.wFormatTag = 0x31;
  expectOpenError(gsm, "WaveOutOpen Unsupported audio format.");
  TACMWaveFormat mp3 = Mp3WaveFormat();
  mp3.nSamplesPerSec = 9000;
  expectOpenError(mp3, "WaveOutOpen Unsupported audio format.");
  out_.SetDeviceID(63);
  expectOpenError(PcmWaveFormat(), "WaveOutOpen The specified resource does not exist.");
  out_.SetDeviceID(-1);
  setenv("TALVO_ALSA_PCM_OUT", "{ type file", 1);  // a broken definition
  expectOpenError(PcmWaveFormat(), "WaveOutOpen The specified resource does not exist.");
}
