#include "common/AudioFrame.h"

#include <cstdio>

#include "platform/Tick.h"

namespace {

constexpr char kEscape = 27;
constexpr std::size_t kHeader = 16;

void Hex8(std::uint32_t value, char* out) {
  static const char digits[] = "0123456789ABCDEF";
  for (int i = 7; i >= 0; --i) {
    out[i] = digits[value & 15];
    value >>= 4;
  }
}

bool ParseHex8(const std::string& text, std::size_t at, std::uint32_t& value) {
  value = 0;
  for (std::size_t i = at; i < at + 8; ++i) {
    char c = text[i];
    unsigned d;
    if (c >= '0' && c <= '9')
      d = static_cast<unsigned>(c - '0');
    else if (c >= 'A' && c <= 'F')
      d = static_cast<unsigned>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      d = static_cast<unsigned>(c - 'a' + 10);
    else
      return false;
    value = value * 16 + d;
  }
  return true;
}

}  // namespace

std::string EncodeAudioFrame(const std::uint8_t* data, std::int32_t count) {
  std::string frame(kHeader + 2 * static_cast<std::size_t>(count > 0 ? count : 0), '\0');
  std::size_t out = kHeader;
  for (std::int32_t i = 0; i < count; ++i) {
    std::uint8_t b = data[i];
    if (b > 32) {
      frame[out++] = static_cast<char>(b);
    } else {
      frame[out++] = kEscape;
      frame[out++] = static_cast<char>(b + 48);
    }
  }
  frame.resize(out);
  Hex8(platform::GetTickCount(), &frame[0]);
  Hex8(static_cast<std::uint32_t>(out - kHeader), &frame[8]);
  return frame;
}

std::int32_t DecodeAudioFrame(const std::string& frame, std::uint8_t* dest) {
  std::int32_t written = 0;
  for (std::size_t i = kHeader; i < frame.size(); ++i) {
    if (frame[i] == kEscape) {
      if (i + 1 >= frame.size()) return -1;
      ++i;
      dest[written++] = static_cast<std::uint8_t>(static_cast<std::uint8_t>(frame[i]) - 48);
    } else {
      dest[written++] = static_cast<std::uint8_t>(frame[i]);
    }
  }
  return written;
}

bool CheckAudioFrame(const std::string& frame, std::uint32_t& stamp) {
  if (frame.size() <= 32) return false;
  std::uint32_t length = 0;
  if (!ParseHex8(frame, 0, stamp) || !ParseHex8(frame, 8, length)) return false;
  if (frame.size() - kHeader != length) return false;
  for (std::size_t i = kHeader; i < frame.size(); ++i) {
    if (frame[i] == kEscape) {
      if (i + 1 >= frame.size()) return false;
      ++i;
    }
  }
  return true;
}
