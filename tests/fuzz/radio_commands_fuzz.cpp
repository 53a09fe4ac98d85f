// Client lines (word, blank, argument; one per input line) through the relay's command
// translation, with radio replies between them so that the relay's known state varies.
#include <cstddef>
#include <cstdint>
#include <string>

#include "relay/K2Relay.h"
#include "server/LineFramer.h"
#include "tests/fuzz/RelayFuzzLinks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  FuzzRadio radio;
  FuzzClient client;
  TK2Relay relay;
  relay.SetRadio(&radio);
  relay.SetAccessLevel(data[0] % 4);
  relay.ReplyBuffer() = "FA00014060000;MD3;IF00014060000     +00000000003000000000;";
  relay.ParseK2Replies(client);
  std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start), word, value;
    TLineFramer::SplitLine(line, word, value);
    if (!word.empty() && word[0] == '!') {
      relay.ReplyBuffer() += value;
      relay.ParseK2Replies(client);
    } else {
      relay.TranslateCommand(word, value, client);
    }
    relay.PollK2();
    start = end + 1;
  }
  return 0;
}
