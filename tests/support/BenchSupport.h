#pragma once

// What the audio benchmarks share: the test sound (a steady tone, then bursts after silence) and
// the CPU time and memory of a running process, read from /proc.

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

constexpr int kRate = 8000;
// The burst's onset, in samples after the middle of its second: not on a block boundary.
constexpr int kOnsetAt = 37;

// The onset of burst i, in samples from the start of the sound.
inline long BurstOnset(int steady, int i) {
  return static_cast<long>((steady + i) * kRate + kRate / 2 + kOnsetAt);
}

// steady seconds of a tone of hz, then bursts seconds each half quiet, half tone, then two
// seconds quiet. Quiet is digital silence, or with hiss a faint noise of at most 3 (what a live
// microphone gives: it passes a squelch of 0).
inline std::vector<std::int16_t> BurstSound(int steady, int bursts, double hz, bool hiss = false) {
  std::vector<std::int16_t> s(static_cast<std::size_t>((steady + bursts + 2) * kRate), 0);
  if (hiss) {
    std::mt19937 rng(2718);
    std::uniform_int_distribution<int> noise(-3, 3);
    for (auto& x : s) x = static_cast<std::int16_t>(noise(rng));
  }
  auto tone = [&](long from, long to) {
    for (long n = from; n < to && n < static_cast<long>(s.size()); ++n)
      s[static_cast<std::size_t>(n)] =
          static_cast<std::int16_t>(std::lround(8000 * std::sin(2 * M_PI * hz * n / kRate)));
  };
  tone(0, static_cast<long>(steady) * kRate);
  for (int i = 0; i < bursts; ++i)
    tone(BurstOnset(steady, i), static_cast<long>(steady + i + 1) * kRate);
  return s;
}

inline bool WriteSound(const std::string& path, const std::vector<std::int16_t>& s) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(s.data()), static_cast<std::streamsize>(s.size() * 2));
  return static_cast<bool>(f);
}

// User and system time of a process (or of one of its threads, task "/task/TID"), in seconds; -1
// when it is gone.
inline double ProcessCpu(int pid, const std::string& task = "") {
  std::ifstream f("/proc/" + std::to_string(pid) + task + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)), {});
  if (stat.rfind(')') == std::string::npos) return -1;
  std::istringstream rest(stat.substr(stat.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i)
    if (i == 14 || i == 15) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

inline double ResidentMb(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(f, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
  return 0;
}

}  // namespace bench
