#include "common/Utils.h"

#include "common/Random.h"
#include "platform/Ini.h"
#include "platform/MessagePump.h"
#include "platform/Shell.h"
#include "platform/Tick.h"
#include "platform/TimeZone.h"
#include "text/Text.h"

std::string ReadIniString(const std::string& path, const std::string& section,
                          const std::string& key, const std::string& def) {
  return StrFromBuffer(platform::GetPrivateProfileString(section, key, def, path, 2048));
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
  return platform::WritePrivateProfileString(section, key, value, path);
}

TWindowPlace ReadWindowPlace(const std::string& path, const std::string& section,
                             TWindowPlace def) {
  return {StrToIntDef(ReadIniString(path, section, "Left", ""), def.Left),
          StrToIntDef(ReadIniString(path, section, "Top", ""), def.Top)};
}

void WriteWindowPlace(const std::string& path, const std::string& section, std::int32_t left,
                      std::int32_t top) {
  WriteIniString(path, section, "Left", std::to_string(left));
  WriteIniString(path, section, "Top", std::to_string(top));
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
  // Only upper-case digits count; anything else, lower case included, is 0.
  auto value = [](char c) -> unsigned {
    const int d = c >= 'a' && c <= 'f' ? 0 : HexDigitValue(c);
    return d < 0 ? 0 : static_cast<unsigned>(d);
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
  const auto value = ParseUnsigned(std::string_view(text).substr(i), base,
                                   negative ? 0x80000000ULL : 0x7FFFFFFFULL);
  if (!value) return def;
  return static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(*value)
                                            : static_cast<std::int64_t>(*value));
}
