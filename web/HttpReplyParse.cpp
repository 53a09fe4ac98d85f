#include "web/HttpReplyParse.h"

#include "text/Text.h"

namespace {
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
}  // namespace

bool IsHttpStatusLine(const std::string& line) {
  return line.compare(0, 8, "HTTP/1.0") == 0 || line.compare(0, 8, "HTTP/1.1") == 0;
}

bool ParseHttpStatusLine(const std::string& line, THttpStatusLine& status) {
  status = THttpStatusLine{};
  if (!IsHttpStatusLine(line)) return false;
  status.version = line.substr(5, 3);
  std::size_t digit = 9;
  while (digit < line.size() && !IsDigit(line[digit])) ++digit;
  if (digit + 3 > line.size()) return false;
  int code = 0;
  for (std::size_t i = digit; i < digit + 3; ++i) {
    if (!IsDigit(line[i])) return false;
    code = code * 10 + (line[i] - '0');
  }
  // A fourth digit would make it no three-digit code.
  if (digit + 3 < line.size() && IsDigit(line[digit + 3])) return false;
  status.code = code;
  if (digit + 4 < line.size()) status.reason = line.substr(digit + 4);
  return true;
}

bool SplitHttpField(const std::string& line, std::string& name, std::string& value) {
  std::size_t colon = line.find(':');
  if (colon == std::string::npos) return false;
  name = LowerAscii(line.substr(0, colon));
  std::size_t start = line.find_first_not_of(' ', colon + 1);
  value = start == std::string::npos ? std::string() : line.substr(start);
  return true;
}

std::int64_t ParseContentLength(const std::string& value) {
  std::string text = Trim(value);
  if (text.size() > 18) return -1;
  std::optional<std::uint64_t> n = ParseUnsigned(text, 10, 999999999999999999ULL);
  return n ? static_cast<std::int64_t>(*n) : -1;
}
