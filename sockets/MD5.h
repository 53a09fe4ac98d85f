#pragma once

#include <cstdint>
#include <string>

// MD5 message digests (RFC 1321).

struct MD5Context {
  std::uint32_t State[4];
  std::uint32_t Count[2];  // message bits so far, low word first
  std::uint8_t Buffer[64];
};

void MD5Init(MD5Context& context);
void MD5Update(MD5Context& context, const void* data, std::int32_t count);
// Pads, writes the 16-byte digest and clears the context.
void MD5Final(std::uint8_t digest[16], MD5Context& context);
// MD5Update in pieces of at most 16384 bytes.
void MD5UpdateChunked(MD5Context& context, const void* data, std::int32_t count);

// The digest of count bytes as 32 upper-case hexadecimal digits.
std::string MD5BufferHex(const void* data, std::int32_t count);
// The digest of the text's 8-bit characters as 32 upper-case hexadecimal digits.
std::string MD5DigestHex(const std::string& text);
