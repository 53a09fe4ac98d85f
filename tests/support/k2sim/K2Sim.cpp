// k2sim: a simulated K2 on a pseudo-terminal. Prints the terminal's path as the first line of
// standard output and answers on it until it is interrupted or terminated.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/k2sim/K2Simulator.h"

namespace {

const char kUsage[] =
    "usage: k2sim [options]\n"
    "  --link PATH     make PATH a symbolic link to the terminal (removed at exit)\n"
    "  --freq HZ       VFO A frequency at start (default 7025000)\n"
    "  --mode N        mode at start: 1 LSB, 2 USB, 3 CW, 6 RTTY, 7 CW-R, 9 RTTY-R\n"
    "  --ai N          auto-info mode at start, 0..3 (default 0, as at power-on)\n"
    "  --extended      start in the extended command mode (as after K22;)\n"
    "  --report-commands  auto-info also reports changes made by set commands\n"
    "  --kpa100        the 100 W amplifier is fitted (PC high range)\n"
    "  --no-pacing     write replies at once instead of at 4800 baud\n"
    "  --silent        start switched off: nothing is answered\n"
    "  --verbose       print every command received on standard error\n";

bool ParseInt(const char* text, long long low, long long high, long long& value) {
  char* end = nullptr;
  value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

int main(int argc, char** argv) {
  k2sim::K2State initial;
  std::string link;
  bool pacing = true, silent = false, verbose = false, reportCommands = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "k2sim: %s needs a value\n%s", arg.c_str(), kUsage);
        std::exit(2);
      }
      return argv[++i];
    };
    long long n = 0;
    if (arg == "--link") {
      link = value();
    } else if (arg == "--freq") {
      if (!ParseInt(value(), 500000, 30000000, n)) {
        std::fprintf(stderr, "k2sim: --freq takes hertz from 500000 to 30000000\n");
        return 2;
      }
      initial.vfoA = n;
    } else if (arg == "--mode") {
      if (!ParseInt(value(), 1, 9, n) || n == 4 || n == 5 || n == 8) {
        std::fprintf(stderr, "k2sim: --mode takes 1, 2, 3, 6, 7 or 9\n");
        return 2;
      }
      initial.mode = static_cast<int>(n);
    } else if (arg == "--ai") {
      if (!ParseInt(value(), 0, 3, n)) {
        std::fprintf(stderr, "k2sim: --ai takes 0 to 3\n");
        return 2;
      }
      initial.autoInfo = static_cast<int>(n);
    } else if (arg == "--extended") {
      initial.k2Mode = 2;
    } else if (arg == "--report-commands") {
      reportCommands = true;
    } else if (arg == "--kpa100") {
      initial.highRangeInstalled = true;
    } else if (arg == "--no-pacing") {
      pacing = false;
    } else if (arg == "--silent") {
      silent = true;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "k2sim: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }

  // The simulator's thread inherits this mask, so the signals reach sigwait below only.
  sigset_t signals;
  sigemptyset(&signals);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  k2sim::K2Simulator sim(initial);
  sim.SetPacing(pacing);
  sim.SetReportCommandChanges(reportCommands);
  sim.SetSilent(silent);
  if (verbose)
    sim.OnCommand = [](k2sim::K2Simulator&, const std::string& command) {
      std::fprintf(stderr, "k2sim: %s\n", command.c_str());
    };
  try {
    sim.Start();
  } catch (const k2sim::K2SimError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  std::string path = sim.SlavePath();
  if (!link.empty()) {
    struct stat st;
    if (::lstat(link.c_str(), &st) == 0) {
      if (!S_ISLNK(st.st_mode)) {
        std::fprintf(stderr, "k2sim: %s exists and is not a symbolic link; not replaced\n",
                     link.c_str());
        return 1;
      }
      ::unlink(link.c_str());
    }
    if (::symlink(path.c_str(), link.c_str()) != 0) {
      std::fprintf(stderr, "k2sim: cannot link %s to %s: %s\n", link.c_str(), path.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  std::printf("%s\n", path.c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);

  sim.Stop();
  if (!link.empty()) {
    char target[4096];
    ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n >= 0 && std::string(target, static_cast<std::size_t>(n)) == path) ::unlink(link.c_str());
  }
  return 0;
}
