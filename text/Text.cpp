#include "text/Text.h"

char UpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string UpperAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperAscii(c);
  return result;
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerAscii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = LowerAscii(c);
  return result;
}

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string Trim(std::string_view text) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  return std::string(text.substr(b, e - b));
}

std::string Trim(std::string_view text, std::string_view chars) {
  const std::size_t b = text.find_first_not_of(chars);
  if (b == std::string_view::npos) return std::string();
  const std::size_t e = text.find_last_not_of(chars);
  return std::string(text.substr(b, e - b + 1));
}

bool SplitAtFirstSpace(std::string_view text, std::string& head, std::string& tail) {
  const std::size_t space = text.find(' ');
  if (space == std::string_view::npos) {
    head = std::string(text);
    tail.clear();
    return false;
  }
  head = std::string(text.substr(0, space));
  tail = std::string(text.substr(space + 1));
  return true;
}

std::string NewlineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r') {
      out += text[i];
      continue;
    }
    out += '\n';
    if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

std::size_t KeywordPosition(std::string_view keywords, std::string_view word) {
  if (word.empty()) return 0;
  const std::size_t at = keywords.find(word);
  return at == std::string_view::npos ? 0 : at + 1;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view digits, int base, std::uint64_t max) {
  if (digits.empty() || (base != 10 && base != 16)) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : digits) {
    const int d = HexDigitValue(c);
    if (d < 0 || d >= base) return std::nullopt;
    // Checked before it grows, so that no text can wrap the value around.
    if (static_cast<std::uint64_t>(d) > max ||
        value > (max - static_cast<std::uint64_t>(d)) / static_cast<std::uint64_t>(base))
      return std::nullopt;
    value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
  }
  return value;
}

std::optional<std::int32_t> ParseInt32(std::string_view text, int base) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const std::uint64_t limit = negative ? 0x80000000ULL : 0x7FFFFFFFULL;
  const auto value = ParseUnsigned(text, base, limit);
  if (!value) return std::nullopt;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*value)
                                            : static_cast<std::int64_t>(*value));
}
