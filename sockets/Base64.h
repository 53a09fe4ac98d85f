#pragma once

#include <string>

// Base64 (RFC 4648 alphabet and padding, no line breaks) over 8-bit texts.
std::string Base64Encode(const std::string& data);

// Decodes groups of four characters. Characters outside the alphabet are not rejected: they count
// as 255 and give the bits the masks keep. A last group of fewer than four characters is read as
// if padded with "=".
std::string Base64Decode(const std::string& text);
