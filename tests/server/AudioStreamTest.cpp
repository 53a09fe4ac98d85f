// The server's audio streaming at its seams: captured blocks in, "AU" lines out; "AU DATA" frames
// in, blocks at the sound card out; the commands and their replies.
#include <gtest/gtest.h>

#include <cstdio>

#include "common/AudioFrame.h"
#include "relay/K2Text.h"
#include "server/AudioStream.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/Mp3Reference.h"
#include "text/Text.h"

using namespace audiotest;

namespace {

struct Recorder : IClientLink {
  void SendText(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

std::string Hex8(std::uint32_t value) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", value);
  return buf;
}

// A frame with a payload of count bytes that need no escape.
std::string Frame(std::uint32_t stamp, std::size_t count) {
  return Hex8(stamp) + Hex8(static_cast<std::uint32_t>(count)) + std::string(count, 'A');
}

std::string FormatHex(const TACMWaveFormat& format) {
  std::string hex;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&format);
  for (std::size_t i = 0; i < sizeof format; ++i) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    hex += buf;
  }
  return hex;
}

// One capture block of 1000 samples.
std::vector<std::uint8_t> Block(std::int32_t level, std::int32_t spike = 0) {
  return LevelBlock(1000, level, spike);
}

class AudioStreamTest : public testing::Test {
 protected:
  void TearDown() override {
    unsetenv("TALVO_ALSA_PCM_IN");
    unsetenv("TALVO_ALSA_PCM_OUT");
  }

  std::size_t Feed(const std::vector<std::uint8_t>& block) {
    const std::size_t before = client_.lines.size();
    audio_.ACMInBufferFull(block.data(), static_cast<std::int32_t>(block.size()));
    return client_.lines.size() - before;
  }

  // Receive audio running without a sound card, the encoder past its look-ahead.
  void StartReceive(std::int32_t squelch) {
    audio_.Setup(-1, squelch);
    audio_.SetClientConnected(true);
    audio_.ACMConv.SetActive(true);
    for (int i = 0; i < 4; ++i) Feed(Bytes(Tone(1000, 1000, 3000)));
    client_.lines.clear();
  }

  Recorder client_;
  std::vector<std::string> log_;
  TAudioStream audio_{client_, [this](const std::string& m) { log_.push_back(m); }};
};

}  // namespace

TEST_F(AudioStreamTest, SquelchOpensOnSoundAndClosesAfterOneQuietBlock) {
  StartReceive(20);
  struct Row {
    const char* what;
    std::vector<std::uint8_t> block;
    bool sent;
  } rows[] = {
      {"speech", Bytes(Tone(1000, 1000, 3000)), true},
      {"first silent block: the tail", Block(0), true},
      {"second silent block", Block(0), false},
      {"average at the level", Block(20), false},
      {"one sample above twice the level", Block(0, 41), true},
      {"quiet again", Block(0), false},
      {"one sample at twice the level", Block(0, 40), false},
      {"average above the level", Block(21), true},
      {"its tail", Block(0), true},
      {"silence", Block(0), false},
      {"one sample of -32768", Block(0, -32768), true},
      {"its tail (the average was 32)", Block(0), true},
      {"every sample -32768", Bytes(std::vector<std::int16_t>(1000, -32768)), true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Feed(row.block), row.sent ? 1u : 0u);
    if (row.sent) {
      const std::string& line = client_.lines.back();
      ASSERT_GT(line.size(), 5u);
      EXPECT_EQ(line.substr(0, 3), "AU ");
      EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
      const std::string frame = line.substr(3, line.size() - 5);
      std::uint32_t stamp = 0;
      EXPECT_TRUE(CheckAudioFrame(frame, stamp));
      EXPECT_EQ(audio_.RxAudio(), static_cast<std::int32_t>(frame.size()));
    } else {
      EXPECT_EQ(audio_.RxAudio(), 0);
    }
  }
}

TEST_F(AudioStreamTest, LevelZeroSendsEveryBlockWithSound) {
  StartReceive(0);
  EXPECT_EQ(Feed(Block(0)), 1u);  // the tail of the tone
  EXPECT_EQ(Feed(Block(0)), 0u);
  EXPECT_EQ(Feed(Block(0, 1)), 1u);
}

TEST_F(AudioStreamTest, BlocksWithoutASampleOrWithoutAClientAreIgnored) {
  StartReceive(20);
  const auto loud = Bytes(Tone(1000, 1000, 3000));
  EXPECT_EQ(Feed(std::vector<std::uint8_t>(1, 0x7F)), 0u);
  audio_.ACMInBufferFull(loud.data(), 0);
  audio_.ACMInBufferFull(loud.data(), -2);
  EXPECT_TRUE(client_.lines.empty());
  EXPECT_FALSE(audio_.RxQuiet());
  audio_.SetClientConnected(false);
  EXPECT_EQ(Feed(loud), 0u);
}

TEST_F(AudioStreamTest, LateFramesAreDroppedAtTheBoundary) {
  struct Row {
    const char* what;
    std::uint32_t refStamp, refTick, stamp, tick;
    bool played;
  } rows[] = {
      {"300 ms on, after 200 ms", 0x1000, 5000, 0x1000 + 300, 5000 + 200, true},
      {"300 ms on, after 600 ms", 0x1000, 5000, 0x1000 + 300, 5000 + 600, false},
      {"249 ms late", 0x1000, 5000, 0x1000, 5000 + 249, true},
      {"250 ms late", 0x1000, 5000, 0x1000, 5000 + 250, false},
      {"stamps across bit 31, 249 ms late", 0x7FFFFF80, 9000, 0x80000080, 9000 + 256 + 249, true},
      {"stamps across bit 31, 250 ms late", 0x7FFFFF80, 9000, 0x80000080, 9000 + 256 + 250, false},
      {"stamps wrap, 249 ms late", 0xFFFFFFC0, 100, 0x00000040, 100 + 128 + 249, true},
      {"stamps wrap, 250 ms late", 0xFFFFFFC0, 100, 0x00000040, 100 + 128 + 250, false},
      {"ticks wrap", 0x2000, 0xFFFFFFF0, 0x2000 + 100, 0x00000100, true},
      {"ticks wrap, late", 0x2000, 0xFFFFFFF0, 0x2000, 0x00000100, false},
      {"the sender's clock a little behind", 0x3000, 7000, 0x3000 - 100, 7000, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    audio_.ClearTxReference();
    audio_.PlayFrame(Frame(row.refStamp, 40), row.refTick);
    EXPECT_EQ(audio_.TxRefStamp(), row.refStamp);
    EXPECT_EQ(audio_.TxAudio(), 40);
    audio_.PlayFrame(Frame(row.stamp, 41), row.tick);
    EXPECT_EQ(audio_.TxAudio(), row.played ? 41 : 40);
    // A late frame leaves the reference as it was.
    EXPECT_EQ(audio_.TxRefStamp(), row.played ? row.stamp : row.refStamp);
    EXPECT_EQ(audio_.TxRefTick(), row.played ? row.tick : row.refTick);
  }
}

TEST_F(AudioStreamTest, DamagedFramesAreDroppedAndKeepTheReference) {
  audio_.PlayFrame(Frame(0x100, 40), 1000);
  std::string wrongLength = Hex8(0x110) + Hex8(50) + std::string(40, 'A');
  std::string notHex = "XYZ00110" + Hex8(40) + std::string(40, 'A');
  std::string openEscape = Hex8(0x110) + Hex8(40) + std::string(39, 'A') + '\x1B';
  for (const std::string& frame : {wrongLength, notHex, openEscape}) {
    audio_.PlayFrame(frame, 1010);
    EXPECT_EQ(audio_.TxAudio(), 40);
    EXPECT_EQ(audio_.TxRefStamp(), 0x100u);
    EXPECT_EQ(audio_.TxRefTick(), 1000u);
  }
}

TEST_F(AudioStreamTest, ALastingDelayStepReanchorsAfterTwoSeconds) {
  // Frames every 125 ms; from the second on the network holds each 400 ms longer.
  const std::uint32_t s0 = 0x10000, t0 = 50000;
  audio_.PlayFrame(Frame(s0, 40), t0);
  int played = 0, firstPlayed = 0;
  for (int k = 1; k <= 24; ++k) {
    const std::size_t size = 40 + static_cast<std::size_t>(k);
    audio_.PlayFrame(Frame(s0 + 125u * k, size), t0 + 125u * k + 400);
    if (audio_.TxAudio() == static_cast<std::int32_t>(size)) {
      ++played;
      if (!firstPlayed) firstPlayed = k;
    }
  }
  // The first late frame arrives at 525 ms; 2 s of late frames later the timing starts afresh.
  EXPECT_EQ(firstPlayed, 17);
  EXPECT_EQ(played, 8);
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_NE(log_[0].find("Transmit audio"), std::string::npos);
  // One on-time frame in between ends the run of late ones.
  audio_.ClearTxReference();
  audio_.PlayFrame(Frame(s0, 40), t0);
  audio_.PlayFrame(Frame(s0 + 125, 41), t0 + 125 + 400);    // late
  audio_.PlayFrame(Frame(s0 + 2000, 42), t0 + 2000 + 100);  // in time
  audio_.PlayFrame(Frame(s0 + 2125, 43), t0 + 2700);        // late, a new run
  audio_.PlayFrame(Frame(s0 + 2250, 44), t0 + 2825);        // 125 ms into the run: dropped
  EXPECT_EQ(audio_.TxAudio(), 42);
}

TEST_F(AudioStreamTest, TxMeterFallsTwoBlocksAfterTheLastFrame) {
  StartReceive(20);
  audio_.PlayFrame(Frame(0x100, 2500), 1000);
  EXPECT_EQ(audio_.TxAudio(), 2000);  // at most 2000
  // While nothing is captured the value stays.
  EXPECT_EQ(audio_.TxAudio(), 2000);
  Feed(Block(0));
  EXPECT_EQ(audio_.TxAudio(), 2000);
  Feed(Block(0));
  EXPECT_EQ(audio_.TxAudio(), 2000);
  Feed(Block(0));
  EXPECT_EQ(audio_.TxAudio(), 0);
}

TEST_F(AudioStreamTest, CommandsAndTheirAccessRules) {
  const std::string mp3 = FormatHex(Mp3WaveFormat());
  TACMWaveFormat faster = Mp3WaveFormat();
  faster.nAvgBytesPerSec = 4000;
  const std::string lower = LowerAscii(FormatHex(faster));
  struct Row {
    const char* what;
    std::string value;
    std::int32_t level;
    std::string reply;
  } rows[] = {
      {"unknown sub-word", "FOO bar", 2, "# Invalid command \"AUDIO FOO\"\r\n"},
      {"nothing", "", 2, "# Invalid command \"AUDIO \"\r\n"},
      {"a short frame", "data " + std::string(32, 'A'), 2, "# Invalid command \"AUDIO data\"\r\n"},
      {"data alone", "DATA", 2, "# Invalid command \"AUDIO DATA\"\r\n"},
      {"format alone", "FORMAT", 2, "# Invalid command \"AUDIO FORMAT\"\r\n"},
      {"a frame below TX/RX", "DATA " + Frame(1, 40), 0, ""},
      {"format, RX only", "FORMAT " + mp3, 0, AccessDeniedText(0)},
      {"format, TX/RX", "FORMAT " + mp3, 1, AccessDeniedText(1)},
      {"format, not hexadecimal", "FORMAT 55G0", 2, "# Invalid audio format.\r\n"},
      {"format, odd length", "FORMAT 550", 2, "# Invalid audio format.\r\n"},
      {"format, longer than the record", "FORMAT " + mp3 + "00", 2, "# Invalid audio format.\r\n"},
      {"format, PCM", "FORMAT " + FormatHex(PcmWaveFormat()), 2, "# Invalid audio format.\r\n"},
      {"format, 32 kbit/s in lower case", "Format " + lower, 2, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    client_.lines.clear();
    audio_.AudioCommand(row.value, row.level);
    if (row.reply.empty()) {
      EXPECT_TRUE(client_.lines.empty()) << client_.lines.front();
    } else {
      ASSERT_EQ(client_.lines.size(), 1u);
      EXPECT_EQ(client_.lines[0], row.reply);
    }
  }
  EXPECT_EQ(audio_.TxAudio(), 0);
  EXPECT_EQ(audio_.ACMConv.FormatOut(), faster);
  EXPECT_EQ(audio_.ACMConv2.FormatIn(), faster);
  EXPECT_EQ(audio_.ACMConv.InputBufferSize(), 2000u);
  EXPECT_EQ(audio_.ACMIn.BufferSize(), 2000u);

  audio_.AudioCommand("DATA " + Frame(1, 40), 1);
  EXPECT_EQ(audio_.TxAudio(), 40);

  // With audio on the format stays.
  audio_.ACMConv.SetActive(true);
  client_.lines.clear();
  audio_.AudioCommand("FORMAT " + mp3, 2);
  ASSERT_EQ(client_.lines.size(), 1u);
  EXPECT_EQ(client_.lines[0], "# The audio format can change only while audio is off.\r\n");
  EXPECT_EQ(audio_.ACMConv.FormatOut(), faster);
}

TEST_F(AudioStreamTest, OnOffAndTheSessionEnd) {
  const std::string in = HomeFile("onoff-in.raw"), out = HomeFile("onoff-out.raw");
  WriteFile(in, Bytes(Tone(8000, 1000, 3000)));
  UseCaptureFile(in);
  UsePlaybackFile(out);
  audio_.Setup(-1, 20);
  audio_.SetClientConnected(true);
  audio_.AudioCommand("on", 0);
  EXPECT_TRUE(audio_.RxRunning());
  EXPECT_TRUE(audio_.ACMIn.Active());
  EXPECT_TRUE(audio_.TxRunning());
  EXPECT_TRUE(audio_.ACMConv2.Active());
  EXPECT_EQ(audio_.ACMIn.BufferSize(), 2000u);
  ASSERT_TRUE(WaitFor([&] { return !client_.lines.empty(); }, 10000));
  EXPECT_GT(audio_.RxAudio(), 0);
  // New settings while audio runs: the unchanged block size is not written to the converter.
  EXPECT_NO_THROW(audio_.Setup(-1, 30));
  EXPECT_EQ(audio_.SquelchLevel(), 30);

  audio_.AudioCommand("OFF", 0);
  EXPECT_FALSE(audio_.RxRunning() || audio_.ACMIn.Active() || audio_.TxRunning());
  EXPECT_FALSE(audio_.ACMConv2.Active());
  EXPECT_EQ(audio_.RxAudio(), 0);
  audio_.PlayFrame(Frame(5, 40), 10);
  EXPECT_EQ(audio_.TxAudio(), 40);
  audio_.AudioCommand("OFF", 0);  // nothing to close; the meters go to 0
  EXPECT_EQ(audio_.TxAudio(), 0);

  // A session that ends without AU OFF closes both directions, the transmit converter too.
  audio_.AudioOn();
  audio_.SessionEnded();
  EXPECT_FALSE(audio_.RxRunning() || audio_.ACMIn.Active());
  EXPECT_FALSE(audio_.TxRunning() || audio_.ACMConv2.Active());
  audio_.PlayFrame(Frame(5, 40), 10);
  audio_.SetIdle();  // the window reset after the session
  EXPECT_EQ(audio_.TxAudio(), 0);
  EXPECT_EQ(audio_.TxRefStamp(), 0u);
  audio_.ResetSession();
  audio_.SetClientConnected(true);
  audio_.AudioOn();
  EXPECT_TRUE(audio_.RxRunning() && audio_.TxRunning());
  EXPECT_TRUE(log_.empty());
}

TEST_F(AudioStreamTest, ADeviceThatCannotOpenIsReportedAndTheOtherDirectionRuns) {
  setenv("TALVO_ALSA_PCM_IN", "talvo_no_such_device", 1);
  UsePlaybackFile(HomeFile("fail-out.raw"));
  audio_.SetClientAddress("10.0.0.9");
  audio_.SetClientConnected(true);
  audio_.AudioOn();
  EXPECT_FALSE(audio_.RxRunning() || audio_.ACMIn.Active());
  EXPECT_TRUE(audio_.TxRunning());
  ASSERT_EQ(client_.lines.size(), 1u);
  EXPECT_EQ(client_.lines[0].rfind("# Receive audio is not available.||WaveIn-Open ", 0), 0u)
      << client_.lines[0];
  ASSERT_EQ(log_.size(), 1u);
  EXPECT_EQ(log_[0].rfind("[10.0.0.9] Receive audio failed: WaveIn-Open ", 0), 0u) << log_[0];
}

TEST_F(AudioStreamTest, TransmitPlaybackWaitsAtMostTwoSeconds) {
  const std::string out = HomeFile("queue-out.raw");
  UsePlaybackFile(out);
  audio_.AudioOn();
  ASSERT_TRUE(audio_.TxRunning());
  // Ten seconds of 1 kHz in 144-byte pieces, all arriving at once and in time.
  const auto mp3 = mp3ref::Encode(Tone(80000, 1000, 8000), 8000, 16);
  ASSERT_GT(mp3.size(), 19000u);
  for (std::size_t at = 0; at < mp3.size(); at += 144) {
    const std::size_t n = std::min<std::size_t>(144, mp3.size() - at);
    audio_.PlayFrame(EncodeAudioFrame(mp3.data() + at, static_cast<std::int32_t>(n)), 1000);
    EXPECT_LE(audio_.ACMOut.QueuedBytes(), 4000u);
  }
  ASSERT_TRUE(WaitFor([&] { return audio_.ACMOut.BlockCount() == 0; }, 10000));
  const auto pcm = Samples(ReadFile(out));
  // About two seconds were kept (and the encoder's start), not ten.
  EXPECT_GT(pcm.size(), 12000u);
  EXPECT_LT(pcm.size(), 24000u);
  EXPECT_NEAR(StrongestFrequency(pcm, 4000, 4000, 900, 1100), 1000, 2);
}
