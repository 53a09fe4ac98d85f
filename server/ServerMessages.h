#pragma once

#include <cstdint>
#include <string>

// Expands the operator's message macros: for each of %d (UTC date, the locale's short date), %t
// (local time, the locale's long time), %u (user), %p (access level name) and %v (version), in
// that order, the first lower-case occurrence, or only when there is none the first upper-case
// one, is replaced; every other occurrence stays as written.
std::string ExpandMacros(const std::string& text, const std::string& sessionUser,
                         std::int32_t accessLevel);

// The login banner, which is also the login challenge: caption + " Date: " + the UTC date as
// "d mmm yyyy" + " Time: " + the UTC time as the locale's long time.
std::string LoginBannerText(const std::string& caption, double utcNow);

// The address masks of [Access Control] ("Address Mask 1", 2, ... to the first missing or empty
// key): no masks admit everyone; a mask with "*" admits the addresses that begin with the text
// before the "*" (and a lone "*" everyone); a mask without "*" admits that address alone.
bool AddressAllowed(const std::string& iniPath, const std::string& address);
