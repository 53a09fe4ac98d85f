// The client's bytes into the server's line framer, cut into reads at arbitrary places.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/LineFramer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t lines = 0;
  TLineFramer framer([&](const std::string& word, const std::string& value) {
    if (word.find(' ') != std::string::npos) __builtin_trap();
    (void)value;
    return ++lines < 1000;
  });
  // The first byte chooses the read size, so reads split CR LF pairs and lines everywhere.
  std::size_t step = size == 0 ? 1 : data[0] % 17 + 1;
  for (std::size_t at = 0; at < size; at += step) {
    std::size_t count = size - at < step ? size - at : step;
    if (framer.Feed(reinterpret_cast<const char*>(data) + at, count) != TLineFramer::TResult::Ok)
      break;
  }
  if (framer.LineBuffer().size() > TLineFramer::kMaxLine) __builtin_trap();
  return 0;
}
