#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The one text toolkit of both programs. Text on the wire and in files is 8-bit: every function
// here works on bytes, treats only the ASCII letters as letters and ignores the process locale,
// so a Latin-1 or UTF-8 byte above 127 always passes through unchanged.

// "a"-"z" become "A"-"Z"; every other byte stays.
char UpperAscii(char c);
std::string UpperAscii(std::string_view text);

// "A"-"Z" become "a"-"z"; every other byte stays.
char LowerAscii(char c);
std::string LowerAscii(std::string_view text);

// Equal without regard to the case of ASCII letters.
bool SameTextAscii(std::string_view a, std::string_view b);

// A blank: the space and every control character (bytes 0 to 32).
bool IsBlank(char c);

// The text without leading and trailing blanks.
std::string Trim(std::string_view text);

// The text without leading and trailing bytes out of `chars` (for example " \t").
std::string Trim(std::string_view text, std::string_view chars);

// Splits at the first space: head is what stands before it, tail what follows it, neither
// trimmed. Without a space, head is the whole text, tail is empty and the result is false.
bool SplitAtFirstSpace(std::string_view text, std::string& head, std::string& tail);

// The text with its line breaks as the desktop shows them: "\r\n" and a lone "\r" (both mean a
// new line in the programs' texts and on the wire) become "\n".
std::string NewlineBreaks(std::string_view text);

// 1-based position of the first occurrence of word inside keywords; 0 when absent or empty.
// Keyword tables written as one string ("BYECLOSECAT") dispatch on it.
std::size_t KeywordPosition(std::string_view keywords, std::string_view word);

// The value of a hexadecimal digit ("0"-"9", "a"-"f", "A"-"F"), or -1 for any other byte.
int HexDigitValue(char c);

// Digits of base 10 or 16 only (hexadecimal in either case), without sign or blanks: their value,
// or nullopt when the text is empty, holds anything else, or the value exceeds max.
std::optional<std::uint64_t> ParseUnsigned(std::string_view digits, int base, std::uint64_t max);

// An optional "+" or "-", then digits of base 10 or 16 and nothing else: the value, or nullopt
// for any other text and for values outside the 32-bit signed range.
std::optional<std::int32_t> ParseInt32(std::string_view text, int base = 10);
