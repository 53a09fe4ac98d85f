#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "text/Text.h"

namespace {

TEST(Text, CaseChangesOnlyAsciiLetters) {
  EXPECT_EQ(UpperAscii("abz AZ 09 \xE4\xFF"), "ABZ AZ 09 \xE4\xFF");
  EXPECT_EQ(LowerAscii("ABZ az 09 \xC4\xDF"), "abz az 09 \xC4\xDF");
  EXPECT_TRUE(SameTextAscii("Control", "cONTROL"));
  EXPECT_FALSE(SameTextAscii("\xE4", "\xC4"));
  EXPECT_FALSE(SameTextAscii("ab", "abc"));
}

TEST(Text, TrimAndSplit) {
  const struct {
    std::string text, trimmed, head, tail;
    bool split;
  } rows[] = {
      {"", "", "", "", false},
      {"\t\r\n\x01", "", "\t\r\n\x01", "", false},
      {" \t", "", "", "\t", true},
      {"\tFA 7025 \r", "FA 7025", "\tFA", "7025 \r", true},
      {"LOG  K1ABC <call:5>", "LOG  K1ABC <call:5>", "LOG", " K1ABC <call:5>", true},
      {"NOOP", "NOOP", "NOOP", "", false},
      {"a\xA0", "a\xA0", "a\xA0", "", false},  // a byte above 127 is no blank
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Trim(row.text), row.trimmed) << row.text;
    std::string head = "x", tail = "x";
    EXPECT_EQ(SplitAtFirstSpace(row.text, head, tail), row.split) << row.text;
    EXPECT_EQ(head, row.head) << row.text;
    EXPECT_EQ(tail, row.tail) << row.text;
  }
  EXPECT_EQ(Trim(" \t a b\t ", " \t"), "a b");
  EXPECT_EQ(Trim("\r a \r", " \t"), "\r a \r");
}

TEST(Text, NewlineBreaks) {
  const struct {
    const char* in;
    const char* out;
  } rows[] = {
      {"", ""},
      {"one line", "one line"},
      {"You are connected.\rYou have Full access.", "You are connected.\nYou have Full access."},
      {"a\r\nb", "a\nb"},
      {"a\r\rb\n", "a\n\nb\n"},
      {"\r\n\r", "\n\n"},
      {"\xe9\r", "\xe9\n"},
  };
  for (const auto& row : rows) EXPECT_EQ(NewlineBreaks(row.in), row.out) << row.in;
}

TEST(Text, KeywordPosition) {
  EXPECT_EQ(KeywordPosition("BYECLOSECAT", "BYE"), 1u);
  EXPECT_EQ(KeywordPosition("BYECLOSECAT", "CAT"), 9u);
  EXPECT_EQ(KeywordPosition("BYECLOSECAT", "ECL"), 3u);  // the tables rely on the first match
  EXPECT_EQ(KeywordPosition("BYECLOSECAT", "bye"), 0u);
  EXPECT_EQ(KeywordPosition("BYECLOSECAT", ""), 0u);
}

TEST(Text, Numbers) {
  const struct {
    const char* text;
    int base;
    std::optional<std::int32_t> value;
  } rows[] = {
      {"+0120", 10, 120},
      {"-0050", 10, -50},
      {"2147483647", 10, 2147483647},
      {"-2147483648", 10, -2147483647 - 1},
      {"2147483648", 10, std::nullopt},
      {"99999999999999999999999", 10, std::nullopt},
      {"", 10, std::nullopt},
      {"+", 10, std::nullopt},
      {"--1", 10, std::nullopt},
      {" 1", 10, std::nullopt},
      {"1 ", 10, std::nullopt},
      {"1.0", 10, std::nullopt},
      {"0x10", 10, std::nullopt},
      {"$10", 10, std::nullopt},
      {"1f", 10, std::nullopt},
      {"7fFFffFF", 16, 0x7FFFFFFF},
      {"-80000000", 16, -2147483647 - 1},
      {"80000000", 16, std::nullopt},
      {"1g", 16, std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(ParseInt32(row.text, row.base), row.value) << row.text;
  EXPECT_EQ(ParseUnsigned("65535", 10, 65535), 65535u);
  EXPECT_EQ(ParseUnsigned("65536", 10, 65535), std::nullopt);
  EXPECT_EQ(ParseUnsigned("9", 10, 5), std::nullopt);
  EXPECT_EQ(ParseUnsigned("ffffffffffffffff", 16, UINT64_MAX), UINT64_MAX);
  EXPECT_EQ(ParseUnsigned("10000000000000000", 16, UINT64_MAX), std::nullopt);
  EXPECT_EQ(HexDigitValue('a'), 10);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('g'), -1);
}

}  // namespace
