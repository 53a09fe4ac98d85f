#include <gtest/gtest.h>

#include <thread>

#include "audio/ACMIn.h"
#include "platform/Application.h"
#include "tests/audio/AudioTestSupport.h"

using namespace audiotest;

namespace {

class ACMInTest : public testing::Test {
 protected:
  void SetUp() override {
    source_ = Bytes(RisingTone(8000 * 4));
    path_ = HomeFile(std::string("capture-") +
                     testing::UnitTest::GetInstance()->current_test_info()->name() + ".raw");
    WriteFile(path_, source_);
    UseCaptureFile(path_);
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&) { shown_.push_back(text); });
  }
  void TearDown() override {
    platform::SetMessageBoxHook(nullptr);
    unsetenv("TALVO_ALSA_PCM_IN");
  }

  std::vector<std::uint8_t> source_;
  std::string path_;
  std::vector<std::string> shown_;  // exceptions that escaped to the event loop
};

}  // namespace

TEST_F(ACMInTest, PropertiesKeepTheirValuesWhileActive) {
  TACMIn in;
  EXPECT_EQ(in.DeviceID(), -1);
  EXPECT_EQ(in.BufferSize(), 8192u);
  EXPECT_EQ(in.NumBuffers(), 4);
  EXPECT_THROW(in.SetNumBuffers(1), EACMIn);
  EXPECT_THROW(in.SetNumBuffers(65), EACMIn);
  in.SetNumBuffers(64);
  in.SetNumBuffers(2);
  EXPECT_EQ(in.NumBuffers(), 2);
  in.SetBufferSize(2000);
  in.Open(PcmWaveFormat());
  EXPECT_TRUE(in.Active());
  in.SetBufferSize(128);
  in.SetNumBuffers(8);
  EXPECT_EQ(in.BufferSize(), 2000u);
  EXPECT_EQ(in.NumBuffers(), 2);
  in.Open(DefaultWaveFormat());  // already open: keeps the first format
  EXPECT_TRUE(in.Format() == PcmWaveFormat());
  in.Close();
  in.Close();
  EXPECT_FALSE(in.Active());
  in.SetBufferSize(128);
  EXPECT_EQ(in.BufferSize(), 128u);
}

TEST_F(ACMInTest, CapturesTheDeviceByteForByte) {
  TACMIn in;
  in.SetBufferSize(2000);
  in.SetNumBuffers(8);
  std::vector<std::uint8_t> got;
  int events = 0;
  in.OnBufferFull = [&](TACMIn* sender, const void* data, std::int32_t size) {
    EXPECT_EQ(sender, &in);
    EXPECT_EQ(size, 2000);
    const auto* p = static_cast<const std::uint8_t*>(data);
    got.insert(got.end(), p, p + size);
    ++events;
  };
  const std::uint32_t start = platform::GetTickCount();
  in.Open(PcmWaveFormat());
  ASSERT_TRUE(WaitFor([&] { return events >= 12; }, 10000));
  const std::uint32_t elapsed = platform::GetTickCount() - start;
  in.Close();
  // Paced in real time: 12 blocks of 125 ms take at least 1.5 s.
  EXPECT_GE(elapsed, 1400u);
  ASSERT_GE(got.size(), 24000u);
  EXPECT_TRUE(std::equal(got.begin(), got.end(), source_.begin())) << "captured audio differs";
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ACMInTest, BuffersCirculateWithoutAHandler) {
  TACMIn in;
  in.SetBufferSize(400);
  in.SetNumBuffers(2);
  in.Open(PcmWaveFormat());
  Pump(400);  // ten buffers' worth through two buffers
  int events = 0;
  in.OnBufferFull = [&](TACMIn*, const void*, std::int32_t) { ++events; };
  EXPECT_TRUE(WaitFor([&] { return events >= 3; }, 5000));
  in.Close();
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ACMInTest, ClosingInsideTheBufferEventIsSafe) {
  TACMIn in;
  in.SetBufferSize(256);
  in.SetNumBuffers(4);
  int events = 0;
  in.OnBufferFull = [&](TACMIn* sender, const void*, std::int32_t) {
    ++events;
    sender->Close();
  };
  in.Open(PcmWaveFormat());
  ASSERT_TRUE(WaitFor([&] { return events >= 1; }, 5000));
  Pump(300);  // the other buffers' late reports arrive now
  EXPECT_EQ(events, 1);
  EXPECT_FALSE(in.Active());
  EXPECT_TRUE(shown_.empty());
}

TEST_F(ACMInTest, ReopeningInsideTheBufferEventStartsAFreshCapture) {
  TACMIn in;
  in.SetBufferSize(800);
  in.SetNumBuffers(4);
  std::vector<std::vector<std::uint8_t>> blocks;
  in.OnBufferFull = [&](TACMIn* sender, const void* data, std::int32_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    blocks.emplace_back(p, p + size);
    if (blocks.size() == 2) {
      sender->Close();
      sender->SetBufferSize(400);
      sender->Open(PcmWaveFormat());
    }
  };
  in.Open(PcmWaveFormat());
  ASSERT_TRUE(WaitFor([&] { return blocks.size() >= 6; }, 10000));
  in.Close();
  // The new device reads its input from the start again, in the new size.
  ASSERT_EQ(blocks[2].size(), 400u);
  EXPECT_TRUE(std::equal(blocks[2].begin(), blocks[2].end(), source_.begin()));
  EXPECT_TRUE(std::equal(blocks[3].begin(), blocks[3].end(), source_.begin() + 400));
  EXPECT_TRUE(shown_.empty()) << shown_.front();
}

TEST_F(ACMInTest, LateReportsOfAnEarlierOpeningAreIgnored) {
  TACMIn in;
  in.SetBufferSize(200);
  in.SetNumBuffers(4);
  std::vector<std::vector<std::uint8_t>> blocks;
  in.OnBufferFull = [&](TACMIn*, const void* data, std::int32_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    blocks.emplace_back(p, p + size);
  };
  for (int round = 0; round < 3; ++round) {
    in.Open(PcmWaveFormat());
    // Reports of filled buffers queue up without being dispatched ...
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    in.Close();
  }
  // ... and reach the component only after it was closed and opened again (its new buffers
  // are likely to sit at the old addresses).
  in.Open(PcmWaveFormat());
  ASSERT_TRUE(WaitFor([&] { return blocks.size() >= 3; }, 5000));
  in.Close();
  EXPECT_TRUE(std::equal(blocks[0].begin(), blocks[0].end(), source_.begin()));
  EXPECT_TRUE(shown_.empty()) << shown_.front();
}

TEST_F(ACMInTest, FailuresNameTheirCall) {
  TACMIn in;
  auto expectOpenError = [&](const TACMWaveFormat& format, const std::string& text) {
    try {
      in.Open(format);
      FAIL() << "no exception for " << text;
    } catch (const EACMIn& e) {
      EXPECT_EQ(std::string(e.what()), text);
    }
    EXPECT_FALSE(in.Active());
  };
  expectOpenError(Mp3WaveFormat(), "WaveIn-Open Unsupported audio format.");
  TACMWaveFormat odd = PcmWaveFormat();
  odd.nBlockAlign = 3;
  expectOpenError(odd, "WaveIn-Open Unsupported audio format.");
  in.SetBufferSize(1);  // smaller than one sample
  expectOpenError(PcmWaveFormat(), "WaveIn-AddBuffer At least one parameter is invalid.");
  in.SetBufferSize(2000);
  in.SetDeviceID(63);
  expectOpenError(PcmWaveFormat(), "WaveIn-Open The specified resource does not exist.");
  in.SetDeviceID(-1);
  setenv("TALVO_ALSA_PCM_IN", "talvo_no_such_device", 1);
  expectOpenError(PcmWaveFormat(), "WaveIn-Open The specified resource does not exist.");
  UseCaptureFile(path_);
  in.Open(PcmWaveFormat());  // and it still opens afterwards
  EXPECT_TRUE(in.Active());
}

TEST_F(ACMInTest, AHandlerThatRaisesKeepsItsBufferCirculating) {
  TACMIn in;
  in.SetBufferSize(200);
  in.SetNumBuffers(2);
  int events = 0;
  in.OnBufferFull = [&](TACMIn*, const void*, std::int32_t) {
    ++events;
    throw std::runtime_error("handler failed");
  };
  in.Open(PcmWaveFormat());
  // Two buffers only: without re-arming after a raise, capture would stop after two events.
  EXPECT_TRUE(WaitFor([&] { return events >= 6; }, 5000));
  in.Close();
  ASSERT_FALSE(shown_.empty());
  EXPECT_EQ(shown_.front(), "handler failed");
}
