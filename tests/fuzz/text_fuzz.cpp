// The text toolkit's parsers on arbitrary bytes: no crash, no overflow, and a parsed number
// parses again, printed, to the same value; line breaks come out without a carriage return.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "text/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string head, tail;
  SplitAtFirstSpace(text, head, tail);
  Trim(text);
  Trim(text, " \t");
  UpperAscii(text);
  if (const auto value = ParseInt32(text)) {
    if (ParseInt32(std::to_string(*value)) != value) std::abort();
  }
  ParseInt32(text, 16);
  ParseUnsigned(text, 16, 0xFFFF);
  KeywordPosition("BYECLOSECATAUDIOLOGNOOPCHAT", UpperAscii(text));
  const std::string lines = NewlineBreaks(text);
  if (lines.find('\r') != std::string::npos || lines.size() > text.size()) std::abort();
  return 0;
}
