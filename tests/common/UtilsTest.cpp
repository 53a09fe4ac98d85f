#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "common/Random.h"
#include "common/Utils.h"
#include "platform/MessageWindow.h"
#include "platform/Tick.h"

namespace {

std::string Home(const char* name) {
  return std::string(std::getenv("TALVO_HOME")) + "/" + name;
}

TEST(Scramble, KnownVectorAndRoundTrip) {
  std::string s = Scramble("secret", 2958);
  const unsigned char expected[] = {0x9A, 0xFD, 0xED, 0xD0, 0xB9, 0xB9};
  ASSERT_EQ(s.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(static_cast<unsigned char>(s[i]), expected[i]) << i;
  EXPECT_EQ(Scramble(s, 2958), "secret");
  EXPECT_EQ(Scramble("", 2958), "");
}

TEST(Scramble, EverySeedRoundTripsSetsTheTopBitAndLeavesTheGeneratorAlone) {
  std::string text;
  for (int c = 0; c < 256; ++c) text += static_cast<char>(c);
  SetRandSeed(12345);
  for (std::int32_t seed : {0, 1, 2958, -7, 0x7FFFFFFF}) {
    std::string s = Scramble(text, seed);
    for (std::size_t i = 0; i < text.size(); ++i)
      EXPECT_EQ((static_cast<unsigned char>(s[i]) ^ static_cast<unsigned char>(text[i])) & 0x80,
                0x80);
    EXPECT_EQ(Scramble(s, seed), text);
  }
  EXPECT_EQ(RandSeed(), 12345u);
}

TEST(IniAccess, ReadWriteAndFlags) {
  auto path = Home("utils.ini");
  EXPECT_EQ(ReadIniString(path, "Main", "Call", "NOCALL"), "NOCALL");
  WriteIniString(path, "Main", "Call", "DL1ABC");
  WriteIniString(path, "Main", "Busy", BoolToIniStr(false));
  WriteIniString(path, "Main", "Guests", BoolToIniStr(true));
  EXPECT_EQ(ReadIniString(path, "main", "call", ""), "DL1ABC");
  EXPECT_NE(ReadIniString(path, "Main", "Busy", "1"), "1");
  EXPECT_EQ(ReadIniString(path, "Main", "Guests", ""), "1");
}

TEST(HexToBytes, PairsAndOddTail) {
  std::uint8_t buf[4] = {};
  EXPECT_EQ(HexToBytes("0AFF", buf), 2);
  EXPECT_EQ(buf[0], 10);
  EXPECT_EQ(buf[1], 255);
  std::uint8_t one[2] = {0, 0x77};
  EXPECT_EQ(HexToBytes("0AF", one), 1);
  EXPECT_EQ(one[0], 10);
  EXPECT_EQ(one[1], 0x77);  // untouched
}

TEST(StrFromBuffer, CutsAtFirstNul) {
  EXPECT_EQ(StrFromBuffer(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(StrFromBuffer("abc"), "abc");
}

TEST(UtcOffset, AgreesWithTheCLibrary) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  EXPECT_NEAR(UtcOffset(), -local.tm_gmtoff / 86400.0, 1e-9);
}

TEST(Delay, KeepsPostedMessagesFlowingAndWaitsLongEnough) {
  int delivered = 0;
  platform::MessageWindow w([&](unsigned, platform::WPARAM, platform::LPARAM) {
    ++delivered;
    return 0;
  });
  w.PostMessage(platform::WM_USER, 0, 0);
  Delay(0);  // one pass of dispatching even for no time
  EXPECT_EQ(delivered, 1);

  w.SetTimer(1, 20);
  std::uint32_t start = platform::GetTickCount();
  Delay(200);
  EXPECT_GE(platform::GetTickCount() - start, 200u);
  EXPECT_GE(delivered, 4);  // timer messages ran during the pause
}

TEST(Delay, SurvivesTheTickCounterWrap) {
  platform::SetTickOffset(0);
  platform::SetTickOffset(0u - platform::GetTickCount() - 30);  // wraps 30 ms from now
  std::uint32_t start = platform::GetTickCount();
  Delay(80);
  std::uint32_t elapsed = platform::GetTickCount() - start;
  platform::SetTickOffset(0);
  EXPECT_GE(elapsed, 80u);
  EXPECT_LT(elapsed, 2000u);
}

}  // namespace
