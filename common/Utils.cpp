#include "common/Utils.h"

#include "common/Random.h"
#include "platform/Ini.h"
#include "platform/MessagePump.h"
#include "platform/Shell.h"
#include "platform/Tick.h"
#include "platform/TimeZone.h"

std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& def) {
  return StrFromBuffer(platform::GetPrivateProfileString(section, key, def, path, 2048));
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
  return platform::WritePrivateProfileString(section, key, value, path);
}

std::string BoolToIniStr(bool value) {
  return value ? "1" : "";
}

void Delay(std::uint32_t ms) {
  const std::uint32_t start = platform::GetTickCount();
  platform::ProcessMessages();
  for (;;) {
    std::uint32_t elapsed = platform::GetTickCount() - start;
    if (ms <= elapsed) break;
    platform::WaitMessages(ms - elapsed);
  }
}

double UtcOffset() {
  platform::TimeZoneInformation tz;
  std::int32_t minutes;
  switch (platform::GetTimeZoneInformation(tz)) {
    case platform::TimeZoneState::Standard:
      minutes = tz.Bias + tz.StandardBias;
      break;
    case platform::TimeZoneState::Daylight:
      minutes = tz.Bias + tz.DaylightBias;
      break;
    default:
      minutes = tz.Bias;
  }
  return minutes / 1440.0;
}

std::string Scramble(const std::string& text, std::int32_t seed) {
  const std::uint32_t saved = RandSeed();
  SetRandSeed(static_cast<std::uint32_t>(seed));
  std::string out = text;
  for (char& c : out) {
    auto r = static_cast<std::uint8_t>(Random(128) | 128);
    c = static_cast<char>(static_cast<std::uint8_t>(c) ^ r);
  }
  SetRandSeed(saved);
  return out;
}

std::int32_t ShellRun(const std::string& verb, const std::string& file,
                      const std::string& parameters, bool wait, const std::string& directory) {
  std::uint32_t exitCode = 0;
  if (!platform::ShellExecute(verb, file, parameters, directory, wait, &exitCode)) return -1;
  return wait ? static_cast<std::int32_t>(exitCode) : 0;
}

std::int32_t HexToBytes(const std::string& text, std::uint8_t* dest) {
  auto value = [](char c) -> unsigned {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    return 0;
  };
  std::size_t pairs = text.size() / 2;
  for (std::size_t k = 0; k < pairs; ++k)
    dest[k] = static_cast<std::uint8_t>(16 * value(text[2 * k]) + value(text[2 * k + 1]));
  return static_cast<std::int32_t>(pairs);
}

std::string StrFromBuffer(const std::string& text) {
  auto nul = text.find('\0');
  return nul == std::string::npos ? text : text.substr(0, nul);
}

std::int32_t StrToIntDef(const std::string& text, std::int32_t def) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return def;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return def;
    value = value * base + d;
    if (value > 0x80000000LL) return def;
  }
  if (negative) value = -value;
  if (value > 0x7FFFFFFFLL || value < -0x80000000LL) return def;
  return static_cast<std::int32_t>(value);
}
