#include "sockets/Base64.h"

#include <cstdint>

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::uint8_t Value(char c) {
  auto u = static_cast<std::uint8_t>(c);
  if (u >= 'A' && u <= 'Z') return static_cast<std::uint8_t>(u - 'A');
  if (u >= 'a' && u <= 'z') return static_cast<std::uint8_t>(u - 'a' + 26);
  if (u >= '0' && u <= '9') return static_cast<std::uint8_t>(u - '0' + 52);
  if (u == '+') return 62;
  if (u == '/') return 63;
  if (u == '=') return 64;
  return 255;
}

}  // namespace

std::string Base64Encode(const std::string& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  auto byte = [&](std::size_t k) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(data[k]));
  };
  for (; i + 3 <= data.size(); i += 3) {
    std::uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8) | byte(i + 2);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (data.size() - i == 1) {
    std::uint32_t v = byte(i) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (data.size() - i == 2) {
    std::uint32_t v = (byte(i) << 16) | (byte(i + 1) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    auto at = [&](std::size_t k) -> std::uint8_t { return k < text.size() ? Value(text[k]) : 64; };
    std::uint8_t w = at(i), x = at(i + 1), y = at(i + 2), z = at(i + 3);
    out += static_cast<char>(((w & 63) << 2) + ((x & 48) >> 4));
    if (y != 64) out += static_cast<char>(((x & 15) << 4) + ((y & 60) >> 2));
    if (y != 64 && z != 64) out += static_cast<char>(((y & 3) << 6) + (z & 63));
  }
  return out;
}
