#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/MessagePump.h"
#include "platform/MessageWindow.h"
#include "platform/Tick.h"

using platform::MessageWindow;

TEST(MessageWindow, PostedMessagesArriveInOrderSentOnesAtOnce) {
  std::vector<unsigned> seen;
  MessageWindow w([&](unsigned msg, platform::WPARAM wp, platform::LPARAM) {
    seen.push_back(msg);
    return static_cast<platform::LRESULT>(wp * 2);
  });
  EXPECT_TRUE(w.PostMessage(platform::WM_USER + 1, 0, 0));
  EXPECT_TRUE(w.PostMessage(platform::WM_USER + 2, 0, 0));
  EXPECT_EQ(w.SendMessage(platform::WM_USER + 3, 21, 0), 42);
  EXPECT_EQ(seen, std::vector<unsigned>{platform::WM_USER + 3});
  platform::ProcessMessages();
  EXPECT_EQ(seen, (std::vector<unsigned>{platform::WM_USER + 3, platform::WM_USER + 1,
                                         platform::WM_USER + 2}));
}

TEST(MessageWindow, DestroyedWindowDropsQueuedMessagesAndRefusesNewOnes) {
  int count = 0;
  platform::HWND handle;
  {
    MessageWindow w([&](unsigned, platform::WPARAM, platform::LPARAM) { return ++count; });
    handle = w.Handle();
    MessageWindow::Post(handle, platform::WM_USER, 0, 0);
  }
  platform::ProcessMessages();
  EXPECT_EQ(count, 0);
  EXPECT_FALSE(MessageWindow::Post(handle, platform::WM_USER, 0, 0));
  EXPECT_EQ(MessageWindow::Send(handle, platform::WM_USER, 0, 0), 0);
}

TEST(MessageWindow, PostFromAnotherThreadIsDeliveredOnTheOwner) {
  std::thread::id owner = std::this_thread::get_id(), ranOn;
  MessageWindow w([&](unsigned, platform::WPARAM, platform::LPARAM) {
    ranOn = std::this_thread::get_id();
    return 0;
  });
  std::thread t([&] { w.PostMessage(platform::WM_USER, 0, 0); });
  t.join();
  platform::ProcessMessages();
  EXPECT_EQ(ranOn, owner);
}

TEST(MessageWindow, TimersFireUntilKilledAndUnknownIdsAreIgnored) {
  int ticks = 0;
  MessageWindow w([&](unsigned msg, platform::WPARAM id, platform::LPARAM) {
    if (msg == platform::WM_TIMER && id == 7) ++ticks;
    return 0;
  });
  EXPECT_FALSE(w.KillTimer(99));
  ASSERT_TRUE(w.SetTimer(7, 10));
  platform::WaitMessages(120);
  EXPECT_GE(ticks, 3);
  EXPECT_TRUE(w.KillTimer(7));
  int stopped = ticks;
  platform::WaitMessages(50);
  EXPECT_EQ(ticks, stopped);
}

TEST(Tick, OffsetWrapsTheCounter) {
  platform::SetTickOffset(0);
  std::uint32_t a = platform::GetTickCount();
  platform::SetTickOffset(0xFFFFFFFFu - a + 1);  // next ticks are close to 0
  std::uint32_t b = platform::GetTickCount();
  EXPECT_LT(b, 1000u);
  platform::SetTickOffset(0);
}
