#pragma once

#include <cstdint>

// The DES block cipher (FIPS 46), one 8-byte block at a time, for the NTLM responses. Bit 1 is
// the most significant bit of the first byte; the lowest bit of each key byte (parity) is ignored.

enum class TDesDirection { Encrypt, Decrypt };

void DesBlock(const std::uint8_t input[8], const std::uint8_t key[8], TDesDirection direction,
              std::uint8_t output[8]);

// Spreads the 56 bits of a 7-byte key piece over eight key bytes, seven bits at the top of each;
// the lowest bit of each byte is cleared.
void DesKeyFrom7(const std::uint8_t piece[7], std::uint8_t key[8]);
