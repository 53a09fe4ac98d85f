#pragma once

#include <cstdint>
#include <string>

// The pieces of an HTTP reply header, one line at a time. Qt-free and without state, so that
// hostile input can be fed to them directly.

// The longest header line kept (a longer one is cut) and the most lines one reply may carry.
constexpr std::size_t kHttpMaxHeaderLine = 4096;
constexpr int kHttpMaxHeaderLines = 256;

struct THttpStatusLine {
  std::string version;  // the three characters after "HTTP/": "1.0" or "1.1"
  int code = 0;
  std::string reason;
};

// True when the line begins with "HTTP/1.0" or "HTTP/1.1" (exact case).
bool IsHttpStatusLine(const std::string& line);

// Reads a status line: the code is the three digits starting at the first digit at or after the
// tenth character, the reason everything from four characters after that digit. False when the
// line is no HTTP/1.x status line or has no three-digit code there.
bool ParseHttpStatusLine(const std::string& line, THttpStatusLine& status);

// Splits "Name: value": the name before the first ":" in lower case, the value from the first
// character after the ":" that is not a space. False for a line without ":".
bool SplitHttpField(const std::string& line, std::string& name, std::string& value);

// A Content-Length value: decimal digits only (blanks around allowed), at most 18 of them;
// -1 (unknown) for anything else, negative numbers included.
std::int64_t ParseContentLength(const std::string& value);
