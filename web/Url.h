#pragma once

#include <cstdint>
#include <string>

// Plain text helpers for URLs. All work on 8-bit text, positions are 1-based, and none fails:
// every input gives a result.

// The position of the n-th occurrence of sub in s. n > 0 counts from the left (overlapping
// matches count); with fewer than n matches the result is s's length plus the number of missing
// matches, so anything beyond the length means "not found". n < 0 counts from the right and gives
// 0 when there are fewer than -n matches. n = 0 gives 0. An empty sub never matches.
std::int32_t NthPos(const std::string& sub, const std::string& s, std::int32_t n);

// Cuts url into its parts. path is also an input: its value on entry is the base against which
// "./" and "../" URLs are resolved (those set only path). All six outputs are cleared first. The
// protocol comes back in lower case; host and port keep their case; port has no default. The path
// keeps the query. A URL that begins with "//" names a host (protocol "http").
void SplitUrl(const std::string& url, std::string& proto, std::string& user, std::string& pass,
              std::string& host, std::string& port, std::string& path);

// Escapes text for a URL query: ".", digits and ASCII letters are copied, every other byte
// becomes "%" and two upper-case hexadecimal digits.
std::string PercentEncode(const std::string& text);
