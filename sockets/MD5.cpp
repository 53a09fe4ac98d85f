#include "sockets/MD5.h"

#include <cstring>
#include <memory>

namespace {

constexpr std::uint32_t kT[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

inline std::uint32_t Rotl(std::uint32_t x, int n) {
  return (x << n) | (x >> (32 - n));
}

void Transform(std::uint32_t state[4], const std::uint8_t block[64]) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = static_cast<std::uint32_t>(block[4 * i]) |
           (static_cast<std::uint32_t>(block[4 * i + 1]) << 8) |
           (static_cast<std::uint32_t>(block[4 * i + 2]) << 16) |
           (static_cast<std::uint32_t>(block[4 * i + 3]) << 24);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    std::uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (b & d) | (c & ~d);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    std::uint32_t tmp = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + kT[i] + x[g], kShift[i]);
    a = tmp;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void MD5Init(MD5Context& context) {
  std::memset(&context, 0, sizeof context);
  context.State[0] = 0x67452301;
  context.State[1] = 0xefcdab89;
  context.State[2] = 0x98badcfe;
  context.State[3] = 0x10325476;
}

void MD5Update(MD5Context& context, const void* data, std::int32_t count) {
  if (count <= 0) return;
  const auto* in = static_cast<const std::uint8_t*>(data);
  auto len = static_cast<std::uint32_t>(count);
  std::uint32_t index = (context.Count[0] >> 3) & 63;
  std::uint32_t bitsLow = len << 3;
  context.Count[0] += bitsLow;
  if (context.Count[0] < bitsLow) ++context.Count[1];
  context.Count[1] += len >> 29;

  std::uint32_t used = 0;
  if (index > 0) {
    std::uint32_t room = 64 - index;
    if (len < room) {
      std::memcpy(context.Buffer + index, in, len);
      return;
    }
    std::memcpy(context.Buffer + index, in, room);
    Transform(context.State, context.Buffer);
    used = room;
  }
  for (; used + 64 <= len; used += 64) {
    std::memcpy(context.Buffer, in + used, 64);
    Transform(context.State, context.Buffer);
  }
  std::memcpy(context.Buffer, in + used, len - used);
}

void MD5Final(std::uint8_t digest[16], MD5Context& context) {
  std::uint8_t bits[8];
  for (int i = 0; i < 4; ++i) {
    bits[i] = static_cast<std::uint8_t>(context.Count[0] >> (8 * i));
    bits[4 + i] = static_cast<std::uint8_t>(context.Count[1] >> (8 * i));
  }
  std::uint32_t index = (context.Count[0] >> 3) & 63;
  std::uint32_t padLen = index < 56 ? 56 - index : 120 - index;
  std::uint8_t padding[64] = {0x80};
  MD5Update(context, padding, static_cast<std::int32_t>(padLen));
  MD5Update(context, bits, 8);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      digest[4 * i + j] = static_cast<std::uint8_t>(context.State[i] >> (8 * j));
  std::memset(&context, 0, sizeof context);
}

void MD5UpdateChunked(MD5Context& context, const void* data, std::int32_t count) {
  constexpr std::int32_t kChunk = 16384;
  auto buffer = std::make_unique<std::uint8_t[]>(kChunk);
  const auto* in = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    std::int32_t n = count < kChunk ? count : kChunk;
    std::memcpy(buffer.get(), in, static_cast<std::size_t>(n));
    MD5Update(context, buffer.get(), n);
    in += n;
    count -= n;
  }
}

std::string MD5BufferHex(const void* data, std::int32_t count) {
  static const char digits[] = "0123456789ABCDEF";
  MD5Context context;
  std::uint8_t digest[16];
  MD5Init(context);
  MD5UpdateChunked(context, data, count);
  MD5Final(digest, context);
  std::string hex(32, '0');
  for (int i = 0; i < 16; ++i) {
    hex[2 * i] = digits[digest[i] >> 4];
    hex[2 * i + 1] = digits[digest[i] & 15];
  }
  return hex;
}

std::string MD5DigestHex(const std::string& text) {
  return MD5BufferHex(text.data(), static_cast<std::int32_t>(text.size()));
}
