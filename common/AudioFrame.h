#pragma once

#include <cstdint>
#include <string>

// Audio frames: compressed audio carried inside a protocol line. 8 upper-case hexadecimal digits
// of the sender's tick, 8 of the escaped payload's length, then the payload, in which every byte
// of value 32 or less is sent as 27 followed by the byte plus 48.

// The whole frame for count bytes of data, stamped with the current tick.
std::string EncodeAudioFrame(const std::uint8_t* data, std::int32_t count);

// Unescapes the payload (from the 17th character on) into dest, which must hold at least
// frame.size() - 16 bytes, and returns the number of bytes written. The header is not read.
// A frame whose last character is an escape without its pair is refused: -1, and dest is
// written no further than the text allows.
std::int32_t DecodeAudioFrame(const std::string& frame, std::uint8_t* dest);

// The receivers' check: the frame is longer than 32 characters, both header fields are eight
// hexadecimal digits, the length field equals the payload's length, and every escape has its
// pair. On success stamp holds the sender's tick.
bool CheckAudioFrame(const std::string& frame, std::uint32_t& stamp);
