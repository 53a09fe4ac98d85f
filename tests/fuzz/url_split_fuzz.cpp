// Splits arbitrary URLs (the first line of the input is the base path) and checks what every
// split must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/Url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t newline = input.find('\n');
  std::string base = newline == std::string::npos ? std::string() : input.substr(0, newline);
  std::string url = newline == std::string::npos ? input : input.substr(newline + 1);

  std::string proto, user, pass, host, port, path = base;
  SplitUrl(url, proto, user, pass, host, port, path);
  // Nothing is invented: the parts of an absolute URL are never longer than the URL.
  if (url.compare(0, 2, "./") != 0 && url.compare(0, 3, "../") != 0 &&
      user.size() + pass.size() + host.size() + port.size() + path.size() > url.size())
    std::abort();
  if (url.compare(0, 3, "../") == 0 && path.empty()) std::abort();

  std::string encoded = PercentEncode(url);
  if (encoded.size() < url.size() || encoded.size() > 3 * url.size()) std::abort();

  for (std::int32_t n : {-3, -1, 0, 1, 2}) {
    std::int32_t at = NthPos(base, url, n);
    if (n < 0 && at > static_cast<std::int32_t>(url.size())) std::abort();
    if (at > 0 && at <= static_cast<std::int32_t>(url.size()) &&
        url.compare(static_cast<std::size_t>(at - 1), base.size(), base) != 0)
      std::abort();
  }
  return 0;
}
