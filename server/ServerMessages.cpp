#include "server/ServerMessages.h"

#include "common/DateTime.h"
#include "common/Utils.h"
#include "relay/K2Text.h"

std::string ExpandMacros(const std::string& text, const std::string& sessionUser,
                         std::int32_t accessLevel) {
  std::string out = text;
  const char macros[] = {'d', 't', 'u', 'p', 'v'};
  for (char m : macros) {
    std::string lower = std::string("%") + m;
    std::string upper = std::string("%") + static_cast<char>(m - 'a' + 'A');
    std::size_t at = out.find(lower);
    if (at == std::string::npos) at = out.find(upper);
    if (at == std::string::npos) continue;
    std::string value;
    switch (m) {
      case 'd':
        value = FormatDateTime("ddddd", Now() + UtcOffset());
        break;
      case 't':
        value = FormatDateTime("tt", Now());
        break;
      case 'u':
        value = sessionUser;
        break;
      case 'p':
        value = AccessLevelName(accessLevel);
        break;
      case 'v':
        value = "1.0";
        break;
    }
    out.replace(at, 2, value);
  }
  return out;
}

std::string LoginBannerText(const std::string& caption, double utcNow) {
  return caption + " Date: " + FormatDateTime("d mmm yyyy", utcNow) +
         " Time: " + FormatDateTime("tt", utcNow);
}

bool AddressAllowed(const std::string& iniPath, const std::string& address) {
  std::string mask = ReadIniString(iniPath, "Access Control", "Address Mask 1", "");
  if (mask.empty()) return true;
  for (int n = 2; !mask.empty(); ++n) {
    std::size_t star = mask.find('*');
    if (star == std::string::npos) {
      if (address == mask) return true;
    } else {
      mask.erase(star, 15);
      if (mask.empty() || address.rfind(mask, 0) == 0) return true;
    }
    mask = ReadIniString(iniPath, "Access Control", "Address Mask " + std::to_string(n), "");
  }
  return false;
}
