// The client's reading of server bytes: line cutting in reads of any size, the split into word
// and value, the keyword lookup and the value parsers the dispatcher uses.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/ServerLines.h"
#include "text/Text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte chooses the read size, so that lines and line ends fall across reads.
  const std::size_t step = (data[0] % 31) + 1;
  const char* bytes = reinterpret_cast<const char*>(data + 1);
  const std::size_t count = size - 1;
  TServerLineCutter cutter;
  std::string line, word, value;
  for (std::size_t at = 0; at < count; at += step) {
    std::size_t n = count - at < step ? count - at : step;
    cutter.Append(bytes + at, n);
    while (cutter.NextLine(line)) {
      if (line.empty() || line.size() > TServerLineCutter::kMaxLine) std::abort();
      if (line.find_first_of("\r\n") != std::string::npos) std::abort();
      SplitAtFirstSpace(line, word, value);
      switch (ServerWordOf(word)) {
        case TServerWord::Message:
          if (MessageText(value).size() > value.size()) std::abort();
          break;
        case TServerWord::Freq: {
          double khz = 0;
          ParseKilohertz(value, khz);
          if (ParseReportedFrequency(value, khz) && !(khz > 0 && khz < 100000)) std::abort();
          break;
        }
        default:
          break;
      }
    }
    if (cutter.Held() > 2 * TServerLineCutter::kMaxLine + step) std::abort();
  }
  return 0;
}
