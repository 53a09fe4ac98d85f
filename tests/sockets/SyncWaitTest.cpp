// The synchronous wait: it ends on the flag, the time-out or the end request, sleeps in the
// event loop meanwhile, and keeps time right across the wrap of the 32-bit tick count.

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>

#include "SocketTestSupport.h"
#include "platform/MessageWindow.h"
#include "platform/Tick.h"
#include "sockets/WSocket.h"

using namespace sockettest;
using Clock = std::chrono::steady_clock;

namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A window whose timer calls what the test gives it, once.
struct OneShot {
  OneShot(unsigned ms, std::function<void()> f) : action(std::move(f)) {
    window.SetWndProc([this](unsigned msg, platform::WPARAM id, platform::LPARAM) {
      if (msg == platform::WM_TIMER) {
        window.KillTimer(id);
        action();
      }
      return platform::LRESULT{0};
    });
    window.SetTimer(1, ms);
  }
  std::function<void()> action;
  platform::MessageWindow window;
};

// Puts the tick count at `at` for the rest of the scope.
struct TickAt {
  explicit TickAt(std::uint32_t at) {
    platform::SetTickOffset(0);
    platform::SetTickOffset(at - platform::GetTickCount());
  }
  ~TickAt() { platform::SetTickOffset(0); }
};

}  // namespace

TEST(SyncWait, ADoneFlagReturnsAtOnceWithoutPumping) {
  TWSocket s;
  bool dispatched = false;
  platform::MessageWindow w([&](unsigned, platform::WPARAM, platform::LPARAM) {
    dispatched = true;
    return platform::LRESULT{0};
  });
  w.PostMessage(platform::WM_USER, 0, 0);
  bool done = true;
  EXPECT_EQ(s.WaitUntilReady(done), 0);
  EXPECT_FALSE(dispatched);
  platform::ProcessMessages();
  EXPECT_TRUE(dispatched);
}

TEST(SyncWait, EndsWhenAHandlerSetsTheFlag) {
  TWSocket s;
  EXPECT_EQ(s.Timeout(), 0);
  bool done = false;
  OneShot timer(250, [&] { done = true; });
  auto start = Clock::now();
  EXPECT_EQ(s.WaitUntilReady(done), 0);  // no time-out: only the flag ends it
  EXPECT_GE(MsSince(start), 200);
  EXPECT_TRUE(done);
}

TEST(SyncWait, TimesOutAsleep) {
  TWSocket s;
  s.SetTimeout(600);
  bool done = false;
  auto start = Clock::now();
  double cpu = ThreadCpuSeconds();
  EXPECT_EQ(s.WaitUntilReady(done), 12001);
  long long waited = MsSince(start);
  cpu = ThreadCpuSeconds() - cpu;
  EXPECT_GE(waited, 550);
  EXPECT_LT(waited, 10000);
  // A spinning wait burns the whole time; this one sleeps in the event loop.
  EXPECT_LT(cpu, 0.3) << "CPU seconds used by a 0.6 s wait";
}

TEST(SyncWait, CallAndWaitClearsTheFlagAndCallsTheProcedure) {
  TWSocket s;
  s.SetTimeout(150);
  bool done = true;
  EXPECT_EQ(s.CallAndWait(nullptr, done), 12001);  // nothing to call: it only waits
  EXPECT_FALSE(done);

  std::unique_ptr<OneShot> timer;
  int calls = 0;
  s.SetTimeout(10000);
  EXPECT_EQ(s.CallAndWait(
                [&] {
                  ++calls;
                  timer = std::make_unique<OneShot>(50, [&] { done = true; });
                },
                done),
            0);
  EXPECT_EQ(calls, 1);
}

TEST(SyncWait, CallAndWaitAroundAConnect) {
  RawListener target;
  TWSocket s;
  s.SetTimeout(15000);
  bool done = false;
  int error = -1;
  s.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t e) {
    error = e;
    done = true;
  };
  s.SetAddr("127.0.0.1");
  s.SetPort(target.PortText());
  EXPECT_EQ(s.CallAndWait([&] { s.Connect(); }, done), 0);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(s.State(), wsConnected);
  s.Close();
}

TEST(SyncWait, KeepsTimeAcrossTheTickWrap) {
  // Started 200 ms before the unsigned wrap and before the signed one: neither may end the wait
  // early, nor make it endless (the guard ends an endless one with the flag instead).
  for (std::uint32_t at : {0xFFFFFFFFu - 200u, 0x7FFFFFFFu - 200u}) {
    SCOPED_TRACE(at);
    TickAt tick(at);
    TWSocket s;
    s.SetTimeout(600);
    bool done = false;
    OneShot guard(8000, [&] { done = true; });
    auto start = Clock::now();
    EXPECT_EQ(s.WaitUntilReady(done), 12001);
    long long waited = MsSince(start);
    EXPECT_GE(waited, 550);
    EXPECT_LT(waited, 7000);
  }
}

TEST(SyncWait, WaitsInsideWaits) {
  TWSocket outer, inner;
  inner.SetTimeout(200);
  bool outerDone = false, innerDone = false;
  int innerResult = -1;
  OneShot timer(50, [&] {
    innerResult = inner.WaitUntilReady(innerDone);
    outerDone = true;
  });
  EXPECT_EQ(outer.WaitUntilReady(outerDone), 0);
  EXPECT_EQ(innerResult, 12001);
}

TEST(SyncWait, TheEndRequestEndsWaits) {
  TWSocket plain, own;
  own.SetMultiThreaded(true);
  bool done = false;
  platform::SetTerminated(true);
  EXPECT_EQ(plain.WaitUntilReady(done), 12001);
  EXPECT_EQ(own.WaitUntilReady(done), 12001);
  platform::SetTerminated(false);

  // The socket's own pump has seen the request: its later waits end at once, the other
  // socket's do not.
  {
    OneShot timer(100, [&] { done = true; });
    auto start = Clock::now();
    EXPECT_EQ(own.WaitUntilReady(done), 12001);
    EXPECT_LT(MsSince(start), 90);
    EXPECT_FALSE(done);
    EXPECT_EQ(plain.WaitUntilReady(done), 0);
  }
  // A request that comes while waiting.
  done = false;
  TWSocket later;
  OneShot timer(100, [] { platform::SetTerminated(true); });
  EXPECT_EQ(later.WaitUntilReady(done), 12001);
  platform::SetTerminated(false);
}
