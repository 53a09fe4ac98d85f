#pragma once

// Helpers of the audio tests: test signals, their analysis, files in TALVO_HOME and ALSA's
// file plugin standing in for a sound card.

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "tests/support/WaitFor.h"

namespace audiotest {

constexpr double kPi = 3.14159265358979323846;

inline std::string HomeFile(const std::string& name) {
  return std::string(std::getenv("TALVO_HOME")) + "/" + name;
}

// A tone whose amplitude grows with every sample, so that no stretch of it repeats: a capture
// or playback that drops, repeats or shifts samples cannot match it.
inline std::vector<std::int16_t> RisingTone(std::size_t count, double hz = 1000,
                                            unsigned rate = 8000) {
  std::vector<std::int16_t> s(count);
  for (std::size_t i = 0; i < count; ++i)
    s[i] = static_cast<std::int16_t>(
        std::lround(std::sin(2 * kPi * hz * i / rate) * (1000.0 + i % 20000)));
  return s;
}

inline std::vector<std::int16_t> Tone(std::size_t count, double hz, double amplitude,
                                      unsigned rate = 8000, std::size_t silenceBefore = 0) {
  std::vector<std::int16_t> s(count, 0);
  for (std::size_t i = silenceBefore; i < count; ++i)
    s[i] = static_cast<std::int16_t>(
        std::lround(amplitude * std::sin(2 * kPi * hz * (i - silenceBefore) / rate)));
  return s;
}

inline std::vector<std::uint8_t> Bytes(const std::vector<std::int16_t>& s) {
  std::vector<std::uint8_t> b(s.size() * 2);
  std::memcpy(b.data(), s.data(), b.size());
  return b;
}

// One capture block of count samples, every one of magnitude level (alternating sign), the
// first one replaced by spike when given.
inline std::vector<std::uint8_t> LevelBlock(std::size_t count, std::int32_t level,
                                            std::int32_t spike = 0) {
  std::vector<std::int16_t> s(count);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] = static_cast<std::int16_t>(i % 2 ? -level : level);
  if (spike) s[0] = static_cast<std::int16_t>(spike);
  return Bytes(s);
}

inline std::vector<std::int16_t> Samples(const std::vector<std::uint8_t>& b) {
  std::vector<std::int16_t> s(b.size() / 2);
  if (!s.empty()) std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The default capture device reads raw samples from infile; the default playback device
// writes what it plays to outfile. Neither has a clock: the platform paces them.
inline void UseCaptureFile(const std::string& infile) {
  const std::string def = "{ type file slave { pcm { type null } } file \"/dev/null\" infile \"" +
                          infile + "\" format raw }";
  setenv("TALVO_ALSA_PCM_IN", def.c_str(), 1);
}

inline void UsePlaybackFile(const std::string& outfile) {
  const std::string def =
      "{ type file slave { pcm { type null } } file \"" + outfile + "\" format raw }";
  setenv("TALVO_ALSA_PCM_OUT", def.c_str(), 1);
}

using testsupport::WaitFor;

inline void Pump(std::uint32_t ms) {
  WaitFor([] { return false; }, ms);
}

// Amplitude and phase of the sinusoid of frequency hz that best fits s[from, from+count), and
// the power of what remains: a signal-to-noise ratio in dB.
struct ToneFit {
  double amplitude;
  double snrDb;
};

inline ToneFit FitTone(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count,
                       double hz, unsigned rate = 8000) {
  double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0, yy = 0;
  for (std::size_t i = from; i < from + count; ++i) {
    const double a = std::sin(2 * kPi * hz * i / rate), b = std::cos(2 * kPi * hz * i / rate);
    const double y = s[i];
    ss += a * a;
    cc += b * b;
    sc += a * b;
    ys += y * a;
    yc += y * b;
    yy += y * y;
  }
  const double det = ss * cc - sc * sc;
  const double p = (ys * cc - yc * sc) / det, q = (yc * ss - ys * sc) / det;
  const double fitted = p * ys + q * yc;  // energy of the fitted part
  const double rest = std::max(yy - fitted, 1e-9);
  return {std::hypot(p, q), 10 * std::log10(fitted / rest)};
}

// The frequency in [lo, hi] (1 Hz steps) with the most energy in the stretch.
inline double StrongestFrequency(const std::vector<std::int16_t>& s, std::size_t from,
                                 std::size_t count, double lo, double hi, unsigned rate = 8000) {
  double best = lo, bestPower = -1;
  for (double f = lo; f <= hi; f += 1) {
    double re = 0, im = 0;
    for (std::size_t i = from; i < from + count; ++i) {
      re += s[i] * std::cos(2 * kPi * f * i / rate);
      im += s[i] * std::sin(2 * kPi * f * i / rate);
    }
    const double power = re * re + im * im;
    if (power > bestPower) {
      bestPower = power;
      best = f;
    }
  }
  return best;
}

// The first sample whose magnitude reaches level, or s.size().
inline std::size_t Onset(const std::vector<std::int16_t>& s, int level) {
  for (std::size_t i = 0; i < s.size(); ++i)
    if (std::abs(s[i]) >= level) return i;
  return s.size();
}

}  // namespace audiotest
