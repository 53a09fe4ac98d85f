#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "desktop/SimpleTimer.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"
#include "tests/support/WaitFor.h"

namespace {

using platform::GetTickCount;

using testsupport::WaitFor;

TEST(SimpleTimer, StartsStoppedAndRefusesAZeroInterval) {
  int ticks = 0;
  TSimpleTimer timer;
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_FALSE(timer.AutoDisable());
  timer.SetOnTimer([&](TSimpleTimer*) { ++ticks; });
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Start());
  EXPECT_FALSE(timer.Enabled());
  EXPECT_FALSE(timer.Stop(true));
  platform::WaitMessages(50);
  EXPECT_EQ(ticks, 0);
}

TEST(SimpleTimer, TicksAtItsIntervalWithItselfAsSender) {
  std::vector<std::uint32_t> at;
  TSimpleTimer* seen = nullptr;
  TSimpleTimer timer(40, [&](TSimpleTimer* sender) {
    seen = sender;
    at.push_back(GetTickCount());
  });
  EXPECT_FALSE(timer.Enabled());
  std::uint32_t start = GetTickCount();
  ASSERT_TRUE(timer.Start());
  EXPECT_TRUE(timer.Enabled());
  ASSERT_TRUE(WaitFor([&] { return at.size() >= 4; }, 5000));
  EXPECT_EQ(seen, &timer);
  EXPECT_GE(at[0] - start, 35u);
  // Four ticks take at least three periods after the first.
  EXPECT_GE(at[3] - at[0], 3 * 35u);
  timer.SetEnabled(false);
  std::size_t stopped = at.size();
  platform::WaitMessages(120);
  EXPECT_EQ(at.size(), stopped);
}

TEST(SimpleTimer, ANewIntervalRestartsTheFullPeriod) {
  std::vector<std::uint32_t> at;
  TSimpleTimer timer(300, [&](TSimpleTimer*) { at.push_back(GetTickCount()); });
  timer.SetEnabled(true);
  platform::WaitMessages(200);
  ASSERT_TRUE(at.empty());
  std::uint32_t changed = GetTickCount();
  timer.SetInterval(450);
  EXPECT_TRUE(timer.Enabled());
  ASSERT_TRUE(WaitFor([&] { return !at.empty(); }, 5000));
  // Not at the old period's end (100 ms after the change) but a full new period later.
  EXPECT_GE(at[0] - changed, 420u);

  // Enabling a running timer again also restarts the period.
  at.clear();
  platform::WaitMessages(300);
  std::uint32_t again = GetTickCount();
  timer.SetEnabled(true);
  ASSERT_TRUE(WaitFor([&] { return !at.empty(); }, 5000));
  EXPECT_GE(at[0] - again, 420u);
}

TEST(SimpleTimer, ZeroIntervalOrNoHandlerHoldsTheTimer) {
  int ticks = 0;
  TSimpleTimer timer(20, [&](TSimpleTimer*) { ++ticks; });
  ASSERT_TRUE(timer.Start());
  auto* handler = TSimpleTimerHandler::Instance();
  ASSERT_NE(handler, nullptr);
  EXPECT_EQ(handler->ActiveCount(), 1);

  timer.SetInterval(0);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(handler->ActiveCount(), 0);
  int held = ticks;
  platform::WaitMessages(100);
  EXPECT_EQ(ticks, held);

  timer.SetInterval(25);
  EXPECT_EQ(handler->ActiveCount(), 1);
  ASSERT_TRUE(WaitFor([&] { return ticks >= held + 2; }, 5000));

  // Clearing the handler holds it too; a new handler alone does not start it again.
  timer.SetOnTimer({});
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(handler->ActiveCount(), 0);
  timer.SetOnTimer([&](TSimpleTimer*) { ++ticks; });
  held = ticks;
  platform::WaitMessages(100);
  EXPECT_EQ(ticks, held);
  ASSERT_TRUE(timer.Start());
  ASSERT_TRUE(WaitFor([&] { return ticks > held; }, 5000));

  // Stop without disabling keeps Enabled; with it, clears it.
  EXPECT_TRUE(timer.Stop(false));
  EXPECT_TRUE(timer.Enabled());
  EXPECT_FALSE(timer.Stop(true));
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(handler->ActiveCount(), 0);
}

TEST(SimpleTimer, ActiveCountFollowsPlatformTimersNeverBelowZero) {
  TSimpleTimer a(1000, {}), b(1000, {});
  auto* handler = TSimpleTimerHandler::Instance();
  EXPECT_EQ(handler->ActiveCount(), 0);
  a.SetEnabled(true);
  a.SetEnabled(true);
  EXPECT_EQ(handler->ActiveCount(), 1);
  b.SetEnabled(true);
  EXPECT_EQ(handler->ActiveCount(), 2);
  a.SetEnabled(false);
  a.SetEnabled(false);
  EXPECT_EQ(handler->ActiveCount(), 1);
  b.Stop(true);
  b.Stop(true);
  EXPECT_EQ(handler->ActiveCount(), 0);
}

TEST(SimpleTimer, TwoTimersTickIndependently) {
  std::vector<TSimpleTimer*> senders;
  int ticksA = 0, ticksB = 0;
  TSimpleTimer a(30, [&](TSimpleTimer* s) {
    senders.push_back(s);
    ++ticksA;
  });
  TSimpleTimer b(30, [&](TSimpleTimer* s) {
    senders.push_back(s);
    ++ticksB;
  });
  EXPECT_NE(a.Id(), b.Id());
  a.Start();
  b.Start();
  ASSERT_TRUE(WaitFor([&] { return ticksA >= 3 && ticksB >= 3; }, 5000));
  a.SetEnabled(false);
  int stoppedA = ticksA, stoppedB = ticksB;
  senders.clear();
  ASSERT_TRUE(WaitFor([&] { return ticksB >= stoppedB + 4; }, 5000));
  EXPECT_EQ(ticksA, stoppedA);
  for (TSimpleTimer* s : senders) EXPECT_EQ(s, &b);
}

TEST(SimpleTimer, AutoDisableFiresOnce) {
  int ticks = 0;
  TSimpleTimer timer(15, [&](TSimpleTimer* t) {
    ++ticks;
    EXPECT_FALSE(t->Enabled());
  });
  timer.SetAutoDisable(true);
  timer.Start();
  ASSERT_TRUE(WaitFor([&] { return ticks == 1; }, 5000));
  platform::WaitMessages(100);
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(timer.Enabled());
}

TEST(SimpleTimer, SharedWindowLivesWhileTimersDoAndStaleIdsReachNothing) {
  EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);
  int keepTicks = 0, goneTicks = 0;
  auto keep = std::make_unique<TSimpleTimer>(1000, [&](TSimpleTimer*) { ++keepTicks; });
  platform::HWND first = TSimpleTimerHandler::Instance()->Handle();
  EXPECT_EQ(TSimpleTimerHandler::RefCount(), 1);
  platform::WPARAM staleId;
  {
    TSimpleTimer gone(1000, [&](TSimpleTimer*) { ++goneTicks; });
    EXPECT_EQ(TSimpleTimerHandler::RefCount(), 2);
    EXPECT_EQ(TSimpleTimerHandler::Instance()->Handle(), first);
    staleId = gone.Id();
    ASSERT_EQ(platform::MessageWindow::Send(first, platform::WM_TIMER, staleId, 0), 0);
    EXPECT_EQ(goneTicks, 1);
    gone.Start();
  }
  EXPECT_EQ(TSimpleTimerHandler::Instance()->ActiveCount(), 0);
  platform::MessageWindow::Send(first, platform::WM_TIMER, staleId, 0);
  platform::MessageWindow::Send(first, platform::WM_TIMER, staleId + 12345, 0);
  EXPECT_EQ(goneTicks, 1);
  EXPECT_EQ(keepTicks, 0);

  keep.reset();
  EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);
  EXPECT_FALSE(platform::MessageWindow::Post(first, platform::WM_TIMER, 0, 0));

  int ticks = 0;
  TSimpleTimer later(20, [&](TSimpleTimer*) { ++ticks; });
  ASSERT_NE(TSimpleTimerHandler::Instance(), nullptr);
  EXPECT_NE(TSimpleTimerHandler::Instance()->Handle(), first);
  later.Start();
  EXPECT_TRUE(WaitFor([&] { return ticks >= 2; }, 5000));
}

TEST(SimpleTimer, AHandlerMayDestroyItsOwnTimer) {
  bool ran = false;
  auto* timer = new TSimpleTimer(10, {});
  timer->SetOnTimer([&](TSimpleTimer* self) {
    ran = true;
    delete self;
  });
  timer->Start();
  EXPECT_TRUE(WaitFor([&] { return ran; }, 5000));
  EXPECT_EQ(TSimpleTimerHandler::Instance(), nullptr);
}

}  // namespace
