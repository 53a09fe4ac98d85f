#include "relay/RelayNumbers.h"

#include <charconv>
#include <cmath>

#include "text/Text.h"

namespace relay {

std::int32_t IntegerOrZero(std::string_view text) {
  return ParseInt32(text).value_or(0);
}

std::optional<long double> ParseNumber(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  // from_chars would also take "inf", "nan" and hexadecimal forms; the radio words never mean them.
  if (text.empty() || !((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return std::nullopt;
  long double value = 0;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
  return negative ? -value : value;
}

long double RoundHalfEven(long double value) {
  const long double below = std::floor(value);
  const long double fraction = value - below;
  if (fraction > 0.5L) return below + 1;
  if (fraction < 0.5L) return below;
  return std::fmod(below, 2.0L) == 0 ? below : below + 1;
}

std::string FormatFixed(long double value, int decimals) {
  char buffer[128];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return std::string();
  return std::string(buffer, result.ptr);
}

std::string FormatDigits(std::int64_t value, int width) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  std::string digits(buffer, result.ptr);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

}  // namespace relay
