#include "web/MD4.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

void Transform(std::uint32_t state[4], const std::uint8_t block[64]) {
  std::uint32_t x[16] = {};
  for (int i = 0; i < 64; ++i) x[i / 4] |= std::uint32_t{block[i]} << (8 * (i % 4));
  std::uint32_t v[4] = {state[0], state[1], state[2], state[3]};
  // Each round visits the words in its own order; the four registers rotate through a, b, c, d.
  static constexpr int kOrder[3][16] = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
                                        {0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15},
                                        {0, 8, 4, 12, 2, 10, 6, 14, 1, 9, 5, 13, 3, 11, 7, 15}};
  static constexpr int kShift[3][4] = {{3, 7, 11, 19}, {3, 5, 9, 13}, {3, 9, 11, 15}};
  static constexpr std::uint32_t kAdd[3] = {0, 0x5A827999, 0x6ED9EBA1};
  for (int round = 0; round < 3; ++round) {
    for (int step = 0; step < 16; ++step) {
      std::uint32_t& a = v[(4 - step % 4) % 4];
      std::uint32_t b = v[(5 - step % 4) % 4], c = v[(6 - step % 4) % 4], d = v[(7 - step % 4) % 4];
      std::uint32_t f = round == 0   ? (b & c) | (~b & d)
                        : round == 1 ? (b & c) | (b & d) | (c & d)
                                     : b ^ c ^ d;
      a = std::rotl(a + f + x[kOrder[round][step]] + kAdd[round], kShift[round][step % 4]);
    }
  }
  for (int i = 0; i < 4; ++i) state[i] += v[i];
}

void RequireInitialized(const TMD4Context& context) {
  if (!context.Initialized) throw MD4Exception("MD4 not initialized");
}

}  // namespace

void MD4Init(TMD4Context& context) {
  context = TMD4Context();
  context.State[0] = 0x67452301;
  context.State[1] = 0xEFCDAB89;
  context.State[2] = 0x98BADCFE;
  context.State[3] = 0x10325476;
  context.Initialized = true;
}

void MD4Update(TMD4Context& context, const void* data, std::size_t count) {
  RequireInitialized(context);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  const std::uint64_t bits =
      ((static_cast<std::uint64_t>(context.Count[1]) << 32) | context.Count[0]) +
      (static_cast<std::uint64_t>(count) << 3);
  context.Count[0] = static_cast<std::uint32_t>(bits);
  context.Count[1] = static_cast<std::uint32_t>(bits >> 32);
  while (count > 0) {
    std::size_t take = std::min<std::size_t>(count, 64 - context.BufferLength);
    std::memcpy(context.Buffer + context.BufferLength, bytes, take);
    context.BufferLength += static_cast<std::uint32_t>(take);
    bytes += take;
    count -= take;
    if (context.BufferLength == 64) {
      Transform(context.State, context.Buffer);
      context.BufferLength = 0;
    }
  }
}

void MD4UpdateText(TMD4Context& context, const std::string& text) {
  MD4Update(context, text.data(), text.size());
}

void MD4Final(TMD4Context& context, std::uint8_t digest[16]) {
  RequireInitialized(context);
  std::uint8_t length[8];
  for (int i = 0; i < 4; ++i) {
    length[i] = static_cast<std::uint8_t>(context.Count[0] >> (8 * i));
    length[4 + i] = static_cast<std::uint8_t>(context.Count[1] >> (8 * i));
  }
  static const std::uint8_t kPadding[64] = {0x80};
  std::uint32_t held = context.BufferLength;
  MD4Update(context, kPadding, held < 56 ? 56 - held : 120 - held);
  MD4Update(context, length, 8);
  for (int i = 0; i < 16; ++i)
    digest[i] = static_cast<std::uint8_t>(context.State[i / 4] >> (8 * (i % 4)));
  volatile std::uint8_t* wipe = reinterpret_cast<volatile std::uint8_t*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i) wipe[i] = 0;
}

std::string MD4String(const std::string& text) {
  TMD4Context context;
  MD4Init(context);
  MD4UpdateText(context, text);
  std::uint8_t digest[16];
  MD4Final(context, digest);
  return std::string(reinterpret_cast<const char*>(digest), 16);
}
