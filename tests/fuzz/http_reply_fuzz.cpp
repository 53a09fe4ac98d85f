// Feeds arbitrary bytes to the reply header parsers (one line at a time) and to the chunk decoder
// (in pieces whose sizes the input chooses), and checks what every outcome must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/HttpChunkDecoder.h"
#include "web/HttpReplyParse.h"

namespace {

std::string DecodeInPieces(const std::string& body, std::size_t step, THttpChunkDecoder& d,
                           std::size_t& used) {
  std::string out;
  used = 0;
  for (std::size_t at = 0; at < body.size() && !d.Done() && !d.Failed(); at += step) {
    std::size_t n = step < body.size() - at ? step : body.size() - at;
    std::size_t took = d.Feed(body.data() + at, n, [&](const char* p, std::size_t len) {
      if (len > n) std::abort();
      out.append(p, len);
    });
    if (took > n) std::abort();
    used += took;
    if (took < n && !d.Done() && !d.Failed()) std::abort();  // stops only at the end
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);

  std::size_t start = 0;
  while (start < input.size()) {
    std::size_t end = input.find('\n', start);
    if (end == std::string::npos) end = input.size();
    std::string line = input.substr(start, end - start);
    start = end + 1;
    THttpStatusLine status;
    if (ParseHttpStatusLine(line, status)) {
      if (status.code < 0 || status.code > 999 || status.version.size() != 3) std::abort();
      if (status.reason.size() > line.size()) std::abort();
    }
    std::string name, value;
    if (SplitHttpField(line, name, value) && name.size() + value.size() >= line.size())
      std::abort();
    std::int64_t length = ParseContentLength(line);
    if (length < -1) std::abort();
  }

  // The same body in one piece and byte by byte gives the same data and the same end.
  THttpChunkDecoder whole, bytes;
  std::size_t usedWhole = 0, usedBytes = 0;
  std::size_t step = size > 0 ? 1 + data[0] % 16 : 1;
  std::string a = DecodeInPieces(input, input.size() + 1, whole, usedWhole);
  std::string b = DecodeInPieces(input, step, bytes, usedBytes);
  if (a != b || whole.State() != bytes.State() || usedWhole != usedBytes) std::abort();
  if (a.size() > input.size()) std::abort();
  return 0;
}
