#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// MD4 message digests (RFC 1320), for the NT response of NTLM.

class MD4Exception : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TMD4Context {
  std::uint32_t Count[2] = {0, 0};  // message bits so far, low word first
  std::uint32_t BufferLength = 0;   // bytes held in Buffer
  std::uint8_t Buffer[64] = {};
  std::uint32_t State[4] = {0, 0, 0, 0};
  bool Initialized = false;
};

void MD4Init(TMD4Context& context);
// MD4Update, MD4UpdateText and MD4Final raise MD4Exception "MD4 not initialized" on a context that
// was not initialised, or not again since its last MD4Final.
void MD4Update(TMD4Context& context, const void* data, std::size_t count);
void MD4UpdateText(TMD4Context& context, const std::string& text);
// Pads, writes the 16-byte digest and clears the context.
void MD4Final(TMD4Context& context, std::uint8_t digest[16]);

// The digest of the text's 8-bit characters as 16 raw bytes.
std::string MD4String(const std::string& text);
