#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// The chunked transfer coding of a reply body, decoded as the bytes come: a chunk size in
// hexadecimal (at most 8 digits; extensions after it are skipped), its line end, that many data
// bytes, a line end; a size of 0 ends the body after the trailer lines and their empty line.
// A size line, data or line end split across receptions continues with the next bytes.
class THttpChunkDecoder {
 public:
  using TDataSink = std::function<void(const char* data, std::size_t length)>;

  enum TState { csSize, csSizeLine, csData, csDataEnd, csTrailer, csDone, csFailed };

  void Reset() { *this = THttpChunkDecoder{}; }

  // Takes bytes until they are used up or the body has ended (or turned out malformed); chunk
  // data goes to sink. Returns the bytes taken: what follows the body is left alone.
  std::size_t Feed(const char* data, std::size_t length, const TDataSink& sink);

  TState State() const { return state_; }
  bool Done() const { return state_ == csDone; }
  bool Failed() const { return state_ == csFailed; }
  std::uint32_t ChunkLength() const { return chunkLength_; }

 private:
  static constexpr int kMaxSizeDigits = 8;

  TState state_ = csSize;
  std::uint32_t chunkLength_ = 0;
  std::uint32_t chunkReceived_ = 0;
  int sizeDigits_ = 0;
  std::size_t trailerLineLength_ = 0;  // bytes of the trailer line read so far, CR not counted
};
