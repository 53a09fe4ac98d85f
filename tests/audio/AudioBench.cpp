// Measures the MPEG Layer-3 path as the programs use it: 16-bit PCM, 8000 samples per second,
// mono, to 16 kbit/s and back. Prints the codec's delay, the bytes per second and the CPU time
// per second of audio for encoding and decoding, for the server's 2000-byte blocks and the
// client's 128-byte microphone blocks.
#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "audio/ACMConvertor.h"
#include "platform/Mp3Codec.h"

namespace {

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// Speech-like test audio: a few tones wandering in pitch, with noise and a syllable envelope.
std::vector<std::int16_t> SpeechLike(std::size_t count) {
  std::mt19937 rng(12345);
  std::normal_distribution<double> noise(0, 600);
  std::vector<std::int16_t> s(count);
  double phase[3] = {0, 0, 0};
  for (std::size_t i = 0; i < count; ++i) {
    const double t = i / 8000.0;
    const double f0 = 140 + 40 * std::sin(2 * M_PI * 0.7 * t);
    const double envelope = 0.55 + 0.45 * std::sin(2 * M_PI * 3.1 * t);
    double v = 0;
    const double harmonics[3] = {1, 4.3, 11.7};
    const double gains[3] = {5000, 2500, 1200};
    for (int k = 0; k < 3; ++k) {
      phase[k] += 2 * M_PI * f0 * harmonics[k] / 8000.0;
      v += gains[k] * std::sin(phase[k]);
    }
    s[i] = static_cast<std::int16_t>(
        std::lround(std::clamp(envelope * v + noise(rng), -32000.0, 32000.0)));
  }
  return s;
}

struct Result {
  double encodeCpu, decodeCpu, bytesPerSecond;
  std::vector<std::int16_t> decoded;
};

Result Run(const std::vector<std::int16_t>& pcm, std::uint32_t block) {
  TACMConvertor enc, dec;
  enc.SetFormatIn(PcmWaveFormat());
  enc.SetFormatOut(Mp3WaveFormat());
  enc.SetInputBufferSize(block);
  enc.SetActive(true);
  dec.SetFormatIn(Mp3WaveFormat());
  dec.SetFormatOut(PcmWaveFormat());
  dec.SetInputBufferSize(2000);
  dec.SetActive(true);

  const auto* bytes = reinterpret_cast<const std::uint8_t*>(pcm.data());
  const std::size_t total = pcm.size() * 2;
  std::vector<std::uint8_t> mp3;
  double t0 = CpuSeconds();
  for (std::size_t at = 0; at + block <= total; at += block) {
    const std::int32_t n = enc.Convert(bytes + at, block);
    mp3.insert(mp3.end(), enc.BufferOut(), enc.BufferOut() + n);
  }
  const double encodeCpu = CpuSeconds() - t0;

  std::vector<std::uint8_t> out;
  t0 = CpuSeconds();
  for (std::size_t at = 0; at < mp3.size(); at += 2000) {
    const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(2000, mp3.size() - at));
    const std::int32_t got = dec.Convert(mp3.data() + at, n);
    out.insert(out.end(), dec.BufferOut(), dec.BufferOut() + got);
  }
  const double decodeCpu = CpuSeconds() - t0;
  std::vector<std::int16_t> decoded(out.size() / 2);
  std::memcpy(decoded.data(), out.data(), decoded.size() * 2);
  const double seconds = pcm.size() / 8000.0;
  return {encodeCpu / seconds, decodeCpu / seconds, mp3.size() / seconds, decoded};
}

// The lag (in samples) at which the decoded audio best matches the original.
std::size_t Delay(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
  std::size_t best = 0;
  double bestScore = -1e300;
  const std::size_t span = 40000;
  for (std::size_t lag = 0; lag < 4000; ++lag) {
    double dot = 0, energy = 1e-9;
    for (std::size_t i = 8000; i < 8000 + span && i + lag < b.size(); ++i) {
      dot += static_cast<double>(a[i]) * b[i + lag];
      energy += static_cast<double>(b[i + lag]) * b[i + lag];
    }
    const double score = dot / std::sqrt(energy);
    if (score > bestScore) {
      bestScore = score;
      best = lag;
    }
  }
  return best;
}

// Signal-to-noise ratio in dB of b against a, b shifted by lag.
double SnrDb(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
             std::size_t lag) {
  double signal = 0, noise = 0;
  for (std::size_t i = 8000; i + lag < b.size() && i < a.size(); ++i) {
    const double d = static_cast<double>(b[i + lag]) - a[i];
    signal += static_cast<double>(a[i]) * a[i];
    noise += d * d;
  }
  return 10 * std::log10(signal / std::max(noise, 1e-9));
}

}  // namespace

int main() {
  const auto pcm = SpeechLike(8000 * 120);  // two minutes
  const auto lame = platform::Mp3Encoder::Create(8000, 1, 16);
  std::printf("encoder delay reported by the encoder: %u samples\n",
              lame ? lame->EncoderDelay() : 0);
  for (std::uint32_t block : {2000u, 128u}) {
    const Result r = Run(pcm, block);
    const std::size_t delay = Delay(pcm, r.decoded);
    std::printf(
        "blocks of %4u bytes: %.1f bytes/s, encode %.2f ms CPU per s of audio, decode %.2f ms "
        "CPU per s, encode+decode delay %zu samples (%.1f ms), SNR %.1f dB\n",
        block, r.bytesPerSecond, r.encodeCpu * 1000, r.decodeCpu * 1000, delay, delay / 8.0,
        SnrDb(pcm, r.decoded, delay));
  }
  return 0;
}
