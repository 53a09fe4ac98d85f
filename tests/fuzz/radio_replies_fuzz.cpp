// The radio's bytes into the relay's reply parser, in chunks, at every access level.
#include <cstddef>
#include <cstdint>
#include <string>

#include "relay/K2Relay.h"
#include "tests/fuzz/RelayFuzzLinks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  FuzzRadio radio;
  FuzzClient client;
  TK2Relay relay;
  relay.SetRadio(&radio);
  relay.SetAccessLevel(data[0] % 4);
  std::size_t step = data[1] % 23 + 1;
  for (std::size_t at = 2; at < size; at += step) {
    std::size_t count = size - at < step ? size - at : step;
    relay.ReplyBuffer().append(reinterpret_cast<const char*>(data) + at, count);
    relay.ParseK2Replies(client);
    relay.PollK2();
  }
  relay.ReleaseK2();
  return 0;
}
