// An INI file of any content: reading keys from it never fails or overruns, values stay within
// their size, and a written key reads back as written.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>

#include "platform/Ini.h"

static const std::string& FilePath() {
  static const std::string path = [] {
    char templ[] = "/tmp/talvo-ini-fuzz-XXXXXX";
    int fd = mkstemp(templ);
    if (fd >= 0) close(fd);
    return std::string(templ);
  }();
  return path;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = FilePath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  for (const char* section : {"General", "Users", "Messages", ""}) {
    for (const char* key : {"Port", "1", "Welcome", ""}) {
      std::string value = platform::GetPrivateProfileString(section, key, "none", path, 64);
      if (value.size() > 63) __builtin_trap();
    }
  }
  if (platform::WritePrivateProfileString("Fuzz", "Key", "value 1.5", path) &&
      platform::GetPrivateProfileString("Fuzz", "Key", "", path) != "value 1.5")
    __builtin_trap();
  return 0;
}
