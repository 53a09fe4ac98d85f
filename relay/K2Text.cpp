#include "relay/K2Text.h"

#include <algorithm>
#include <cstddef>

#include "common/AccessLevel.h"

std::string K2StartupCommands() {
  return "PS;K22;FW;PA;RA;AN;NB;GT;PC;AI3;";
}

std::string AccessLevelName(std::int32_t level) {
  switch (level) {
    case kAccessRxOnly:
      return "RX only";
    case kAccessTxRx:
      return "TX/RX";
    case kAccessFull:
      return "Full";
    default:
      return "Unknown";
  }
}

std::string AccessDeniedText(std::int32_t level) {
  return "# You have " + AccessLevelName(level) + " access.||Action disallowed.\r\n";
}

std::string ModeName(std::int32_t mode) {
  switch (mode) {
    case 1:
      return "LSB";
    case 2:
      return "USB";
    case 3:
      return "CW";
    case 6:
      return "RTTY";
    case 7:
      return "CW-R";
    case 9:
      return "RTTY-R";
    default:
      return std::string();
  }
}

std::uint8_t ModeClass(std::int32_t mode) {
  switch (mode) {
    case 1:
    case 2:
      return 1;
    case 3:
    case 7:
      return 2;
    case 6:
    case 9:
      return 3;
    default:
      return 0;
  }
}

long double DigitsToKHz(const std::string& digits) {
  // 64-bit: eleven digits of hertz do not fit 32 bits, and even unchecked characters (up to
  // 207 each) stay far inside the range for the K2's eleven positions.
  std::int64_t hertz = 0;
  for (unsigned char c : digits) hertz = hertz * 10 + (static_cast<std::int64_t>(c) - 48);
  return static_cast<long double>(hertz) / 1000;
}

namespace {

void DeleteAll(std::string& text, char c) {
  std::erase(text, c);
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  // Searching again from the start after each change lets a replacement's result take part in
  // the next match, as the keyer text has always been built.
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from)) {
    text.replace(at, from.size(), to);
  }
}

bool IsControl(unsigned char c) {
  return c < 32 || c == 127;
}

}  // namespace

std::string CWTextToKeyer(const std::string& text) {
  std::string keyer;
  keyer.reserve(text.size() + 2);
  keyer += ' ';
  for (unsigned char c : text) {
    // ";" would end the KY command and let the rest of the text reach the K2 as commands.
    if (c == ';' || IsControl(c)) continue;
    keyer += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
  }
  keyer += ' ';
  for (char c : {'<', '>', '(', ')'}) DeleteAll(keyer, c);
  ReplaceAll(keyer, "@", " AT ");
  DeleteAll(keyer, '%');
  DeleteAll(keyer, '*');
  ReplaceAll(keyer, " KN ", "(");
  ReplaceAll(keyer, " AR ", "+");
  ReplaceAll(keyer, " BT ", "=");
  ReplaceAll(keyer, " AS ", "%");
  ReplaceAll(keyer, " SK ", "*");
  const auto first = keyer.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return keyer.substr(first, keyer.find_last_not_of(' ') - first + 1);
}
