// The server's "AUDIO" lines from a hostile client: sub-words, frames and format records of any
// content. The first byte picks the access level and the arrival tick's step.
#include <cstddef>
#include <cstdint>
#include <string>

#include "server/AudioStream.h"
#include "server/LineFramer.h"
#include "text/Text.h"

namespace {

struct Sink : IClientLink {
  void SendText(const std::string&) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Sink sink;
  static TAudioStream audio(sink, [](const std::string&) {});
  if (size == 0) return 0;
  const std::int32_t level = data[0] % 3;
  static std::uint32_t tick = 0;
  tick += data[0];
  std::string value(reinterpret_cast<const char*>(data + 1), size - 1);
  // ON would open the sound card: the fuzzer keeps to the parsers.
  std::string sub, arg;
  TLineFramer::SplitLine(value, sub, arg);
  if (SameTextAscii(sub, "ON")) return 0;
  audio.AudioCommand(value, level);
  audio.PlayFrame(value, tick);
  return 0;
}
