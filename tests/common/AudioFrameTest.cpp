#include <gtest/gtest.h>

#include <vector>

#include "common/AudioFrame.h"

namespace {

TEST(AudioFrame, EscapesControlBytes) {
  const std::uint8_t data[] = {0, 13, 27, 32, 33};
  std::string frame = EncodeAudioFrame(data, 5);
  ASSERT_EQ(frame.size(), 25u);
  EXPECT_EQ(frame.substr(8, 8), "00000009");
  EXPECT_EQ(frame.substr(16), std::string("\x1B\x30\x1B\x3D\x1B\x4B\x1B\x50\x21"));
  for (char c : frame.substr(0, 8)) EXPECT_TRUE(isdigit(c) || (c >= 'A' && c <= 'F'));

  std::vector<std::uint8_t> out(frame.size());
  ASSERT_EQ(DecodeAudioFrame(frame, out.data()), 5);
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 5),
            std::vector<std::uint8_t>(data, data + 5));
}

TEST(AudioFrame, HighBytesPassUnescapedAndRoundTrip) {
  std::vector<std::uint8_t> data(255, 255);
  std::string frame = EncodeAudioFrame(data.data(), 255);
  EXPECT_EQ(frame.size(), 16u + 255u);
  EXPECT_EQ(frame.substr(8, 8), "000000FF");

  std::vector<std::uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<std::uint8_t>(i);
  frame = EncodeAudioFrame(all.data(), 256);
  for (std::size_t i = 16; i < frame.size(); ++i)
    EXPECT_TRUE(static_cast<std::uint8_t>(frame[i]) > 32 || frame[i] == 27);
  std::uint32_t stamp;
  EXPECT_TRUE(CheckAudioFrame(frame, stamp));
  std::vector<std::uint8_t> out(frame.size());
  ASSERT_EQ(DecodeAudioFrame(frame, out.data()), 256);
  out.resize(256);
  EXPECT_EQ(out, all);
}

TEST(AudioFrame, ReceiversRefuseMalformedFrames) {
  std::uint32_t stamp = 0;
  EXPECT_FALSE(CheckAudioFrame(EncodeAudioFrame(nullptr, 0), stamp));  // 16 characters
  std::vector<std::uint8_t> data(40, 100);
  std::string good = EncodeAudioFrame(data.data(), 40);
  ASSERT_TRUE(CheckAudioFrame(good, stamp));
  EXPECT_EQ(good.substr(0, 8), [&] {
    char buf[9];
    snprintf(buf, sizeof buf, "%08X", stamp);
    return std::string(buf);
  }());

  std::string wrongLength = good;
  wrongLength[15] = '9';
  EXPECT_FALSE(CheckAudioFrame(wrongLength, stamp));
  std::string badHex = good;
  badHex[3] = 'G';
  EXPECT_FALSE(CheckAudioFrame(badHex, stamp));

  // A frame cut after an escape byte: the length field agrees, but the pair is missing.
  std::string cut = good.substr(0, 16) + std::string(16, 'a') + "\x1B";
  cut.replace(8, 8, "00000011");
  EXPECT_FALSE(CheckAudioFrame(cut, stamp));
  std::vector<std::uint8_t> out(cut.size() - 16);
  EXPECT_EQ(DecodeAudioFrame(cut, out.data()), -1);
}

TEST(AudioFrame, DecodingIgnoresTheHeader) {
  std::string frame = "0000000000000099" + std::string("abc");
  std::uint8_t out[3];
  EXPECT_EQ(DecodeAudioFrame(frame, out), 3);
  EXPECT_EQ(DecodeAudioFrame("short", out), 0);
}

}  // namespace
