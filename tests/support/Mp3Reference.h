#pragma once

// MPEG Layer-3 straight from the LAME and mpg123 libraries, for tests that check the programs'
// compressed audio independently of their own codec layer.

#include <lame/lame.h>
#include <mpg123.h>

#include <cstdint>
#include <vector>

namespace mp3ref {

// 16-bit mono samples at rate, constant bit rate kbps; the whole stream, flushed.
inline std::vector<std::uint8_t> Encode(const std::vector<std::int16_t>& pcm, int rate, int kbps) {
  std::vector<std::uint8_t> out;
  lame_t lame = lame_init();
  if (!lame) return out;
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_num_channels(lame, 1);
  lame_set_mode(lame, MONO);
  lame_set_brate(lame, kbps);
  lame_set_bWriteVbrTag(lame, 0);
  if (lame_init_params(lame) < 0) {
    lame_close(lame);
    return out;
  }
  std::vector<unsigned char> buf(pcm.size() * 5 / 4 + 7200);
  std::vector<short> samples(pcm.begin(), pcm.end());
  int n = lame_encode_buffer(lame, samples.data(), samples.data(), static_cast<int>(samples.size()),
                             buf.data(), static_cast<int>(buf.size()));
  if (n > 0) out.insert(out.end(), buf.begin(), buf.begin() + n);
  n = lame_encode_flush(lame, buf.data(), static_cast<int>(buf.size()));
  if (n > 0) out.insert(out.end(), buf.begin(), buf.begin() + n);
  lame_close(lame);
  return out;
}

// Decodes a stream of MPEG audio to 16-bit mono samples at rate.
inline std::vector<std::int16_t> Decode(const std::vector<std::uint8_t>& mp3, long rate) {
  std::vector<std::int16_t> pcm;
  mpg123_init();
  mpg123_handle* h = mpg123_new(nullptr, nullptr);
  if (!h) return pcm;
  mpg123_param(h, MPG123_FLAGS, MPG123_QUIET, 0);
  mpg123_format_none(h);
  mpg123_format(h, rate, MPG123_MONO, MPG123_ENC_SIGNED_16);
  if (mpg123_open_feed(h) == MPG123_OK) {
    unsigned char buf[16384];
    std::size_t done = 0;
    int rc = mpg123_decode(h, mp3.data(), mp3.size(), buf, sizeof buf, &done);
    for (;;) {
      for (std::size_t i = 0; i + 1 < done; i += 2)
        pcm.push_back(static_cast<std::int16_t>(buf[i] | (buf[i + 1] << 8)));
      if (rc == MPG123_ERR || rc == MPG123_NEED_MORE) break;
      rc = mpg123_decode(h, nullptr, 0, buf, sizeof buf, &done);
    }
  }
  mpg123_delete(h);
  return pcm;
}

}  // namespace mp3ref
