#include <gtest/gtest.h>

#include "web/HttpChunkDecoder.h"

namespace {

struct Outcome {
  std::string data;
  THttpChunkDecoder::TState state;
  std::size_t used;
};

// Feeds the text in pieces of `step` bytes.
Outcome Decode(const std::string& text, std::size_t step) {
  THttpChunkDecoder d;
  Outcome o{"", THttpChunkDecoder::csSize, 0};
  for (std::size_t at = 0; at < text.size() && !d.Done() && !d.Failed(); at += step) {
    std::size_t n = std::min(step, text.size() - at);
    o.used +=
        d.Feed(text.data() + at, n, [&](const char* p, std::size_t len) { o.data.append(p, len); });
  }
  o.state = d.State();
  return o;
}

}  // namespace

TEST(HttpChunkDecoder, DecodesWhateverTheReadsLookLike) {
  struct Row {
    std::string text;
    std::string data;
    THttpChunkDecoder::TState state;
  };
  const Row rows[] = {
      {"5\r\nhello\r\n0\r\n\r\n", "hello", THttpChunkDecoder::csDone},
      {"1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n", "abcdefghijklmnopqrstuvwxyz",
       THttpChunkDecoder::csDone},
      {"1a;name=v\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n", "abcdefghijklmnopqrstuvwxyz",
       THttpChunkDecoder::csDone},
      {"3\nabc\n2\r\nde\r\n0\nX-T: 1\r\n\n", "abcde", THttpChunkDecoder::csDone},
      {"0000000005\r\nhello\r\n", "", THttpChunkDecoder::csFailed},
      {"FFFFFFFF\r\nab", "ab", THttpChunkDecoder::csData},
      {"\r\n", "", THttpChunkDecoder::csFailed},
      {"zz\r\n", "", THttpChunkDecoder::csFailed},
      {"5\r\nhel", "hel", THttpChunkDecoder::csData},
  };
  for (const Row& r : rows) {
    for (std::size_t step : {1u, 2u, 3u, 7u, 1000u}) {
      Outcome o = Decode(r.text, step);
      EXPECT_EQ(o.data, r.data) << r.text << " in pieces of " << step;
      EXPECT_EQ(o.state, r.state) << r.text << " in pieces of " << step;
    }
  }
}

TEST(HttpChunkDecoder, LeavesWhatFollowsTheBodyAlone) {
  std::string text = "2\r\nok\r\n0\r\n\r\nHTTP/1.1 200 OK\r\n";
  Outcome o = Decode(text, 1000);
  EXPECT_EQ(o.used, text.find("HTTP/"));
}
