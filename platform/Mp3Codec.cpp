#include "platform/Mp3Codec.h"

#include <lame/lame.h>
#include <mpg123.h>

#include <cstdarg>
#include <mutex>

namespace platform {
namespace {

void Quiet(const char*, va_list) {}

// Index 0 of each row is the free format, 15 is forbidden.
constexpr unsigned kBitRatesV1[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                      112, 128, 160, 192, 224, 256, 320, 0};
constexpr unsigned kBitRatesV2[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                      64, 80, 96, 112, 128, 144, 160, 0};
constexpr unsigned kRatesV1[3] = {44100, 48000, 32000};

bool IsMpeg1Rate(unsigned rate) {
  return rate == 32000 || rate == 44100 || rate == 48000;
}

}  // namespace

unsigned Mp3FrameSamples(unsigned rate) {
  switch (rate) {
    case 32000:
    case 44100:
    case 48000:
      return 1152;
    case 8000:
    case 11025:
    case 12000:
    case 16000:
    case 22050:
    case 24000:
      return 576;
    default:
      return 0;
  }
}

unsigned Mp3FrameBytes(unsigned rate, unsigned bitRate) {
  if (Mp3FrameSamples(rate) == 0) return 0;
  const unsigned coef = IsMpeg1Rate(rate) ? 144 : 72;
  return static_cast<unsigned>(static_cast<std::uint64_t>(coef) * bitRate / rate);
}

std::size_t Mp3FrameLength(const std::uint8_t* h) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  const unsigned version = (h[1] >> 3) & 3;  // 0: 2.5, 2: 2, 3: 1
  const unsigned layer = (h[1] >> 1) & 3;    // 1: Layer III
  const unsigned rateIndex = (h[2] >> 2) & 3;
  const unsigned bitIndex = h[2] >> 4;
  if (version == 1 || layer != 1 || rateIndex == 3 || bitIndex == 0 || bitIndex == 15) return 0;
  unsigned rate = kRatesV1[rateIndex];
  if (version == 2) rate /= 2;
  if (version == 0) rate /= 4;
  const unsigned kbit = (version == 3 ? kBitRatesV1 : kBitRatesV2)[bitIndex];
  return Mp3FrameBytes(rate, kbit * 1000) + ((h[2] >> 1) & 1);
}

// ---------------------------------------------------------------------------------------------

Mp3Encoder::Mp3Encoder(unsigned sampleRate, unsigned channels, unsigned kbitRate)
    : sampleRate_(sampleRate), channels_(channels), kbitRate_(kbitRate) {}

Mp3Encoder::~Mp3Encoder() {
  if (lame_) lame_close(lame_);
}

std::unique_ptr<Mp3Encoder> Mp3Encoder::Create(unsigned sampleRate, unsigned channels,
                                               unsigned kbitRate) {
  if (Mp3FrameSamples(sampleRate) == 0 || channels < 1 || channels > 2) return nullptr;
  std::unique_ptr<Mp3Encoder> e(new Mp3Encoder(sampleRate, channels, kbitRate));
  if (!e->Init()) return nullptr;
  return e;
}

bool Mp3Encoder::Init() {
  if (lame_) lame_close(lame_);
  partial_.clear();
  lame_ = lame_init();
  if (!lame_) return false;
  lame_set_errorf(lame_, Quiet);
  lame_set_debugf(lame_, Quiet);
  lame_set_msgf(lame_, Quiet);
  lame_set_in_samplerate(lame_, static_cast<int>(sampleRate_));
  lame_set_out_samplerate(lame_, static_cast<int>(sampleRate_));
  lame_set_num_channels(lame_, static_cast<int>(channels_));
  lame_set_mode(lame_, channels_ == 1 ? MONO : JOINT_STEREO);
  lame_set_VBR(lame_, vbr_off);
  lame_set_brate(lame_, static_cast<int>(kbitRate_));
  // Without the reservoir no frame borrows bits from another: a frame stands alone, and what
  // a conversion returns is always a run of whole frames.
  lame_set_disable_reservoir(lame_, 1);
  lame_set_bWriteVbrTag(lame_, 0);
  lame_set_write_id3tag_automatic(lame_, 0);
  lame_set_quality(lame_, 3);
  if (lame_init_params(lame_) < 0 || lame_get_brate(lame_) != static_cast<int>(kbitRate_) ||
      lame_get_out_samplerate(lame_) != static_cast<int>(sampleRate_)) {
    lame_close(lame_);
    lame_ = nullptr;
    return false;
  }
  frameSamples_ = static_cast<unsigned>(lame_get_framesize(lame_));
  maxFrameBytes_ = Mp3FrameBytes(sampleRate_, kbitRate_ * 1000) + 1;
  return true;
}

bool Mp3Encoder::Restart() {
  return Init();
}

unsigned Mp3Encoder::EncoderDelay() const {
  return lame_ ? static_cast<unsigned>(lame_get_encoder_delay(lame_)) : 0;
}

bool Mp3Encoder::Encode(const std::int16_t* samples, std::size_t frames,
                        std::vector<std::uint8_t>& out) {
  if (!lame_) return false;
  // The encoder's own advice for the worst case of one call.
  const std::size_t need = frames * 5 / 4 + 7200;
  if (scratch_.size() < need) scratch_.resize(need);
  int n;
  if (channels_ == 1) {
    n = lame_encode_buffer(lame_, samples, samples, static_cast<int>(frames), scratch_.data(),
                           static_cast<int>(scratch_.size()));
  } else {
    n = lame_encode_buffer_interleaved(lame_, const_cast<short*>(samples), static_cast<int>(frames),
                                       scratch_.data(), static_cast<int>(scratch_.size()));
  }
  if (n < 0) return false;
  TakeWholeFrames(scratch_.data(), static_cast<std::size_t>(n), out, false);
  return true;
}

bool Mp3Encoder::Flush(std::vector<std::uint8_t>& out) {
  if (!lame_) return false;
  if (scratch_.size() < 7200) scratch_.resize(7200);
  // Encodes the samples still waiting, padded with silence to whole frames, and ends the
  // stream; the encoder then starts a fresh one.
  int n = lame_encode_flush(lame_, scratch_.data(), static_cast<int>(scratch_.size()));
  if (n < 0) return false;
  TakeWholeFrames(scratch_.data(), static_cast<std::size_t>(n), out, true);
  return Init();
}

void Mp3Encoder::TakeWholeFrames(const std::uint8_t* data, std::size_t size,
                                 std::vector<std::uint8_t>& out, bool all) {
  partial_.insert(partial_.end(), data, data + size);
  std::size_t pos = 0;
  while (partial_.size() - pos >= 4) {
    std::size_t len = Mp3FrameLength(partial_.data() + pos);
    if (len == 0) {
      // Not a frame boundary: never hold back data that cannot be framed.
      pos = partial_.size();
      break;
    }
    if (partial_.size() - pos < len) break;
    pos += len;
  }
  if (all) pos = partial_.size();
  out.insert(out.end(), partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(pos));
  partial_.erase(partial_.begin(), partial_.begin() + static_cast<std::ptrdiff_t>(pos));
}

// ---------------------------------------------------------------------------------------------

Mp3Decoder::~Mp3Decoder() {
  if (handle_) mpg123_delete(handle_);
}

std::unique_ptr<Mp3Decoder> Mp3Decoder::Create(unsigned sampleRate, unsigned channels) {
  if (Mp3FrameSamples(sampleRate) == 0 || channels < 1 || channels > 2) return nullptr;
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
  std::unique_ptr<Mp3Decoder> d(new Mp3Decoder(sampleRate, channels));
  if (!d->Init()) return nullptr;
  return d;
}

bool Mp3Decoder::Init() {
  if (handle_) mpg123_delete(handle_);
  handle_ = mpg123_new(nullptr, nullptr);
  if (!handle_) return false;
  mpg123_param(handle_, MPG123_ADD_FLAGS,
               MPG123_QUIET | (channels_ == 1 ? MPG123_MONO_MIX : MPG123_FORCE_STEREO), 0);
  if (mpg123_format_none(handle_) != MPG123_OK ||
      mpg123_format(handle_, static_cast<long>(sampleRate_),
                    channels_ == 1 ? MPG123_MONO : MPG123_STEREO,
                    MPG123_ENC_SIGNED_16) != MPG123_OK ||
      mpg123_open_feed(handle_) != MPG123_OK) {
    mpg123_delete(handle_);
    handle_ = nullptr;
    return false;
  }
  return true;
}

bool Mp3Decoder::Restart() {
  return Init();
}

void Mp3Decoder::Decode(const std::uint8_t* data, std::size_t size,
                        std::vector<std::uint8_t>& pcm) {
  if (!handle_) return;
  if (size > 0 && mpg123_feed(handle_, data, size) != MPG123_OK) return;
  unsigned char buffer[8192];
  for (int guard = 0; guard < 100000; ++guard) {
    std::size_t done = 0;
    int rc = mpg123_read(handle_, buffer, sizeof buffer, &done);
    pcm.insert(pcm.end(), buffer, buffer + done);
    if (rc == MPG123_OK || rc == MPG123_NEW_FORMAT) continue;
    // MPG123_NEED_MORE ends the input; on an error the decoder resynchronises with the next
    // feed, so there is nothing to do here either.
    if (rc != MPG123_NEED_MORE && done > 0) continue;
    break;
  }
}

}  // namespace platform
