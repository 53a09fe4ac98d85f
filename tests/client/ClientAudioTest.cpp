// The client's audio path at its seams: knob moves and push-to-talk clicks in, lines out;
// "AU" frames in, the timing reference out; microphone blocks in, "AU DATA" lines out.
#include <gtest/gtest.h>

#include <cstdio>

#include "client/ClientAudio.h"
#include "client/ClientSettings.h"
#include "common/AudioFrame.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/client/ClientTestSupport.h"

using namespace audiotest;

namespace {

using FakeLink = FakeAudioLink;

std::string Hex8(std::uint32_t value) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", value);
  return buf;
}

std::string Frame(std::uint32_t stamp, std::size_t count = 40) {
  return Hex8(stamp) + Hex8(static_cast<std::uint32_t>(count)) + std::string(count, 'A');
}

// One capture block of 64 samples.
std::vector<std::uint8_t> Block(std::int32_t level, std::int32_t spike = 0) {
  return LevelBlock(64, level, spike);
}

class ClientAudioTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("TALVO_ALSA_PCM_OUT", "null", 1);
    setenv("TALVO_ALSA_PCM_IN", "null", 1);
  }
  void TearDown() override {
    unsetenv("TALVO_ALSA_PCM_IN");
    unsetenv("TALVO_ALSA_PCM_OUT");
  }

  // The number of lines the block caused.
  std::size_t Feed(const std::vector<std::uint8_t>& block) {
    const std::size_t before = link_.commands.size();
    audio_.ACMInBufferFull(block.data(), static_cast<std::int32_t>(block.size()));
    return link_.commands.size() - before;
  }

  FakeLink link_;
  TClientAudio audio_{link_};
};

}  // namespace

TEST_F(ClientAudioTest, LateFramesAreDroppedAtTheBoundary) {
  struct Row {
    const char* what;
    std::uint32_t refStamp, refTick, stamp, tick;
    bool accepted;
  } rows[] = {
      {"on time", 0x1000, 5000, 0x1000 + 100, 5000 + 100, true},
      {"+249 ms", 0x1000, 5000, 0x1000, 5000 + 249, true},
      {"+250 ms", 0x1000, 5000, 0x1000, 5000 + 250, false},
      {"stamped 100 ms on, 349 ms after", 0x1000, 5000, 0x1000 + 100, 5000 + 349, true},
      {"stamped 100 ms on, 350 ms after", 0x1000, 5000, 0x1000 + 100, 5000 + 350, false},
      {"stamps across bit 31, +249 ms", 0x7FFFFFC0, 9000, 0x80000040, 9000 + 128 + 249, true},
      {"stamps across bit 31, +250 ms", 0x7FFFFFC0, 9000, 0x80000040, 9000 + 128 + 250, false},
      {"after a skip, +250 ms, the card short", 0x7FFFFF80, 9000, 0x80000080, 9000 + 256 + 250,
       true},
      {"stamps with bit 31 set", 0x90000000, 100, 0x90000010, 100 + 16, true},
      {"stamps wrap, +249 ms", 0xFFFFFFC0, 100, 0x00000040, 100 + 128 + 249, true},
      {"ticks wrap, late", 0x2000, 0xFFFFFFF0, 0x2000, 0x00000100, false},
  };
  ASSERT_TRUE(audio_.AFGainKnobChange(3));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    audio_.AFGainKnobChange(0);
    audio_.AFGainKnobChange(1);
    EXPECT_EQ(audio_.RefStamp(), 0u);
    // The first frame after "AU ON" is always taken.
    audio_.ReceiveFrame(Frame(row.refStamp), row.refTick);
    EXPECT_EQ(audio_.RefStamp(), row.refStamp);
    audio_.ReceiveFrame(Frame(row.stamp), row.tick);
    EXPECT_EQ(audio_.RefStamp(), row.accepted ? row.stamp : row.refStamp);
    EXPECT_EQ(audio_.RefTick(), row.accepted ? row.tick : row.refTick);
  }
}

TEST_F(ClientAudioTest, TheReferenceIsTakenAfreshAfterTwoSecondsOfLateFrames) {
  audio_.AFGainKnobChange(1);
  const std::uint32_t s0 = 0x10000, t0 = 50000;
  audio_.ReceiveFrame(Frame(s0), t0);
  int firstAccepted = 0;
  for (int k = 1; k <= 24 && !firstAccepted; ++k) {
    audio_.ReceiveFrame(Frame(s0 + 125u * k), t0 + 125u * k + 400);
    if (audio_.RefStamp() != s0) firstAccepted = k;
  }
  // The first late frame arrives 525 ms in; 2 s of late frames later the timing starts afresh.
  EXPECT_EQ(firstAccepted, 17);
}

TEST_F(ClientAudioTest, TheAFKnobSwitchesReceiveAudio) {
  EXPECT_TRUE(audio_.AFGainKnobChange(0));
  EXPECT_TRUE(link_.commands.empty());
  EXPECT_TRUE(audio_.AFGainKnobChange(2));
  EXPECT_TRUE(audio_.ACMOut.Active());
  EXPECT_TRUE(link_.audioOn);
  EXPECT_TRUE(audio_.AFGainKnobChange(5));  // no volume steps
  EXPECT_TRUE(audio_.AFGainKnobChange(0));
  EXPECT_FALSE(audio_.ACMOut.Active());
  EXPECT_FALSE(link_.audioOn);
  EXPECT_EQ(link_.commands, (std::vector<std::string>{"AU ON", "AU OFF"}));
}

TEST_F(ClientAudioTest, APlaybackDeviceThatFailsSendsNothingAndSaysWhy) {
  setenv("TALVO_ALSA_PCM_OUT", "talvo_no_such_device", 1);
  std::string notice;
  audio_.OnNotice = [&notice](const std::string& text) { notice = text; };
  EXPECT_FALSE(audio_.AFGainKnobChange(1));
  EXPECT_TRUE(link_.commands.empty());
  EXPECT_FALSE(link_.audioOn);
  EXPECT_EQ(notice.rfind("Receive audio is not available: WaveOutOpen", 0), 0u) << notice;
}

TEST_F(ClientAudioTest, PushToTalkAndVox) {
  struct Row {
    const char* what;
    bool vox, audioOn;
    std::vector<std::string> raw;
    bool captures;
  } rows[] = {
      {"push-to-talk", false, true, {"TX", "RX"}, true},
      {"VOX: no TX, still captures", true, true, {"RX"}, true},
      {"AF gain 0: TX, no capture", false, false, {"TX", "RX"}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    link_.raw.clear();
    link_.audioOn = row.audioOn;
    audio_.SetUseVox(row.vox);
    audio_.PTTButtonClick(false);
    EXPECT_TRUE(audio_.Transmitting());
    EXPECT_EQ(audio_.ACMIn.Active(), row.captures);
    audio_.PTTButtonClick(true);
    EXPECT_FALSE(audio_.Transmitting());
    EXPECT_FALSE(audio_.ACMIn.Active());
    EXPECT_EQ(link_.raw, row.raw);
  }
}

TEST_F(ClientAudioTest, TransmitEndsWithTheConnection) {
  link_.audioOn = true;
  bool reported = true;
  audio_.OnTransmitChange = [&reported](bool on) { reported = on; };
  audio_.PTTButtonClick(false);
  audio_.StopTransmit();
  EXPECT_FALSE(reported);
  EXPECT_EQ(link_.raw, (std::vector<std::string>{"TX", "RX"}));
  audio_.PTTButtonClick(false);
  link_.connected = false;
  reported = true;
  audio_.Stop();
  EXPECT_FALSE(reported);
  EXPECT_FALSE(audio_.ACMIn.Active());
  EXPECT_FALSE(link_.audioOn);
}

TEST_F(ClientAudioTest, SquelchSendsLoudBlocksAndTheOneAfter) {
  link_.audioOn = true;
  audio_.SetMicSquelch(320);
  audio_.PTTButtonClick(false);
  ASSERT_TRUE(audio_.ACMConv2.Active());
  // Enough loud blocks for the encoder to give bytes; every one of them is converted.
  std::size_t lines = 0;
  for (int i = 0; i < 40; ++i) lines += Feed(Block(2000));
  EXPECT_GT(lines, 0u);
  for (const std::string& line : link_.commands) {
    ASSERT_EQ(line.rfind("AU DATA ", 0), 0u);
    std::uint32_t stamp;
    EXPECT_TRUE(CheckAudioFrame(line.substr(8), stamp));
  }
  // The block after a loud block is sent: it is converted, so MicWasQuiet flips only after it.
  EXPECT_FALSE(audio_.MicWasQuiet());
  Feed(Block(320));
  EXPECT_TRUE(audio_.MicWasQuiet());
  // Quiet after quiet: nothing reaches the encoder, and so no line however many follow.
  link_.commands.clear();
  for (int i = 0; i < 200; ++i) Feed(Block(320));
  EXPECT_TRUE(link_.commands.empty());
}

TEST_F(ClientAudioTest, TheBlockAfterALoudBlockIsSent) {
  // At 16 kbit/s every converted 8 ms block adds 16 compressed bytes on average. In 90 cycles
  // of one loud block and four quiet ones, the loud block and the quiet one after it are
  // converted: 180 blocks, about 2880 bytes; without the tail it would be half of that.
  link_.audioOn = true;
  audio_.SetMicSquelch(100);
  audio_.PTTButtonClick(false);
  for (int i = 0; i < 60; ++i) Feed(Block(3000));
  link_.commands.clear();
  for (int i = 0; i < 450; ++i) Feed(i % 5 == 0 ? Block(3000) : Block(50));
  std::size_t bytes = 0;
  for (const std::string& line : link_.commands) {
    std::vector<std::uint8_t> out(line.size());
    bytes += static_cast<std::size_t>(DecodeAudioFrame(line.substr(8), out.data()));
  }
  EXPECT_GT(bytes, 2400u);
  EXPECT_LT(bytes, 3400u);
}

TEST_F(ClientAudioTest, LevelMeterIsThePeakDiv2048) {
  link_.audioOn = true;
  std::vector<std::int32_t> levels;
  audio_.OnLevel = [&levels](std::int32_t level) { levels.push_back(level); };
  audio_.PTTButtonClick(false);
  const struct {
    std::int32_t spike, level;
  } rows[] = {{2047, 0}, {2048, 1}, {32767, 15}, {-32768, 16}, {20480, 10}};
  for (const auto& row : rows) {
    Feed(Block(10, row.spike));
    EXPECT_EQ(audio_.Level(), row.level) << row.spike;
  }
  audio_.PTTButtonClick(true);
  EXPECT_EQ(audio_.Level(), 0);
}

TEST_F(ClientAudioTest, BlocksWithoutConnectionOrAudioStopTheCapture) {
  link_.audioOn = true;
  audio_.PTTButtonClick(false);
  ASSERT_TRUE(audio_.ACMIn.Active());
  link_.connected = false;
  Feed(Block(3000));
  EXPECT_FALSE(audio_.ACMIn.Active());
  EXPECT_FALSE(audio_.ACMConv2.Active());
  EXPECT_TRUE(link_.commands.empty());
}
