// Measures the client's audio both ways against the running server; run by
// scripts/bench-client-audio.sh (which explains the method), not by CTest.
//
//   ClientAudioBench --sound DIR STEADY BURSTS
//       writes DIR/server-in.raw (the radio's receive audio, 1 kHz) and DIR/client-in.raw (the
//       operator's microphone, 700 Hz, with a faint hiss where it is quiet)
//   ClientAudioBench --client DIR IDLE SECONDS
//       the client's main window, offscreen, with DIR/TalvoClient.INI: connects to "Local K2",
//       stays IDLE seconds without audio, turns the AF knob to 3 and presses push-to-talk in the
//       microphone window, streams SECONDS both ways, then releases push-to-talk, turns the knob
//       to 0 and disconnects
//   ClientAudioBench --watch DIR SERVER_PID CLIENT_PID STEADY BURSTS
//       follows the four sound files and both processes until the client ends, then reports
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "client/ClientAudio.h"
#include "client/K2FrontPanel.h"
#include "client/SSBPanel.h"
#include "controls/KelmKnob.h"
#include "controls/LEDButton.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"
#include "tests/support/BenchSupport.h"
#include "tests/support/WaitFor.h"

namespace {

using bench::kRate;
using Clock = std::chrono::steady_clock;

// ---- the client ----

int RunClient(int argc, char** argv, const std::string& dir, int idle, int seconds) {
  platform::Application app(argc, argv);
  TK2FrontPanel panel(dir + "/TalvoClient.INI", dir + "/TalvoClient.log", nullptr, false);
  panel.show();
  TClientSession& session = panel.Session();
  bool live = false;
  for (int attempt = 0; !live && attempt < 40; ++attempt) {
    if (attempt > 0) platform::WaitMessages(250);  // the server may still be starting
    bool ended = false;
    session.ConnectTo("Local K2", [&](bool result) {
      ended = true;
      live = result;
    });
    testsupport::WaitFor([&] { return ended; }, 60000);
  }
  if (!live || !testsupport::WaitFor([&] { return session.DisplayLive(); }, 20000)) {
    std::fprintf(stderr, "the client could not connect\n");
    return 1;
  }
  platform::WaitMessages(static_cast<std::uint32_t>(idle * 1000));

  panel.AFGainKnob()->SetPosition(3);
  TSSBPanel& mic = *panel.SSBPanel();
  mic.show();
  QTest::mouseClick(mic.PTTButton(), Qt::LeftButton);
  if (!session.AudioOn() || !panel.Audio().Transmitting()) {
    std::fprintf(stderr, "receive audio or push-to-talk did not start\n");
    return 1;
  }
  platform::WaitMessages(static_cast<std::uint32_t>(seconds * 1000));

  // Both sound cards drop (and so write out) what they hold only after a quiet second each, so
  // that the watcher can tell how much the file plugin held back.
  QTest::mouseClick(mic.PTTButton(), Qt::LeftButton);
  platform::WaitMessages(1500);
  panel.AFGainKnob()->SetPosition(0);
  platform::WaitMessages(1000);
  bool ended = false;
  session.Disconnect([&] { ended = true; });
  testsupport::WaitFor([&] { return ended; }, 20000);
  platform::WaitMessages(500);
  return 0;
}

// ---- the watcher ----

double Now(Clock::time_point origin) {
  return std::chrono::duration<double>(Clock::now() - origin).count();
}

struct Point {
  double t;          // seconds since the watch began
  long long frames;  // samples read from an input file, or in an output file
};

// The position of a process's descriptor on a file: the samples its capture has read.
class InputWatch {
 public:
  InputWatch(int pid, std::string path) : pid_(pid), path_(std::move(path)) {}

  // find: look for the descriptor when there is none yet (not on every poll: it is dearer).
  void Poll(double t, bool find) {
    if (fd_ < 0 && (!find || !Find())) return;
    std::ifstream f("/proc/" + std::to_string(pid_) + "/fdinfo/" + std::to_string(fd_));
    std::string key;
    long long pos = -1;
    while (f >> key)
      if (key == "pos:" && f >> pos) break;
    if (pos < 0) {
      fd_ = -1;  // closed: the capture ended
      return;
    }
    if (points.empty() || points.back().frames != pos / 2) points.push_back({t, pos / 2});
  }

  // The time sample n reached the sound card: the period that holds it was read at the first
  // point past it, and it ended then.
  double TimeOf(long n) const {
    for (const Point& p : points)
      if (p.frames > n) return p.t - static_cast<double>(p.frames - n) / kRate;
    return -1;
  }

  std::vector<Point> points;

 private:
  bool Find() {
    const std::string fds = "/proc/" + std::to_string(pid_) + "/fd";
    DIR* d = opendir(fds.c_str());
    if (!d) return false;
    while (dirent* e = readdir(d)) {
      char target[4096];
      const std::string link = fds + "/" + e->d_name;
      const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
      if (n <= 0) continue;
      target[n] = 0;
      if (path_ == target) fd_ = std::atoi(e->d_name);
    }
    closedir(d);
    return fd_ >= 0;
  }

  int pid_;
  std::string path_;
  int fd_ = -1;
};

// The length of an output file: what a playback has written, less what ALSA's file plugin still
// holds (one buffer of the sound card, written out as more audio follows, or when the device
// drops it at close).
class OutputWatch {
 public:
  explicit OutputWatch(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  void Poll(double t) {
    struct stat st;
    if (stat(path_.c_str(), &st) != 0) return;
    const long long frames = st.st_size / 2;
    if (points.empty() || points.back().frames != frames) points.push_back({t, frames});
  }

  // The last growth, after a second without any, is the drop at close: the held-back frames.
  long long HeldBack() const {
    const std::size_t n = points.size();
    if (n < 3 || points[n - 1].t - points[n - 2].t < 0.8) return -1;
    return points[n - 1].frames - points[n - 2].frames;
  }

  // When each sample is heard (NaN before the first growth, whose writing was not seen): the
  // device plays 8000 samples a second, each no earlier than it was written and right after the
  // one before while that is still playing. The frames written at a point are the file's length
  // there plus the frames held back; the drop at close (the last point) writes nothing new.
  std::vector<double> HeardTimes(long long held) const {
    std::vector<double> at;
    double end = 0;
    for (std::size_t k = 0; k + 1 < points.size(); ++k) {
      if (points[k].frames == 0) continue;
      const auto written = static_cast<std::size_t>(points[k].frames + held);
      if (at.empty()) {
        at.assign(written, std::nan(""));
        end = points[k].t;
        continue;
      }
      if (written <= at.size()) continue;
      const double start = std::max(points[k].t, end);
      const std::size_t first = at.size();
      for (std::size_t m = first; m < written; ++m)
        at.push_back(start + static_cast<double>(m - first) / kRate);
      end = start + static_cast<double>(written - first) / kRate;
    }
    return at;
  }

  std::vector<Point> points;

 private:
  std::string path_;
};

struct Usage {
  double t, clientCpu, clientMain, serverCpu, clientMb;
};

// The CPU time of a process's main thread alone (its task of the same id).
double MainThreadCpu(int pid) {
  return bench::ProcessCpu(pid, "/task/" + std::to_string(pid));
}

bool Alive(int pid) {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(f)), {});
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

// CPU time over [from, to] as a share of one core, from the samples nearest inside it.
double CpuShare(const std::vector<Usage>& u, double from, double to, double Usage::*cpu) {
  const Usage* a = nullptr;
  const Usage* b = nullptr;
  for (const Usage& s : u) {
    if (!a && s.t >= from) a = &s;
    if (s.t <= to) b = &s;
  }
  if (!a || !b || b->t <= a->t) return std::nan("");
  return (b->*cpu - a->*cpu) * 100 / (b->t - a->t);
}

// Where a tone starts: the first sample of 2000 or more after at least 50 ms below that (the
// codec's pre-echo stays below it).
std::vector<long> Onsets(const std::vector<std::int16_t>& s) {
  std::vector<long> found;
  int quiet = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (std::abs(static_cast<int>(s[i])) < 2000) {
      ++quiet;
      continue;
    }
    if (quiet >= 400) found.push_back(static_cast<long>(i));
    quiet = 0;
  }
  return found;
}

std::vector<std::int16_t> ReadSound(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(f)), {});
  std::vector<std::int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// The delays from each burst's onset at the input to its onset heard at the output.
std::vector<double> BurstDelays(const InputWatch& in, const OutputWatch& out, const char* what,
                                int steady, int bursts) {
  long long held = out.HeldBack();
  if (held <= 0) {
    std::printf("  %s: the held-back frames were not seen; taken as 3200\n", what);
    held = 3200;
  }
  const std::vector<double> heard = out.HeardTimes(held);
  const std::vector<long> onsets = Onsets(ReadSound(out.Path()));
  std::vector<double> delays;
  for (int i = 0; i < bursts; ++i) {
    const double sent = in.TimeOf(bench::BurstOnset(steady, i));
    if (sent < 0) continue;
    for (long m : onsets) {
      if (static_cast<std::size_t>(m) >= heard.size() || std::isnan(heard[m])) continue;
      if (heard[m] > sent - 0.1 && heard[m] < sent + 1.0) {
        delays.push_back(heard[m] - sent);
        break;
      }
    }
  }
  std::printf("  %s: the file plugin held back %lld frames (%.0f ms)\n", what, held,
              held * 1000.0 / kRate);
  return delays;
}

void Report(const char* what, std::vector<double> v, int bursts) {
  if (v.empty()) {
    std::printf("  %-44s none measured\n", what);
    return;
  }
  std::sort(v.begin(), v.end());
  std::printf("  %-44s median %4.0f ms, min %4.0f, max %4.0f (%zu of %d bursts)\n", what,
              v[v.size() / 2] * 1000, v.front() * 1000, v.back() * 1000, v.size(), bursts);
}

int Watch(const std::string& dir, int server, int client, int steady, int bursts) {
  const Clock::time_point origin = Clock::now();
  InputWatch serverIn(server, dir + "/server-in.raw"), clientIn(client, dir + "/client-in.raw");
  OutputWatch clientOut(dir + "/client-out.raw"), serverOut(dir + "/server-out.raw");
  std::vector<Usage> usage;
  const timespec ms{0, 1000000};
  for (int tick = 0;; ++tick) {
    const double t = Now(origin);
    serverIn.Poll(t, tick % 50 == 0);
    clientIn.Poll(t, tick % 50 == 0);
    clientOut.Poll(t);
    serverOut.Poll(t);
    if (tick % 100 == 0) {
      if (!Alive(client)) break;
      usage.push_back({t, bench::ProcessCpu(client), MainThreadCpu(client),
                       bench::ProcessCpu(server), bench::ResidentMb(client)});
    }
    nanosleep(&ms, nullptr);
  }

  // The steady tone both ways: from a second after the later capture began to half a second
  // before the earlier one's tone ends; idle: the six seconds before receive audio began.
  const double rxFrom = serverIn.TimeOf(0), txFrom = clientIn.TimeOf(0);
  if (rxFrom < 0 || txFrom < 0) {
    std::fprintf(stderr, "the captures were not seen (receive %s, microphone %s)\n",
                 rxFrom < 0 ? "no" : "yes", txFrom < 0 ? "no" : "yes");
    return 1;
  }
  const double from = std::max(rxFrom, txFrom) + 1, to = std::min(rxFrom, txFrom) + steady - 0.5;
  double mb = 0;
  for (const Usage& u : usage)
    if (u.t <= to) mb = u.clientMb;
  std::printf("steady tones both ways, %.1f s:\n", to - from);
  std::printf("  client CPU                %6.2f %% of one core\n",
              CpuShare(usage, from, to, &Usage::clientCpu));
  std::printf("    its main thread         %6.2f %% (lines, microphone encoder, windows)\n",
              CpuShare(usage, from, to, &Usage::clientMain));
  std::printf("  client CPU before audio   %6.2f %% (connected, panel live)\n",
              CpuShare(usage, rxFrom - 6.2, rxFrom - 0.2, &Usage::clientCpu));
  std::printf("  client resident           %6.1f MB\n", mb);
  std::printf("  server CPU                %6.2f %% of one core\n",
              CpuShare(usage, from, to, &Usage::serverCpu));
  std::printf("bursts after quiet, sound card to sound card:\n");
  const std::vector<double> rx = BurstDelays(serverIn, clientOut, "receive", steady, bursts);
  const std::vector<double> tx = BurstDelays(clientIn, serverOut, "transmit", steady, bursts);
  Report("receive (server's capture to client's playback)", rx, bursts);
  Report("transmit (microphone to server's playback)", tx, bursts);
  return rx.empty() || tx.empty() ? 1 : 0;
}

int WriteSounds(const std::string& dir, int steady, int bursts) {
  const bool ok =
      bench::WriteSound(dir + "/server-in.raw", bench::BurstSound(steady, bursts, 1000)) &&
      bench::WriteSound(dir + "/client-in.raw", bench::BurstSound(steady, bursts, 700, true));
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 5 && mode == "--sound")
    return WriteSounds(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  if (argc == 5 && mode == "--client")
    return RunClient(argc, argv, argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  if (argc == 7 && mode == "--watch")
    return Watch(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                 std::atoi(argv[6]));
  std::fprintf(stderr,
               "usage: ClientAudioBench --sound DIR STEADY BURSTS | --client DIR IDLE SECONDS |\n"
               "       --watch DIR SERVER_PID CLIENT_PID STEADY BURSTS\n");
  return 2;
}
