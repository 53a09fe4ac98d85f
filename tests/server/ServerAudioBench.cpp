// Measures the running server's receive audio from a client's seat; run by scripts/bench-audio.sh,
// not by CTest.
//
//   ServerAudioBench --capture FILE STEADY BURSTS   writes the sound card's input: STEADY seconds
//       of a 1 kHz tone, then BURSTS seconds each half silence, half tone
//   ServerAudioBench PORT PID STEADY BURSTS          logs in as demo/demo, sends "AU ON" and
//       reports the server's CPU and memory and the wire bytes over the steady tone, and the
//       delays of the bursts
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/AudioFrame.h"
#include "sockets/MD5.h"
#include "tests/support/BenchSupport.h"
#include "tests/support/LineClient.h"
#include "tests/support/Mp3Reference.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::kRate;
using bench::ProcessCpu;
using bench::ResidentMb;
constexpr int kBlock = 1000;  // samples per captured block

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

long Onset(int steady, int i) {
  return bench::BurstOnset(steady, i);
}

int WriteCapture(const char* path, int steady, int bursts) {
  return bench::WriteSound(path, bench::BurstSound(steady, bursts, 1000)) ? 0 : 1;
}

struct Line {
  Clock::time_point at;
  std::string frame;
};

int Run(int port, int pid, int steady, int bursts) {
  LineClient client;
  if (!client.Connect(port, 10000)) {
    std::fprintf(stderr, "no server on port %d\n", port);
    return 1;
  }
  const std::string banner = client.ReadLine(10000);
  client.SendLine("AUTH demo " + MD5DigestHex(banner + "demo"));
  if (client.WaitFor("PRIV", 15000).rfind("PRIV", 0) != 0) {
    std::fprintf(stderr, "login failed\n");
    return 1;
  }
  const Clock::time_point on = Clock::now();
  client.SendLine("AU ON");
  const Clock::time_point steadyFrom = on + std::chrono::seconds(1);
  const Clock::time_point steadyTo = on + std::chrono::milliseconds(steady * 1000 - 500);
  const Clock::time_point end = on + std::chrono::seconds(steady + bursts + 1);
  double cpuFrom = -1, cpuTo = -1, rss = 0;
  std::vector<Line> lines;
  while (Clock::now() < end) {
    const Clock::time_point now = Clock::now();
    if (cpuFrom < 0 && now >= steadyFrom) cpuFrom = ProcessCpu(pid);
    if (cpuTo < 0 && now >= steadyTo) {
      cpuTo = ProcessCpu(pid);
      rss = ResidentMb(pid);
    }
    pollfd ready{client.Fd(), POLLIN, 0};
    ::poll(&ready, 1, 20);
    std::string line = client.ReadLine(5);
    if (line == "<closed>") break;
    if (line.rfind("AU ", 0) == 0) lines.push_back({Clock::now(), line.substr(3)});
  }
  client.SendLine("AU OFF");
  client.SendLine("BYE");

  // The steady tone: bytes on the wire and in the payloads.
  std::size_t wire = 0, payload = 0, count = 0;
  for (const Line& l : lines) {
    if (l.at < steadyFrom || l.at >= steadyTo) continue;
    std::vector<std::uint8_t> bytes(l.frame.size());
    payload += static_cast<std::size_t>(std::max(DecodeAudioFrame(l.frame, bytes.data()), 0));
    wire += 3 + l.frame.size() + 2;
    ++count;
  }
  const double span = Seconds(steadyTo - steadyFrom);
  std::printf("steady 1 kHz tone, %.1f s of audio:\n", span);
  std::printf("  server CPU          %6.2f %% of one core\n", (cpuTo - cpuFrom) * 100 / span);
  std::printf("  server resident     %6.1f MB\n", rss);
  std::printf("  AU lines            %6.2f per second\n", count / span);
  std::printf("  payload             %6.0f bytes per second\n", payload / span);
  std::printf("  on the wire         %6.0f bytes per second\n", wire / span);

  // The bursts: the first line after each gap carries the block that holds the onset; the line
  // whose decoded audio first shows the tone tells the delay of the sound itself. Times count
  // from the moment "AU ON" was sent, so they include the opening of the sound card.
  std::vector<double> afterBlock, soundDelay;
  std::vector<std::uint8_t> stream;
  std::size_t decodedBefore = 0;
  int quietRun = 0, burst = 0;
  bool inGap = false;
  Clock::time_point previous = on;
  for (const Line& l : lines) {
    const double t = Seconds(l.at - on);
    if (t < steady) {
      previous = l.at;
      continue;
    }
    if (burst >= bursts) break;
    const long onset = Onset(steady, burst);
    const double blockEnd = static_cast<double>(onset / kBlock + 1) * kBlock / kRate;
    if (Seconds(l.at - previous) > 0.3 && t > static_cast<double>(onset) / kRate) {
      afterBlock.push_back(t - blockEnd);
      inGap = true;
    }
    previous = l.at;
    std::vector<std::uint8_t> bytes(l.frame.size());
    const std::int32_t n = DecodeAudioFrame(l.frame, bytes.data());
    stream.insert(stream.end(), bytes.begin(), bytes.begin() + std::max(n, 0));
    const std::vector<std::int16_t> pcm = mp3ref::Decode(stream, kRate);
    for (std::size_t i = decodedBefore; i < pcm.size(); ++i) {
      if (std::abs(pcm[i]) < 500) {
        ++quietRun;
        continue;
      }
      if (inGap && quietRun >= 400 && std::abs(pcm[i]) >= 2000) {
        soundDelay.push_back(t - static_cast<double>(onset) / kRate);
        inGap = false;
        ++burst;
        break;
      }
      quietRun = 0;
    }
    decodedBefore = pcm.size();
  }
  auto report = [](const char* what, std::vector<double> v) {
    if (v.empty()) {
      std::printf("  %-40s none measured\n", what);
      return;
    }
    std::sort(v.begin(), v.end());
    std::printf("  %-40s median %5.0f ms, max %5.0f ms (%zu bursts)\n", what,
                v[v.size() / 2] * 1000, v.back() * 1000, v.size());
  };
  std::printf("bursts after silence (block 125 ms):\n");
  report("first line after the block's end", afterBlock);
  report("tone audible after its onset", soundDelay);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--capture")
    return WriteCapture(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  if (argc == 5)
    return Run(std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
  std::fprintf(stderr,
               "usage: ServerAudioBench --capture FILE STEADY BURSTS | PORT PID STEADY BURSTS\n");
  return 2;
}
