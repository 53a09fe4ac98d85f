#include <gtest/gtest.h>

#include <vector>

#include "platform/MessagePump.h"
#include "platform/SharedWindow.h"

using platform::LPARAM;
using platform::MessageWindow;
using platform::SharedWindow;

namespace {

constexpr unsigned kClientMsg = platform::WM_USER + 7;

TEST(SharedWindow, RoutesClientMessagesByIdAndIgnoresUnknownOnes) {
  std::vector<LPARAM> a, b, own;
  SharedWindow window(kClientMsg, [&](unsigned, platform::WPARAM, LPARAM l) {
    own.push_back(l);
    return platform::LRESULT{5};
  });
  auto idA = window.AddClient([&](unsigned, LPARAM l) {
    a.push_back(l);
    return platform::LRESULT{1};
  });
  auto idB = window.AddClient([&](unsigned, LPARAM l) {
    b.push_back(l);
    return platform::LRESULT{2};
  });
  EXPECT_NE(idA, idB);
  EXPECT_EQ(MessageWindow::Send(window.Handle(), kClientMsg, idA, 10), 1);
  EXPECT_EQ(MessageWindow::Send(window.Handle(), kClientMsg, idB, 20), 2);
  EXPECT_EQ(MessageWindow::Send(window.Handle(), kClientMsg, idB + 1000, 30), 0);
  EXPECT_EQ(MessageWindow::Send(window.Handle(), platform::WM_CLOSE, idA, 40), 5);

  // A message queued for a client that leaves before it is delivered reaches nobody.
  MessageWindow::Post(window.Handle(), kClientMsg, idA, 11);
  window.RemoveClient(idA);
  platform::ProcessMessages();
  EXPECT_EQ(a, std::vector<LPARAM>{10});
  EXPECT_EQ(b, std::vector<LPARAM>{20});
  EXPECT_EQ(own, std::vector<LPARAM>{40});

  // Numbers are not reused.
  auto idC = window.AddClient([](unsigned, LPARAM) { return platform::LRESULT{0}; });
  EXPECT_NE(idC, idA);
  EXPECT_NE(idC, idB);
}

TEST(SharedWindow, TimersOnlyForClientsAndGoneWithThem) {
  int ticks = 0;
  SharedWindow window(platform::WM_TIMER);
  auto id = window.AddClient([&](unsigned msg, LPARAM) {
    if (msg == platform::WM_TIMER) ++ticks;
    return platform::LRESULT{0};
  });
  EXPECT_FALSE(window.SetTimer(id + 500, 10));
  EXPECT_FALSE(window.KillTimer(id));
  ASSERT_TRUE(window.SetTimer(id, 10));
  platform::WaitMessages(150);
  EXPECT_GE(ticks, 2);
  window.RemoveClient(id);
  EXPECT_FALSE(window.KillTimer(id));
  int before = ticks;
  platform::WaitMessages(60);
  EXPECT_EQ(ticks, before);
}

TEST(SharedWindow, AClientMayDestroyTheWindowFromItsOwnTimer) {
  auto* window = new SharedWindow(platform::WM_TIMER);
  bool ran = false;
  auto id = window->AddClient([&](unsigned, LPARAM) {
    ran = true;
    delete window;
    window = nullptr;
    return platform::LRESULT{0};
  });
  ASSERT_TRUE(window->SetTimer(id, 5));
  for (int i = 0; i < 50 && !ran; ++i) platform::WaitMessages(20);
  EXPECT_TRUE(ran);
  EXPECT_EQ(window, nullptr);
}

struct Counted {
  Counted() { ++alive; }
  ~Counted() { --alive; }
  static inline int alive = 0;
};

TEST(SharedInstance, FirstAcquireCreatesLastReleaseDestroys) {
  using Shared = platform::SharedInstance<Counted>;
  EXPECT_EQ(Shared::Get(), nullptr);
  Counted& first = Shared::Acquire();
  Counted& second = Shared::Acquire();
  EXPECT_EQ(&first, &second);
  EXPECT_EQ(Shared::RefCount(), 2);
  EXPECT_EQ(Counted::alive, 1);
  Shared::Release();
  EXPECT_EQ(Counted::alive, 1);
  Shared::Release();
  EXPECT_EQ(Counted::alive, 0);
  EXPECT_EQ(Shared::Get(), nullptr);
  Shared::Release();  // one release too many changes nothing
  EXPECT_EQ(Shared::RefCount(), 0);
  Shared::Acquire();
  EXPECT_EQ(Counted::alive, 1);
  Shared::Release();
  EXPECT_EQ(Counted::alive, 0);
}

}  // namespace
