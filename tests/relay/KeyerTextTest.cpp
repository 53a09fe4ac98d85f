#include <gtest/gtest.h>

#include <string>

#include "relay/K2Text.h"
#include "relay/RelayNumbers.h"

namespace {

TEST(KeyerText, ProsignsAndRemovedCharacters) {
  const struct {
    std::string text, keyer;
  } rows[] = {
      {"cq kn", "CQ("},
      {"KN KN", "(KN"},  // the first conversion consumes the space the second needed
      {"test bt now", "TEST=NOW"},
      {"73 sk", "73*"},
      {"  sk  ", "*"},
      {"as", "%"},
      {"qrl? ar", "QRL?+"},
      {"a@b.c", "A AT B.C"},
      {"<x>(y)%*z", "XYZ"},
      {"ab;RX;TX;", "ABRXTX"},
      {"ab\r\ncd\x07\x7F"
       "e",
       "ABCDE"},
      {"\t test \t", "TEST"},
      {"", ""},
      {"  ", ""},
      {"\xE4"
       "b",
       "\xE4"
       "B"},
  };
  for (const auto& row : rows) EXPECT_EQ(CWTextToKeyer(row.text), row.keyer) << row.text;
}

TEST(RelayNumbers, ParsingAndFormatting) {
  using namespace relay;
  EXPECT_EQ(IntegerOrZero("-0050"), -50);
  EXPECT_EQ(IntegerOrZero("0x10"), 0);
  EXPECT_EQ(ParseNumber("+.5"), 0.5L);
  EXPECT_EQ(ParseNumber("-1e3"), -1000.0L);
  EXPECT_EQ(ParseNumber("5."), 5.0L);
  for (const char* bad :
       {"", ".", "-", "inf", "nan", "0x1p3", "1,5", " 1", "1 ", "1e99999", "--1"}) {
    EXPECT_FALSE(ParseNumber(bad)) << bad;
  }
  EXPECT_EQ(RoundHalfEven(0.5L), 0);
  EXPECT_EQ(RoundHalfEven(1.5L), 2);
  EXPECT_EQ(RoundHalfEven(2.5L), 2);
  EXPECT_EQ(RoundHalfEven(2.5000001L), 3);
  EXPECT_EQ(RoundHalfEven(-2.5L), -2);
  EXPECT_EQ(RoundHalfEven(-3.5L), -4);
  EXPECT_EQ(FormatFixed(7025.5L, 3), "7025.500");
  EXPECT_EQ(FormatFixed(99999999.999L, 3), "99999999.999");
  EXPECT_EQ(FormatFixed(5, 1), "5.0");
  EXPECT_EQ(FormatDigits(7025000, 11), "00007025000");
  EXPECT_EQ(FormatDigits(20, 3), "020");
}

}  // namespace
