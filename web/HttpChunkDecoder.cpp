#include "web/HttpChunkDecoder.h"

#include <algorithm>

#include "text/Text.h"

std::size_t THttpChunkDecoder::Feed(const char* data, std::size_t length, const TDataSink& sink) {
  std::size_t pos = 0;
  while (pos < length && state_ != csDone && state_ != csFailed) {
    char c = data[pos];
    switch (state_) {
      case csSize: {
        int v = HexDigitValue(c);
        if (v < 0) {
          // A size line without a digit is no chunk size.
          state_ = sizeDigits_ == 0 ? csFailed : csSizeLine;
          continue;
        }
        if (++sizeDigits_ > kMaxSizeDigits) {
          state_ = csFailed;
          continue;
        }
        chunkLength_ = chunkLength_ * 16 + static_cast<std::uint32_t>(v);
        ++pos;
        break;
      }
      case csSizeLine:
        ++pos;
        if (c == '\n') {
          chunkReceived_ = 0;
          state_ = chunkLength_ == 0 ? csTrailer : csData;
          trailerLineLength_ = 0;
        }
        break;
      case csData: {
        std::size_t take = std::min<std::size_t>(length - pos, chunkLength_ - chunkReceived_);
        if (sink) sink(data + pos, take);
        pos += take;
        chunkReceived_ += static_cast<std::uint32_t>(take);
        if (chunkReceived_ == chunkLength_) state_ = csDataEnd;
        break;
      }
      case csDataEnd:
        ++pos;
        if (c == '\n') {
          state_ = csSize;
          chunkLength_ = 0;
          chunkReceived_ = 0;
          sizeDigits_ = 0;
        }
        break;
      case csTrailer:
        ++pos;
        if (c == '\n') {
          if (trailerLineLength_ == 0) state_ = csDone;
          trailerLineLength_ = 0;
        } else if (c != '\r') {
          ++trailerLineLength_;
        }
        break;
      case csDone:
      case csFailed:
        break;
    }
  }
  return pos;
}
