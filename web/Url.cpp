#include "web/Url.h"

namespace {

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string s) {
  for (char& c : s) c = AsciiLower(c);
  return s;
}

bool StartsWithNoCase(const std::string& s, const std::string& prefix) {
  return s.size() >= prefix.size() && AsciiLower(s.substr(0, prefix.size())) == prefix;
}

bool IsProtoChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// The base up to and including its last "/", or "/" when it has none.
std::string DirectoryOf(const std::string& base) {
  std::size_t slash = base.rfind('/');
  return slash == std::string::npos ? "/" : base.substr(0, slash + 1);
}

// "/docs/en/" -> "/docs/"; "/" stays "/".
std::string ParentDirectory(const std::string& dir) {
  std::string cut = dir;
  if (!cut.empty() && cut.back() == '/') cut.pop_back();
  return DirectoryOf(cut);
}

std::string ResolveParent(const std::string& base, const std::string& url) {
  std::string dir = DirectoryOf(base);
  std::string rest = url.substr(3);
  for (;;) {
    dir = ParentDirectory(dir);
    if (rest.compare(0, 3, "../") != 0) break;
    rest.erase(0, 3);
  }
  return dir + rest;
}

// Splits authority text into user, password, host and port.
void SplitAuthority(const std::string& authority, std::string& user, std::string& pass,
                    std::string& host, std::string& port) {
  std::size_t colon = authority.rfind(':');
  std::size_t at = authority.rfind('@');
  if (colon == std::string::npos && at == std::string::npos) {
    host = authority;
    return;
  }
  if (colon != std::string::npos && (at == std::string::npos || colon > at)) {
    port = authority.substr(colon + 1);
    std::size_t hostStart = at == std::string::npos ? 0 : at + 1;
    host = authority.substr(hostStart, colon - hostStart);
    if (at == std::string::npos) return;
  } else {
    host = authority.substr(at + 1);
  }
  std::string userInfo = authority.substr(0, at);
  std::size_t sep = userInfo.find(':');
  if (sep == std::string::npos) {
    user = userInfo;
  } else {
    user = userInfo.substr(0, sep);
    pass = userInfo.substr(sep + 1);
  }
}

}  // namespace

std::int32_t NthPos(const std::string& sub, const std::string& s, std::int32_t n) {
  if (n == 0) return 0;
  const std::int64_t len = static_cast<std::int64_t>(s.size());
  if (n > 0) {
    std::int32_t found = 0;
    std::size_t from = 0;
    while (!sub.empty() && found < n) {
      std::size_t at = s.find(sub, from);
      if (at == std::string::npos) break;
      if (++found == n) return static_cast<std::int32_t>(at + 1);
      from = at + 1;
    }
    std::int64_t result = len + (n - found);
    return result > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(result);
  }
  if (sub.empty() || sub.size() > s.size()) return 0;
  std::int64_t wanted = -static_cast<std::int64_t>(n);
  std::int64_t found = 0;
  for (std::size_t at = s.size() - sub.size() + 1; at-- > 0;) {
    if (s.compare(at, sub.size(), sub) == 0 && ++found == wanted)
      return static_cast<std::int32_t>(at + 1);
  }
  return 0;
}

void SplitUrl(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path) {
  const std::string base = path;
  proto.clear();
  user.clear();
  pass.clear();
  host.clear();
  port.clear();
  path.clear();
  if (url.empty()) return;

  if (url.compare(0, 2, "./") == 0) {
    path = DirectoryOf(base) + url.substr(2);
    return;
  }
  if (url.compare(0, 3, "../") == 0) {
    path = ResolveParent(base, url);
    return;
  }

  std::string rest = url;
  bool haveProto = false;
  std::size_t sep = url.find("://");
  if (sep != std::string::npos) {
    std::string scheme = AsciiLower(url.substr(0, sep));
    bool valid = true;
    for (char c : scheme) valid = valid && IsProtoChar(c);
    if (valid) {
      proto = scheme;
      rest = url.substr(sep + 3);
      haveProto = true;
    } else {
      proto = "http";
    }
  }
  if (!haveProto) {
    if (url[0] == '/') {
      proto = "http";
      if (url.size() < 2 || url[1] != '/') {
        path = url;
        return;
      }
      rest = url.substr(2);
    } else if (StartsWithNoCase(url, "http:")) {
      proto = "http";
      if (url.size() > 6 && url[6] != '/') {
        path = url.substr(5);
        return;
      }
      rest = url.size() > 6 ? url.substr(6) : std::string();
    } else if (StartsWithNoCase(url, "mailto:")) {
      proto = "mailto";
      rest = url.substr(7);
    }
  }

  std::size_t pathStart = rest.find_first_of("/?");
  std::string authority = rest.substr(0, pathStart);
  if (pathStart != std::string::npos) path = rest.substr(pathStart);
  SplitAuthority(authority, user, pass, host, port);
}

std::string PercentEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '.' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      out += c;
    } else {
      const auto b = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    }
  }
  return out;
}
