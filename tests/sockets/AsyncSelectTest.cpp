// The platform layer under the socket component: handles, select notifications, look-ups.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <time.h>

#include <thread>
#include <vector>

#include "SocketTestSupport.h"
#include "platform/AsyncSelect.h"
#include "platform/HostLookup.h"
#include "platform/Sockets.h"

namespace ws = platform::winsock;
using namespace sockettest;

namespace {

constexpr unsigned kMsg = platform::WM_USER + 1;

struct Note {
  ws::TSocket socket;
  long event;
  int error;
};

// A window that records the select notifications it gets.
class Recorder {
 public:
  Recorder()
      : window_([this](unsigned msg, platform::WPARAM w, platform::LPARAM l) {
          if (msg == kMsg)
            notes.push_back({static_cast<ws::TSocket>(w), ws::SelectEvent(l), ws::SelectError(l)});
          return 0;
        }) {}
  platform::HWND Handle() const { return window_.Handle(); }
  int Count(long event) const {
    int n = 0;
    for (const Note& note : notes) n += note.event == event;
    return n;
  }
  std::vector<Note> notes;

 private:
  platform::MessageWindow window_;
};

class AsyncSelectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(ws::WSAStartup(0x0101), 0); }
  ws::TSocket ConnectTo(int port) {
    ws::TSocket s = ws::socket(ws::kAfInet, ws::kSockStream, ws::kIpProtoTcp);
    EXPECT_NE(s, ws::INVALID_SOCKET);
    EXPECT_EQ(ws::WSAAsyncSelect(s, rec.Handle(), kMsg,
                                 ws::kFdRead | ws::kFdWrite | ws::kFdConnect | ws::kFdClose),
              0);
    ws::SockAddrIn to{ws::kAfInet, ws::Htons(static_cast<std::uint16_t>(port)),
                      ws::inet_addr("127.0.0.1")};
    int r = ws::connect(s, to);
    EXPECT_TRUE(r == 0 || ws::WSAGetLastError() == ws::WSAEWOULDBLOCK);
    return s;
  }
  Recorder rec;
};

TEST_F(AsyncSelectTest, RefusedConnectIsReportedOnceAndNothingFollows) {
  ws::TSocket s = ConnectTo(ClosedPort());
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdConnect) > 0; }));
  Pump(300);
  ASSERT_EQ(rec.notes.size(), 1u);
  EXPECT_EQ(rec.notes[0].socket, s);
  EXPECT_EQ(rec.notes[0].event, ws::kFdConnect);
  EXPECT_EQ(rec.notes[0].error, ws::WSAECONNREFUSED);
  EXPECT_EQ(ws::closesocket(s), 0);
  EXPECT_EQ(ws::closesocket(s), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAENOTSOCK);
}

TEST_F(AsyncSelectTest, ReadIsReportedAgainOnlyAfterAReceiveAndCloseOnceAfterTheData) {
  RawListener listener;
  ws::TSocket s = ConnectTo(listener.Port());
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdWrite) == 1; }));
  EXPECT_EQ(rec.Count(ws::kFdConnect), 1);
  EXPECT_EQ(rec.notes[0].error, 0);

  ASSERT_TRUE(WriteAll(peer, "0123456789"));
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdRead) == 1; }));
  ASSERT_TRUE(WriteAll(peer, "more"));
  Pump(200);
  EXPECT_EQ(rec.Count(ws::kFdRead), 1);  // unread data is not reported twice

  char buf[64];
  EXPECT_EQ(ws::recv(s, buf, 4, 0), 4);
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdRead) == 2; }));
  EXPECT_EQ(ws::recv(s, buf, sizeof(buf), 0), 10);

  close(peer);
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdClose) == 1; }));
  Pump(200);
  EXPECT_EQ(rec.Count(ws::kFdClose), 1);
  EXPECT_EQ(rec.Count(ws::kFdWrite), 1);
  for (const Note& n : rec.notes) {
    if (n.event == ws::kFdClose) {
      EXPECT_EQ(n.error, 0);
    }
  }
  ws::closesocket(s);
}

TEST_F(AsyncSelectTest, DataThenCloseReportsBothAndTheDataStaysReadable) {
  RawListener listener;
  ws::TSocket s = ConnectTo(listener.Port());
  int peer = listener.Accept();
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdWrite) == 1; }));
  WriteAll(peer, "last words");
  close(peer);
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdClose) == 1; }));
  EXPECT_EQ(rec.Count(ws::kFdRead), 1);
  char buf[64];
  EXPECT_EQ(ws::recv(s, buf, sizeof(buf), 0), 10);
  EXPECT_EQ(ws::recv(s, buf, sizeof(buf), 0), 0);
  ws::closesocket(s);
}

TEST_F(AsyncSelectTest, ResetIsReportedOnceWithItsCode) {
  RawListener listener;
  ws::TSocket s = ConnectTo(listener.Port());
  int peer = listener.Accept();
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdWrite) == 1; }));
  ResetClose(peer);
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdClose) == 1; }));
  Pump(200);
  EXPECT_EQ(rec.Count(ws::kFdClose), 1);
  EXPECT_EQ(rec.notes.back().error, ws::WSAECONNRESET);
  EXPECT_EQ(ws::send(s, "x", 1, 0), ws::SOCKET_ERROR);  // no SIGPIPE, a code instead
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAECONNRESET);
  ws::closesocket(s);
}

TEST_F(AsyncSelectTest, WriteIsReportedAgainOnlyAfterASendWouldBlock) {
  RawListener listener(4096);
  ws::TSocket s = ConnectTo(listener.Port());
  int peer = listener.Accept();
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdWrite) == 1; }));
  std::string block(65536, 'x');
  int blocked = 0;
  for (int i = 0; i < 10000 && blocked == 0; ++i) {
    if (ws::send(s, block.data(), static_cast<int>(block.size()), 0) < 0) {
      ASSERT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
      blocked = 1;
    }
  }
  ASSERT_EQ(blocked, 1);
  Pump(200);
  EXPECT_EQ(rec.Count(ws::kFdWrite), 1);  // full, nothing reported
  ReadSome(peer, 1 << 30, 1500);          // the peer drains what it can
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdWrite) == 2; }));
  close(peer);
  ws::closesocket(s);
}

TEST_F(AsyncSelectTest, CallersAreReportedOneAtATimeAsTheyAreAccepted) {
  ws::TSocket l = ws::socket(ws::kAfInet, ws::kSockStream, ws::kIpProtoTcp);
  ws::SockAddrIn any{ws::kAfInet, 0, ws::inet_addr("127.0.0.1")};
  ASSERT_EQ(ws::bind(l, any), 0);
  ASSERT_EQ(ws::listen(l, 5), 0);
  ASSERT_EQ(ws::WSAAsyncSelect(l, rec.Handle(), kMsg, ws::kFdAccept | ws::kFdRead), 0);
  ws::SockAddrIn name;
  ASSERT_EQ(ws::getsockname(l, &name), 0);
  int port = ws::Ntohs(name.port);
  int c1 = RawConnect(port), c2 = RawConnect(port);
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdAccept) == 1; }));
  Pump(200);
  EXPECT_EQ(rec.Count(ws::kFdAccept), 1);
  ws::SockAddrIn from;
  ws::TSocket a1 = ws::accept(l, &from);
  ASSERT_NE(a1, ws::INVALID_SOCKET);
  EXPECT_EQ(from.addr, ws::inet_addr("127.0.0.1"));
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdAccept) == 2; }));
  ws::TSocket a2 = ws::accept(l, nullptr);
  ASSERT_NE(a2, ws::INVALID_SOCKET);
  EXPECT_EQ(ws::accept(l, nullptr), ws::INVALID_SOCKET);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
  // The accepted socket is non-blocking and not inherited by programs the server starts.
  int fd = ws::NativeDescriptor(a1);
  EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  char b;
  EXPECT_EQ(ws::recv(a1, &b, 1, 0), ws::SOCKET_ERROR);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAEWOULDBLOCK);
  close(c1);
  close(c2);
  ws::closesocket(a1);
  ws::closesocket(a2);
  ws::closesocket(l);
}

TEST_F(AsyncSelectTest, AClosedHandleIsNeverReusedAndItsNotificationsStop) {
  RawListener listener;
  ws::TSocket s1 = ConnectTo(listener.Port());
  int fd1 = ws::NativeDescriptor(s1);
  int peer1 = listener.Accept();
  ASSERT_TRUE(WaitFor([&] { return rec.Count(ws::kFdWrite) == 1; }));
  WriteAll(peer1, "abc");  // readable, then closed before anything is reported
  ws::closesocket(s1);
  ws::TSocket s2 = ws::socket(ws::kAfInet, ws::kSockStream, ws::kIpProtoTcp);
  EXPECT_EQ(ws::NativeDescriptor(s2), fd1);  // Linux hands out the same number at once...
  EXPECT_NE(s2, s1);                         // ... but the handle is new
  rec.notes.clear();
  Pump(300);
  for (const Note& n : rec.notes) EXPECT_NE(n.socket, s1);
  close(peer1);
  ws::closesocket(s2);
}

TEST_F(AsyncSelectTest, CleanupClosesEverySocketAndCallsFailUntilTheNextStart) {
  ws::TSocket s = ws::socket(ws::kAfInet, ws::kSockStream, ws::kIpProtoTcp);
  ASSERT_NE(s, ws::INVALID_SOCKET);
  ASSERT_EQ(ws::WSACleanup(), 0);
  EXPECT_EQ(ws::NativeDescriptor(s), -1);
  EXPECT_EQ(ws::socket(ws::kAfInet, ws::kSockStream, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
  EXPECT_EQ(ws::WSAStartup(0x0000), ws::WSAVERNOTSUPPORTED);
  EXPECT_EQ(ws::WSAStartup(0x0202), 0);
}

TEST(HostLookup, NamesAndAddressesResolveOnAWorkerAndArePostedBack) {
  ASSERT_EQ(ws::WSAStartup(0x0101), 0);
  std::vector<std::pair<platform::WPARAM, int>> done;
  platform::MessageWindow w([&](unsigned, platform::WPARAM wp, platform::LPARAM lp) {
    done.push_back({wp, ws::SelectError(lp)});
    return 0;
  });
  ws::TLookup byName = ws::WSAAsyncGetHostByName(w.Handle(), kMsg, "localhost");
  ws::TLookup byAddr = ws::WSAAsyncGetHostByAddr(w.Handle(), kMsg, ws::inet_addr("127.0.0.1"));
  ws::TLookup bad = ws::WSAAsyncGetHostByName(w.Handle(), kMsg, "1.2.3");
  ASSERT_NE(byName, 0u);
  ASSERT_NE(byAddr, byName);
  ASSERT_TRUE(WaitFor([&] { return done.size() == 3; }));
  ws::HostEnt e;
  ASSERT_TRUE(ws::WSAAsyncResult(byName, &e));
  ASSERT_FALSE(e.addresses.empty());
  EXPECT_EQ(e.addresses[0], ws::inet_addr("127.0.0.1"));
  EXPECT_FALSE(ws::WSAAsyncResult(byName, &e));  // taken once
  ASSERT_TRUE(ws::WSAAsyncResult(byAddr, &e));
  EXPECT_EQ(e.name, "localhost");
  for (auto& [lookup, error] : done) {
    if (lookup == bad) {
      EXPECT_EQ(error, ws::WSAHOST_NOT_FOUND);
    }
  }
  // Cancelled: no result; destroyed window: the finished look-up goes nowhere.
  done.clear();
  ws::TLookup cancelled = ws::WSAAsyncGetHostByName(w.Handle(), kMsg, "localhost");
  EXPECT_EQ(ws::WSACancelAsyncRequest(cancelled), 0);
  EXPECT_EQ(ws::WSACancelAsyncRequest(cancelled), ws::SOCKET_ERROR);
  {
    platform::MessageWindow gone;
    ws::WSAAsyncGetHostByName(gone.Handle(), kMsg, "localhost");
  }
  Pump(300);
  EXPECT_TRUE(done.empty() || (done.size() == 1 && done[0].first == cancelled));
  EXPECT_FALSE(ws::WSAAsyncResult(cancelled, &e));
}

TEST(HostLookup, NumericTextsThatAreNotQuadsAreNames) {
  ASSERT_EQ(ws::WSAStartup(0x0101), 0);
  EXPECT_EQ(ws::inet_addr("1.2.3"), ws::kInAddrNone);
  EXPECT_EQ(ws::inet_addr("0x7f.1"), ws::kInAddrNone);
  EXPECT_EQ(ws::inet_addr("10.0.0.1"), htonl(0x0A000001));
  ws::HostEnt e;
  EXPECT_FALSE(ws::gethostbyname("1.2.3", &e));
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSAHOST_NOT_FOUND);
  EXPECT_FALSE(ws::gethostbyname("0x7f.1", &e));
  ASSERT_TRUE(ws::gethostbyname("127.0.0.1", &e));
  EXPECT_EQ(e.addresses.at(0), htonl(0x7F000001));
}

}  // namespace

namespace {

TEST(WaitMessage, ReturnsWhenAMessageArrivesAndSleepsOtherwise) {
  bool got = false;
  platform::MessageWindow w([&](unsigned, platform::WPARAM, platform::LPARAM) {
    got = true;
    return 0;
  });
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    w.PostMessage(platform::WM_USER, 0, 0);
  });
  auto start = std::chrono::steady_clock::now();
  while (!got) platform::WaitMessage(5000);
  double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  poster.join();
  EXPECT_LT(waited, 3.0);

  timespec c0{}, c1{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
  start = std::chrono::steady_clock::now();
  platform::WaitMessage(300);
  waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
  EXPECT_GE(waited, 0.25);
  EXPECT_LT(double(c1.tv_sec - c0.tv_sec) + double(c1.tv_nsec - c0.tv_nsec) / 1e9, 0.1);
}

}  // namespace
