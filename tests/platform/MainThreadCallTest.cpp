#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "common/Utils.h"
#include "platform/MainThreadCall.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "tests/support/WaitFor.h"

using platform::MainThreadCall;

namespace {
bool PumpUntil(const std::function<bool()>& pred, std::uint32_t ms = 5000) {
  return testsupport::WaitFor(pred, ms);
}
}  // namespace

TEST(MainThreadCall, WorkerCallsRunOnTheMainThreadInOrderInsideDelay) {
  MainThreadCall calls;
  const auto main = std::this_thread::get_id();
  std::vector<int> order;
  std::atomic<bool> allOnMain{true};
  std::atomic<int> returned{0};
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      bool ran = calls.Run([&, i] {
        if (std::this_thread::get_id() != main) allOnMain = false;
        order.push_back(i);
      });
      // Blocking: the call has run when Run returns.
      if (ran && static_cast<int>(order.size()) == i + 1) ++returned;
    }
  });
  Delay(100);
  EXPECT_TRUE(PumpUntil([&] { return returned == 20; }));
  worker.join();
  EXPECT_TRUE(allOnMain);
  ASSERT_EQ(order.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
}

TEST(MainThreadCall, OnTheMainThreadACallRunsAtOnce) {
  MainThreadCall calls;
  bool ran = false;
  EXPECT_TRUE(calls.Run([&] { ran = true; }));
  EXPECT_TRUE(ran);
  calls.Cancel();
  EXPECT_FALSE(calls.Run([&] { ran = false; }));
  EXPECT_TRUE(ran);
}

TEST(MainThreadCall, CancelReleasesAWaitingWorkerWithoutRunningItsCall) {
  auto calls = std::make_unique<MainThreadCall>();
  std::atomic<int> result{-1};
  bool ran = false;
  std::thread worker([&] { result = calls->Run([&] { ran = true; }) ? 1 : 0; });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  calls->Cancel();
  worker.join();
  EXPECT_EQ(result, 0);
  calls.reset();
  platform::ProcessMessages();  // the posted wake-up finds nothing to run
  EXPECT_FALSE(ran);
}

TEST(MainThreadCall, ServeUntilRunsOnlyTheseCallsAndStopsWhenDone) {
  MainThreadCall calls;
  std::atomic<bool> finished{false};
  int served = 0;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) calls.Run([&] { ++served; });
    finished = true;
    calls.Notify();
  });
  const std::uint32_t start = platform::GetTickCount();
  EXPECT_TRUE(calls.ServeUntil([&] { return finished.load(); }, 5000));
  EXPECT_LT(platform::GetTickCount() - start, 4000u);
  EXPECT_EQ(served, 3);
  worker.join();
  // Time is up with done() still false.
  EXPECT_FALSE(calls.ServeUntil([] { return false; }, 30));
  platform::ProcessMessages();
}

TEST(MainThreadCall, ACallMayDestroyItsOwner) {
  auto* calls = new MainThreadCall;
  std::atomic<bool> back{false};
  std::thread worker([&] {
    calls->Run([&] { delete calls; });
    back = true;
  });
  EXPECT_TRUE(PumpUntil([&] { return back.load(); }));
  worker.join();
}
