#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// MPEG Layer-3 encoding (LAME) and decoding (mpg123) for the wave-out device and the compression
// manager. Both keep their state from one call to the next, as a stream codec must.

struct lame_global_struct;
struct mpg123_handle_struct;

namespace platform {

// The MPEG version's frame of a sample rate: samples per frame, and the bytes of a frame at a
// bit rate (without the padding byte). 0 when the rate is not an MPEG rate.
unsigned Mp3FrameSamples(unsigned sampleRate);
unsigned Mp3FrameBytes(unsigned sampleRate, unsigned bitRate);

// The length in bytes of the MPEG audio frame whose header starts at h (4 bytes readable), or 0
// when h is no Layer-3 frame header.
std::size_t Mp3FrameLength(const std::uint8_t* h);

class Mp3Encoder {
 public:
  // Constant bit rate (kbit/s) from 16-bit PCM at the given rate and channel count, bit reservoir
  // off, so that every frame stands alone. Null when the encoder refuses the combination.
  static std::unique_ptr<Mp3Encoder> Create(unsigned sampleRate, unsigned channels,
                                            unsigned kbitRate);
  ~Mp3Encoder();
  Mp3Encoder(const Mp3Encoder&) = delete;
  Mp3Encoder& operator=(const Mp3Encoder&) = delete;

  // Encodes interleaved samples and appends every frame completed so far to out; a frame is
  // never split between two calls. False when the encoder failed.
  bool Encode(const std::int16_t* samples, std::size_t frames, std::vector<std::uint8_t>& out);
  // Appends what the encoder still holds, padded to whole frames, and starts a fresh stream.
  bool Flush(std::vector<std::uint8_t>& out);
  // Drops everything held and starts a fresh stream.
  bool Restart();

  unsigned FrameSamples() const { return frameSamples_; }
  unsigned MaxFrameBytes() const { return maxFrameBytes_; }
  // Samples of silence the encoder puts in front of the audio.
  unsigned EncoderDelay() const;

 private:
  Mp3Encoder(unsigned sampleRate, unsigned channels, unsigned kbitRate);
  bool Init();
  void TakeWholeFrames(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& out,
                       bool all);

  lame_global_struct* lame_ = nullptr;
  unsigned sampleRate_, channels_, kbitRate_;
  unsigned frameSamples_ = 0, maxFrameBytes_ = 0;
  std::vector<std::uint8_t> scratch_;
  std::vector<std::uint8_t> partial_;  // the start of a frame not yet complete
};

class Mp3Decoder {
 public:
  // Decodes to 16-bit PCM at the given rate and channel count. Null when that is impossible.
  static std::unique_ptr<Mp3Decoder> Create(unsigned sampleRate, unsigned channels);
  ~Mp3Decoder();
  Mp3Decoder(const Mp3Decoder&) = delete;
  Mp3Decoder& operator=(const Mp3Decoder&) = delete;

  // Feeds any number of bytes (frames may be split anywhere) and appends the samples of every
  // frame completed so far to pcm. Damaged data is skipped; the decoder finds the next frame.
  void Decode(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& pcm);
  bool Restart();

 private:
  Mp3Decoder(unsigned sampleRate, unsigned channels)
      : sampleRate_(sampleRate), channels_(channels) {}
  bool Init();

  mpg123_handle_struct* handle_ = nullptr;
  unsigned sampleRate_, channels_;
};

}  // namespace platform
