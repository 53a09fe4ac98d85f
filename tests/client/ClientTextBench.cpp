// Measures the receive window's and the chat window's appends, offscreen; run by hand, not by
// CTest:
//
//   QT_QPA_PLATFORM=offscreen TALVO_HOME=$(mktemp -d) ClientTextBench [LIMIT_SECONDS]
//
// Each case appends lines as the session hands them over (events, and so painting, after every
// 200, or after each line that alone fills a pass) and stops early after LIMIT_SECONDS (default
// 60). It prints the lines appended, the time taken, the time per line and the resident memory
// afterwards.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "client/ClientSession.h"
#include "client/RxWin.h"
#include "common/ChatWin.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "tests/support/BenchSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

void Measure(const char* name, int count, double limitSeconds,
             const std::function<void(int)>& append, int perPass = 200) {
  const double before = bench::ResidentMb(static_cast<int>(::getpid()));
  const Clock::time_point start = Clock::now();
  int done = 0;
  double seconds = 0;
  while (done < count && seconds < limitSeconds) {
    append(done++);
    if (done % perPass == 0) platform::ProcessMessages();
    seconds = std::chrono::duration<double>(Clock::now() - start).count();
  }
  platform::ProcessMessages();
  seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("%-34s %6d of %6d lines  %8.2f s  %8.3f ms a line  resident %6.1f MB (+%.1f)\n", name,
              done, count, seconds, 1000 * seconds / done,
              bench::ResidentMb(static_cast<int>(::getpid())),
              bench::ResidentMb(static_cast<int>(::getpid())) - before);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  platform::Application app(argc, argv);
  const double limit = argc > 1 ? std::atof(argv[1]) : 60;
  const std::string home = platform::ProgramFolder();
  TClientSession session(home + "/TalvoClient.INI", home + "/TalvoClient.log");
  {
    TRxWin rx(session);
    rx.show();
    Measure("receive window, 10,000 RXT lines", 10000, limit,
            [&rx](int i) { rx.AddText("cq de q1xyz " + std::to_string(i) + " "); });
  }
  {
    TChatWin chat;
    chat.show();
    std::string big;
    while (big.size() < 60000) big += "words of a long chat line ";
    Measure("chat, 1,000 lines of 60 KB", 1000, limit,
            [&chat, &big](int i) { chat.AddText(std::to_string(i) + "> " + big); });
  }
  {
    // A line of 60 KB fills a pass of the session alone: the window is painted after each.
    TChatWin chat;
    chat.show();
    std::string big;
    while (big.size() < 60000) big += "words of a long chat line ";
    Measure(
        "chat, 60 KB lines, one a pass", 1000, limit,
        [&chat, &big](int i) { chat.AddText(std::to_string(i) + "> " + big); }, 1);
  }
  {
    TChatWin chat;
    chat.show();
    Measure("chat, 10,000 short lines", 10000, limit,
            [&chat](int i) { chat.AddText("Q1XYZ> short line " + std::to_string(i)); });
  }
  return 0;
}
