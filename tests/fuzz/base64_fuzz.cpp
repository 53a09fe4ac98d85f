// Base64: any text decodes without reading past it, and every byte string survives a round trip.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sockets/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string decoded = Base64Decode(text);
  if (decoded.size() > text.size()) __builtin_trap();
  if (Base64Decode(Base64Encode(text)) != text) __builtin_trap();
  return 0;
}
