// A received audio frame through the receivers' check and the decoder; what passes the check
// must decode, and the decoded bytes must survive their own encoding and decoding. (A payload may
// hold unescaped low bytes, which decode as themselves, so the frame text need not come back.)
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/AudioFrame.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string frame(reinterpret_cast<const char*>(data), size);
  std::vector<std::uint8_t> dest(frame.size() > 16 ? frame.size() - 16 : 1);
  std::uint32_t stamp = 0;
  bool valid = CheckAudioFrame(frame, stamp);
  std::int32_t count = frame.size() > 16 ? DecodeAudioFrame(frame, dest.data()) : -1;
  if (valid) {
    if (count < 0) __builtin_trap();
    std::string again = EncodeAudioFrame(dest.data(), count);
    std::vector<std::uint8_t> back(again.size());
    if (DecodeAudioFrame(again, back.data()) != count) __builtin_trap();
    if (!std::equal(back.begin(), back.begin() + count, dest.begin())) __builtin_trap();
  }
  if (count > static_cast<std::int64_t>(dest.size())) __builtin_trap();
  return 0;
}
