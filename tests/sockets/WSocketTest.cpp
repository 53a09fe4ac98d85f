#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "SocketTestSupport.h"
#include "platform/Application.h"
#include "sockets/WSocket.h"

using namespace sockettest;

namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// Records the events of a socket in order, as text.
struct Events {
  explicit Events(TWSocket& s) {
    s.OnSessionConnected = [this](TCustomWSocket*, std::uint16_t e) {
      log.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t e) {
      log.push_back("closed " + std::to_string(e));
      ++closed;
    };
    s.OnBgException = [this](TCustomWSocket*, const std::exception& e, bool&) {
      log.push_back(std::string("bg ") + e.what());
    };
  }
  int Count(const std::string& entry) const {
    int n = 0;
    for (const auto& l : log) n += l == entry;
    return n;
  }
  std::vector<std::string> log;
  int closed = 0;
};

// Connects s to a raw listener and returns the peer's descriptor.
int ConnectPair(TWSocket& s, RawListener& listener) {
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  s.Connect();
  int peer = listener.Accept();
  EXPECT_TRUE(WaitFor([&] { return s.State() == wsConnected; }));
  return peer;
}

// A listening TWSocket on 127.0.0.1 and an ephemeral port.
int ListenLoopback(TWSocket& l) {
  l.SetAddr("127.0.0.1");
  l.SetPort("0");
  l.Listen();
  EXPECT_EQ(l.State(), wsListening);
  return std::stoi(l.GetBoundPort());
}

class WSocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxHook(
        [this](const std::string& text, const std::string&) { boxes.push_back(text); });
  }
  void TearDown() override {
    platform::SetMessageBoxHook({});
    EXPECT_TRUE(boxes.empty()) << boxes.front();
  }
  std::vector<std::string> boxes;
};

TEST_F(WSocketTest, RefusedConnectReportsTheCodeThenClosesAndTheNextConnectWorks) {
  TWSocket s;
  Events ev(s);
  std::vector<TSocketState> states;
  s.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState n) { states.push_back(n); };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(ClosedPort()));
  s.Connect();
  EXPECT_EQ(s.State(), wsConnecting);
  ASSERT_TRUE(WaitFor([&] { return ev.closed > 0; }));
  Pump(200);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 10061", "closed 0"}));
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(states, (std::vector<TSocketState>{wsOpened, wsConnecting, wsConnected, wsClosed}));

  // Every close forgets Port and Addr; the same texts set again are taken.
  EXPECT_EQ(Raised([&] { s.Connect(); }), "Connect: No Port Specified");
  RawListener listener;
  s.SetPort(listener.PortText());
  EXPECT_EQ(Raised([&] { s.Connect(); }), "Connect: No IP Address Specified");
  s.SetAddr("127.0.0.1");
  s.Connect();
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsConnected; }));
  EXPECT_EQ(ev.Count("connected 0"), 1);
  close(peer);
}

TEST_F(WSocketTest, AConnectThatFailsAfterTheSocketExistsClosesIt) {
  TWSocket s;
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(ClosedPort()));
  s.SetLocalAddr("10.255.255.254");  // not an address of this machine: bind fails
  std::string text = Raised([&] { s.Connect(); });
  EXPECT_EQ(text.rfind("winsock.bind failed, error #10049", 0), 0u) << text;
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
  RawListener listener;
  int peer = ConnectPair(s, listener);
  EXPECT_GE(peer, 0);
  close(peer);
}

TEST_F(WSocketTest, ReconnectingFromTheCloseHandlerKeepsTheNewConnection) {
  TWSocket s;
  Events ev(s);
  RawListener listener;
  bool retried = false;
  s.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t) {
    if (retried) return;
    retried = true;
    s.SetAddr("127.0.0.1");
    s.SetPort(listener.PortText());
    s.Connect();
  };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(ClosedPort()));
  s.Connect();
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsConnected; }));
  Pump(100);
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 10061", "connected 0"}));
  close(peer);
}

TEST_F(WSocketTest, RetryingFromTheConnectHandlerKeepsTheNewAttempt) {
  TWSocket s;
  Events ev(s);
  RawListener listener;
  s.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t e) {
    ev.log.push_back("connected " + std::to_string(e));
    if (e == 0) return;
    s.Close();
    s.SetAddr("127.0.0.1");
    s.SetPort(listener.PortText());
    s.Connect();
  };
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(ClosedPort()));
  s.Connect();
  int peer = listener.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsConnected && ev.log.size() == 3; }));
  Pump(100);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 10061", "closed 0", "connected 0"}));
  close(peer);
}

TEST_F(WSocketTest, AReplyIntoAConnectionThePeerHasLeftIsReportedByOneCloseEvent) {
  TWSocket s;
  Events ev(s);
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    std::string text = sender->ReceiveText();
    sender->SendText("reply");
    // Time for the peer's reset to come back before the close notification is handled.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  };
  RawListener listener;
  int peer = ConnectPair(s, listener);
  WriteAll(peer, "question");
  close(peer);
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsClosed; }));
  Pump(300);
  EXPECT_EQ(ev.closed, 1);
  EXPECT_EQ(ev.log.back(), "closed 10054");
}

TEST_F(WSocketTest, DataFollowedByThePeersCloseArrivesBeforeTheCloseEvent) {
  for (bool noLoop : {false, true}) {
    SCOPED_TRACE(noLoop ? "wsoNoReceiveLoop" : "receive loop");
    TWSocket s;
    Events ev(s);
    if (noLoop) s.SetComponentOptions({wsoNoReceiveLoop});
    std::string got;
    size_t gotAtClose = 0;
    s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
      char buf[700];  // smaller than what arrives, so that the loop has to go round
      int n = sender->Receive(buf, sizeof(buf));
      if (n > 0) got.append(buf, static_cast<size_t>(n));
    };
    s.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t e) {
      gotAtClose = got.size();
      ev.log.push_back("closed " + std::to_string(e));
    };
    RawListener listener;
    int peer = ConnectPair(s, listener);
    std::string data = Pattern(200000);
    std::thread writer([&] {
      WriteAll(peer, data);
      close(peer);
    });
    ASSERT_TRUE(WaitFor([&] { return s.State() == wsClosed; }));
    writer.join();
    EXPECT_EQ(gotAtClose, data.size());
    EXPECT_TRUE(got == data);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 0", "closed 0"}));
    EXPECT_EQ(s.ReadCount(), 0);  // reset by the close
  }
}

TEST_F(WSocketTest, ThreeThousandBytesLeaveInThreeSendsAndOneDataSent) {
  TWSocket s;
  RawListener listener;
  int peer = ConnectPair(s, listener);
  Pump(100);  // the write notification that follows the connect
  std::vector<int> sends;
  int dataSent = 0;
  s.OnSendData = [&](TCustomWSocket*, std::int32_t n) { sends.push_back(n); };
  s.OnDataSent = [&](TCustomWSocket*, std::uint16_t e) {
    EXPECT_EQ(e, 0);
    ++dataSent;
  };
  std::string data = Pattern(3000);
  EXPECT_EQ(s.Send(data.data(), 3000), 3000);
  EXPECT_EQ(sends, (std::vector<int>{1460, 1460, 80}));
  EXPECT_EQ(dataSent, 0);  // comes from the message loop
  ASSERT_TRUE(WaitFor([&] { return dataSent == 1; }));
  EXPECT_TRUE(ReadSome(peer, 3000) == data);
  Pump(200);
  EXPECT_EQ(dataSent, 1);

  // Nothing to send: nothing happens. A send of nothing flushes what was queued.
  EXPECT_EQ(s.SendText(""), 0);
  Pump(100);
  EXPECT_EQ(dataSent, 1);
  s.AppendToSendBuffer("queued", 6);
  EXPECT_EQ(s.Send(nullptr, 0), 0);
  ASSERT_TRUE(WaitFor([&] { return dataSent == 2; }));
  EXPECT_EQ(ReadSome(peer, 6), "queued");
  close(peer);
}

TEST_F(WSocketTest, FourMegabytesReachASlowReaderIntactWithoutSpinning) {
  TWSocket s;
  RawListener listener(16384);
  int peer = ConnectPair(s, listener);
  ASSERT_GE(peer, 0);
  std::string data = Pattern(4 << 20, 7);
  std::string received;
  std::thread reader([&] {
    char buf[16384];
    while (received.size() < data.size()) {
      ssize_t n = recv(peer, buf, sizeof(buf), 0);
      if (n <= 0) break;
      received.append(buf, static_cast<size_t>(n));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  std::int64_t sent = 0;
  bool done = false;
  s.OnSendData = [&](TCustomWSocket*, std::int32_t n) { sent += n; };
  s.OnDataSent = [&](TCustomWSocket*, std::uint16_t) { done = sent == std::int64_t(data.size()); };
  auto wallStart = std::chrono::steady_clock::now();
  double cpuStart = ThreadCpuSeconds();
  s.Send(data.data(), static_cast<std::int32_t>(data.size()));
  ASSERT_TRUE(WaitFor([&] { return done; }, 60000));
  reader.join();
  double cpu = ThreadCpuSeconds() - cpuStart;
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
  EXPECT_TRUE(received == data);
  EXPECT_GT(wall, 0.3);  // the reader was slow
  // A sender that polled a full buffer would burn the whole wait.
  EXPECT_LT(cpu, wall * 0.5) << "cpu " << cpu << " s in " << wall << " s";
  close(peer);
}

TEST_F(WSocketTest, APeerResetGivesOneCloseEventWithItsCodeAndNoException) {
  for (bool sending : {false, true}) {
    SCOPED_TRACE(sending ? "during a send" : "idle");
    TWSocket s;
    Events ev(s);
    s.OnDataAvailable = [](TCustomWSocket* sender, std::uint16_t) { sender->ReceiveText(); };
    RawListener listener(4096);
    int peer = ConnectPair(s, listener);
    if (sending) {
      std::string big = Pattern(8 << 20);
      s.Send(big.data(), static_cast<std::int32_t>(big.size()));  // more than fits
      EXPECT_FALSE(s.AllSent());
    }
    ResetClose(peer);
    ASSERT_TRUE(WaitFor([&] { return ev.closed > 0; }));
    Pump(300);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 0", "closed 10054"}));
    EXPECT_EQ(s.State(), wsClosed);
  }
}

TEST_F(WSocketTest, ASendIntoAResetConnectionClosesFirstThenReportsTheCode) {
  TWSocket s;
  Events ev(s);
  RawListener listener;
  int peer = ConnectPair(s, listener);
  Pump(100);
  s.OnChangeState = [&](TCustomWSocket*, TSocketState, TSocketState n) {
    if (n == wsClosed) ev.log.push_back("state closed");
  };
  TSocketState inHandler = wsInvalidState;
  std::string reconnect;
  s.OnSessionClosed = [&](TCustomWSocket* sender, std::uint16_t e) {
    ev.log.push_back("closed " + std::to_string(e));
    inHandler = sender->State();
    // The close has already forgotten Addr and Port.
    reconnect = Raised([&] { sender->Connect(); });
  };
  ResetClose(peer);
  // The reset arrives while no message is handled: the send is the first to meet it.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(s.SendText("late"), 4);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 0", "state closed", "closed 10054"}));
  EXPECT_EQ(inHandler, wsClosed);
  EXPECT_EQ(reconnect, "Connect: No Port Specified");
  Pump(200);
  EXPECT_EQ(ev.Count("closed 10054"), 1);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST_F(WSocketTest, ACallerThatResetsAtOnceLeavesTheListenerListening) {
  TWSocket server, client;
  Events serverEv(server), clientEv(client);
  int port = ListenLoopback(server);
  int accepted = 0;
  server.OnSessionAvailable = [&](TCustomWSocket* l, std::uint16_t) {
    ++accepted;
    client.Dup(l->Accept());
    std::string addr = client.GetPeerAddr();
    client.ReceiveText();
    client.DiscardSendBuffer();
    client.SendText("banner\r\n");
  };
  int caller = RawConnect(port);
  ResetClose(caller);
  ASSERT_TRUE(WaitFor([&] { return accepted == 1 && clientEv.closed == 1; }));
  Pump(300);
  EXPECT_EQ(server.State(), wsListening);
  EXPECT_EQ(clientEv.closed, 1);
  EXPECT_TRUE(serverEv.log.empty()) << serverEv.log.front();
  EXPECT_EQ(client.State(), wsClosed);

  // The next caller is served.
  int second = RawConnect(port);
  ASSERT_GE(second, 0);
  EXPECT_EQ(ReadSome(second, 8), "banner\r\n");
  EXPECT_EQ(accepted, 2);
  EXPECT_EQ(client.State(), wsConnected);
  close(second);
  ASSERT_TRUE(WaitFor([&] { return clientEv.closed == 2; }));
}

TEST_F(WSocketTest, DupStartsWithAnEmptySendBuffer) {
  TWSocket server, client;
  int port = ListenLoopback(server);
  client.AppendToSendBuffer("stale", 5);
  server.OnSessionAvailable = [&](TCustomWSocket* l, std::uint16_t) {
    client.Dup(l->Accept());
    client.SendText("fresh");
  };
  int caller = RawConnect(port);
  EXPECT_EQ(ReadSome(caller, 5), "fresh");
  Pump(100);
  EXPECT_EQ(ReadSome(caller, 1, 200), "");
  close(caller);
}

// Whatever the listener passes on to the connections it accepts, a connection taken over starts
// sending as its own options say, and says so.
TEST_F(WSocketTest, ATakenOverConnectionStartsWithTcpNoDelayAsItsOptionsSay) {
  for (const bool noDelay : {false, true}) {
    TWSocket server, client;
    server.SetComponentOptions(TWSocketOptions().Include(wsoTcpNoDelay));
    if (noDelay) client.SetComponentOptions(TWSocketOptions().Include(wsoTcpNoDelay));
    int port = ListenLoopback(server);
    ASSERT_TRUE(server.SetNoDelay(true));
    server.OnSessionAvailable = [&](TCustomWSocket* l, std::uint16_t) { client.Dup(l->Accept()); };
    int caller = RawConnect(port);
    ASSERT_TRUE(WaitFor([&] { return client.State() == wsConnected; }));
    int on = -1, length = sizeof(on);
    namespace ws = platform::winsock;
    ASSERT_EQ(wsock::GetSockOpt(client.HSocket(), ws::kIpProtoTcp, ws::kTcpNoDelay, &on, &length),
              0);
    EXPECT_EQ(on != 0, noDelay);
    EXPECT_EQ(client.NoDelay(), noDelay);
    close(caller);
  }
}

TEST_F(WSocketTest, TheServerListensAgainOnItsPortRightAfterAClose) {
  TWSocket server, client;
  int port = ListenLoopback(server);
  server.OnSessionAvailable = [&](TCustomWSocket* l, std::uint16_t) {
    client.SetLingerOnOff(wsLingerOff);  // an orderly close, which leaves TIME_WAIT behind
    client.Dup(l->Accept());
  };
  int caller = RawConnect(port);
  ASSERT_TRUE(WaitFor([&] { return client.State() == wsConnected; }));
  client.Close();
  EXPECT_EQ(ReadSome(caller, 1, 2000), "");
  close(caller);
  server.Close();
  EXPECT_EQ(server.State(), wsClosed);

  server.SetAddr("127.0.0.1");
  server.SetPort(std::to_string(port));
  server.Listen();
  EXPECT_EQ(server.State(), wsListening);
  EXPECT_EQ(server.GetBoundPort(), std::to_string(port));
  int again = RawConnect(port);
  EXPECT_GE(again, 0);
  ASSERT_TRUE(WaitFor([&] { return client.State() == wsConnected; }));
  close(again);
}

TEST_F(WSocketTest, AListenOnAPortInUseFailsAndClosesTheSocket) {
  RawListener taken;
  TWSocket s;
  s.SetAddr("127.0.0.1");
  s.SetPort(taken.PortText());
  EXPECT_EQ(Raised([&] { s.Listen(); }), "Error 10048 in function Bind\r\nAddress already in use");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
  EXPECT_EQ(Raised([&] { s.Listen(); }),
            "Error 10022 in function listen: port not assigned\r\n"
            "Invalid argument");
  // With an error handler the failure is reported there instead.
  int errors = 0;
  s.OnError = [&](TCustomWSocket*) { ++errors; };
  s.SetAddr("127.0.0.1");
  s.SetPort(taken.PortText());
  s.Listen();
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LastError(), 10048);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.HSocket(), INVALID_SOCKET);
}

TEST_F(WSocketTest, PropertiesChangeOnlyWhileClosed) {
  TWSocket s;
  EXPECT_EQ(s.Proto(), "tcp");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(s.LocalPort(), "0");
  EXPECT_EQ(s.ListenBacklog(), 5);
  EXPECT_EQ(s.LingerOnOff(), wsLingerOn);
  EXPECT_EQ(s.KeepAliveOnOff(), wsKeepAliveOnSystem);
  EXPECT_EQ(s.KeepAliveTime(), 30000);
  EXPECT_EQ(s.LineEnd(), "\r\n");
  EXPECT_EQ(s.LineLimit(), 65536);
  EXPECT_FALSE(s.LineMode());
  s.SetAddr("  127.0.0.1 ");
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  s.SetLocalAddr("");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(s.GetPeerAddr(), "error");
  EXPECT_EQ(s.GetBoundPort(), "error");

  RawListener listener;
  int peer = ConnectPair(s, listener);
  s.SetAddr("127.0.0.1");  // the same text: accepted
  EXPECT_EQ(Raised([&] { s.SetAddr("127.0.0.2"); }), "Cannot change Addr if not closed");
  EXPECT_EQ(Raised([&] { s.SetPort("1"); }), "Cannot change Port if not closed");
  EXPECT_EQ(Raised([&] { s.SetProto("udp"); }), "Cannot change Proto if not closed");
  EXPECT_EQ(Raised([&] { s.SetLocalPort("1"); }), "Cannot change LocalPort if not closed");
  EXPECT_EQ(Raised([&] { s.SetLocalAddr("1.1.1.1"); }), "Cannot change LocalAddr if not closed");
  EXPECT_EQ(Raised([&] { s.Connect(); }), "Connect: Socket already in use");
  EXPECT_EQ(s.GetPeerAddr(), "127.0.0.1");
  EXPECT_EQ(s.GetPeerPort(), listener.PortText());
  EXPECT_EQ(s.GetBoundAddr(), "127.0.0.1");
  EXPECT_EQ(Raised([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }), "Invalid SendFlags");
  s.SetSendFlags(wsSendUrgent);
  EXPECT_EQ(s.SendFlags(), wsSendUrgent);
  s.Close();
  s.Close();  // closing a closed socket does nothing
  EXPECT_EQ(s.Proto(), "tcp");
  close(peer);
}

TEST_F(WSocketTest, MisuseIsReportedWithItsText) {
  TWSocket s;
  EXPECT_EQ(Raised([&] { s.Dup(INVALID_SOCKET); }),
            "Error 10022 in function Dup\r\nInvalid argument");
  EXPECT_EQ(Raised([&] { s.Accept(); }),
            "Error 10022 in function not a listening socket\r\nInvalid argument");
  EXPECT_EQ(Raised([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
  EXPECT_EQ(Raised([&] { s.AttachWindow(); }), "Cannot attach when not detached");
  s.SetPort("99999");
  s.SetAddr("127.0.0.1");
  EXPECT_EQ(Raised([&] { s.Connect(); }), "connect: WSocketResolvePort: Invalid Port.");
  s.SetPort("80");
  s.SetAddr("no.such.host.invalid");
  EXPECT_EQ(Raised([&] { s.Connect(); }).rfind("connect: WSocketResolveHost: Cannot convert", 0),
            0u);
  // Sending on a socket that is not connected queues nothing and reports 10057.
  EXPECT_EQ(s.SendText("x"), -1);
  EXPECT_EQ(s.LastError(), 10057);
}

TEST_F(WSocketTest, SendWhileConnectingFailsButAppendedBytesLeaveOnceConnected) {
  TWSocket s;
  RawListener listener;
  s.SetAddr("127.0.0.1");
  s.SetPort(listener.PortText());
  s.Connect();
  ASSERT_EQ(s.State(), wsConnecting);
  EXPECT_EQ(s.SendText("lost"), -1);
  EXPECT_EQ(s.LastError(), 10057);
  EXPECT_EQ(s.State(), wsConnecting);
  s.AppendToSendBuffer("early", 5);
  int peer = listener.Accept();
  EXPECT_EQ(ReadSome(peer, 5), "early");
  close(peer);
}

TEST_F(WSocketTest, DiscardedBufferDrainsAtOnceAndDrainWaitsForTheRest) {
  TWSocket s;
  RawListener listener;
  int peer = ConnectPair(s, listener);
  s.AppendToSendBuffer("abc", 3);
  s.DiscardSendBuffer();
  s.DrainSendBuffer();
  EXPECT_TRUE(s.AllSent());
  std::string data = Pattern(1 << 20);
  s.AppendToSendBuffer(data.data(), static_cast<std::int32_t>(data.size()));
  std::string got;
  std::thread reader([&] {
    char buf[65536];
    while (got.size() < data.size()) {
      ssize_t n = recv(peer, buf, sizeof(buf), 0);
      if (n <= 0) break;
      got.append(buf, static_cast<size_t>(n));
    }
  });
  s.DrainSendBuffer();
  EXPECT_TRUE(s.AllSent());
  reader.join();
  EXPECT_TRUE(got == data);
  close(peer);
}

TEST_F(WSocketTest, AHandlerThatDiscardsAndSendsAgainLosesNoneOfTheNewBytes) {
  TWSocket s;
  RawListener listener;
  int peer = ConnectPair(s, listener);
  int sends = 0;
  s.OnSendData = [&](TCustomWSocket* sender, std::int32_t) {
    if (++sends > 1) return;
    // The new chunk may take the place of the freed one.
    sender->DiscardSendBuffer();
    sender->SendText("MESSAGE\r\n");
  };
  s.SendText("old\r\n");
  EXPECT_EQ(ReadSome(peer, 14, 3000), "old\r\nMESSAGE\r\n");
  close(peer);
}

TEST_F(WSocketTest, CloseLaterInADataHandlerClosesAfterTheHandler) {
  TWSocket s;
  Events ev(s);
  TSocketState inHandler = wsInvalidState;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    sender->ReceiveText();
    EXPECT_TRUE(sender->CloseLater());
    inHandler = sender->State();
  };
  RawListener listener;
  int peer = ConnectPair(s, listener);
  WriteAll(peer, "bye");
  ASSERT_TRUE(WaitFor([&] { return s.State() == wsClosed; }));
  EXPECT_EQ(inHandler, wsConnected);
  EXPECT_EQ(ev.log, (std::vector<std::string>{"connected 0", "closed 0"}));
  close(peer);
}

TEST_F(WSocketTest, AnExceptionInAHandlerAbortsTheSocketUnlessTheBgHandlerKeepsIt) {
  TWSocket server;
  int port = ListenLoopback(server);
  int raised = 0;
  server.OnSessionAvailable = [&](TCustomWSocket*, std::uint16_t) {
    ++raised;
    throw std::runtime_error("handler failed");
  };
  int caller = RawConnect(port);
  ASSERT_TRUE(WaitFor([&] { return server.State() == wsClosed; }));
  EXPECT_EQ(raised, 1);
  close(caller);

  port = ListenLoopback(server);
  std::string seen;
  server.OnBgException = [&](TCustomWSocket*, const std::exception& e, bool& canClose) {
    seen = e.what();
    canClose = false;
  };
  caller = RawConnect(port);
  ASSERT_TRUE(WaitFor([&] { return raised == 2; }));
  Pump(100);
  EXPECT_EQ(seen, "handler failed");
  EXPECT_EQ(server.State(), wsListening);
  close(caller);

  // The window's test message goes the same way.
  platform::MessageWindow::Post(server.Handle(), WM_TRIGGER_EXCEPTION, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return seen == "Test exception in WSocket"; }));
}

TEST_F(WSocketTest, AHandlerThatReadsNothingDoesNotSpinTheLoop) {
  TWSocket s;
  int calls = 0;
  bool reading = false;
  std::string got;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    ++calls;
    if (reading) got += sender->ReceiveText();
    if (calls == 50) sender->ReceiveText();  // a spinning loop would end here, and fail below
  };
  RawListener listener;
  int peer = ConnectPair(s, listener);
  WriteAll(peer, "0123456789");
  ASSERT_TRUE(WaitFor([&] { return calls > 0; }));
  Pump(300);
  EXPECT_EQ(calls, 1);
  // The data waits until somebody reads it; reading brings the notifications back.
  EXPECT_EQ(s.ReceiveText(), "0123456789");
  reading = true;
  WriteAll(peer, "more");
  ASSERT_TRUE(WaitFor([&] { return got == "more"; }));
  close(peer);
}

TEST_F(WSocketTest, AnIdleConnectionCostsNoCpu) {
  TWSocket s;
  RawListener listener;
  int peer = ConnectPair(s, listener);
  Pump(100);
  double cpu = ThreadCpuSeconds();
  Pump(1000);
  cpu = ThreadCpuSeconds() - cpu;
  EXPECT_LT(cpu, 0.2);
  close(peer);
}

TEST_F(WSocketTest, FreeLaterDestroysTheObjectAfterTheHandler) {
  static bool destroyed;
  destroyed = false;
  struct Tracked : TWSocket {
    ~Tracked() override { destroyed = true; }
  };
  auto* s = new Tracked;
  s->OnSessionClosed = [](TCustomWSocket* sender, std::uint16_t) {
    EXPECT_TRUE(sender->FreeLater());
    EXPECT_FALSE(destroyed);
  };
  RawListener listener;
  int peer = ConnectPair(*s, listener);
  close(peer);
  ASSERT_TRUE(WaitFor([&] { return destroyed; }));
}

TEST_F(WSocketTest, NamesAreLookedUpInTheBackground) {
  TWSocket s;
  std::vector<int> done;
  s.OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t e) { done.push_back(e); };

  s.DnsLookup("10.1.2.3");
  EXPECT_EQ(done, std::vector<int>{0});  // before DnsLookup returned
  EXPECT_EQ(s.DnsResult(), "10.1.2.3");

  done.clear();
  s.DnsLookup("localhost");
  EXPECT_TRUE(done.empty());
  ASSERT_TRUE(WaitFor([&] { return !done.empty(); }));
  EXPECT_EQ(done, std::vector<int>{0});
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  EXPECT_EQ(s.DnsResultList().front(), "127.0.0.1");

  done.clear();
  s.DnsLookup("localhost");
  s.DnsLookup("1.2.3");  // cancels the first without an event for it
  ASSERT_TRUE(WaitFor([&] { return !done.empty(); }));
  Pump(200);
  EXPECT_EQ(done, std::vector<int>{11001});
  EXPECT_TRUE(s.DnsResultList().empty());

  done.clear();
  s.DnsLookup("localhost");
  s.CancelHostLookup();
  EXPECT_EQ(done, std::vector<int>{10004});
  Pump(200);
  EXPECT_EQ(done, std::vector<int>{10004});

  done.clear();
  s.ReverseDnsLookup("127.0.0.1");
  ASSERT_TRUE(WaitFor([&] { return !done.empty(); }));
  EXPECT_EQ(s.DnsResult(), "localhost");
  done.clear();
  s.ReverseDnsLookupSync("127.0.0.1");
  EXPECT_EQ(done, std::vector<int>{0});
  EXPECT_EQ(s.DnsResultList().front(), "localhost");

  // With an error handler the empty name reports 10022 through the look-up event.
  done.clear();
  s.OnError = [](TCustomWSocket*) {};
  s.DnsLookup("");
  EXPECT_EQ(done, std::vector<int>{10022});

  // Destroying a socket while its look-up runs is safe.
  auto* gone = new TWSocket;
  gone->OnDnsLookupDone = [&](TCustomWSocket*, std::uint16_t) { ADD_FAILURE(); };
  gone->DnsLookup("localhost");
  delete gone;
  Pump(300);
}

TEST_F(WSocketTest, DatagramsTravelBetweenAListenerAndAConnectedSocket) {
  TWSocket receiver, sender;
  Events rev(receiver), sev(sender);
  receiver.SetProto("udp");
  receiver.SetAddr("127.0.0.1");
  receiver.SetPort("0");
  receiver.Listen();
  EXPECT_EQ(receiver.State(), wsConnected);
  EXPECT_EQ(rev.log, std::vector<std::string>{"connected 0"});
  std::string got, from;
  receiver.OnDataAvailable = [&](TCustomWSocket* r, std::uint16_t) {
    char buf[100];
    TSockAddrIn src;
    int n = r->ReceiveFrom(buf, sizeof(buf), src);
    if (n > 0) got.assign(buf, static_cast<size_t>(n));
    from = platform::winsock::inet_ntoa(src.addr);
  };
  sender.SetProto("udp");
  sender.SetAddr("127.0.0.1");
  sender.SetPort(receiver.GetBoundPort());
  sender.Connect();
  EXPECT_EQ(sender.State(), wsConnected);
  EXPECT_EQ(sev.log, std::vector<std::string>{"connected 0"});
  EXPECT_EQ(sender.SendText("hello"), 5);
  ASSERT_TRUE(WaitFor([&] { return got == "hello"; }));
  EXPECT_EQ(from, "127.0.0.1");
}

TEST_F(WSocketTest, TheLoggerGetsTheCategoriesAskedForAndMayGoFirst) {
  auto logger = std::make_unique<TQelLogger>();
  std::vector<std::string> lines;
  logger->OnQelLogEvent = [&](TComponent*, TLogOption, const std::string& m) {
    lines.push_back(m);
  };
  logger->SetLogOptions({loDestEvent, loWsockInfo});
  TWSocket s;
  s.SetQelLogger(logger.get());
  RawListener listener;
  int peer = ConnectPair(s, listener);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "TWSocket will connect to 127.0.0.1:" + listener.PortText());
  logger.reset();
  EXPECT_EQ(s.QelLogger(), nullptr);
  s.Close();
  close(peer);
}

TEST_F(WSocketTest, SuspendedReceiveHoldsTheDataUntilResumed) {
  TWSocket s;
  std::string got;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) { got += sender->ReceiveText(); };
  RawListener listener;
  int peer = ConnectPair(s, listener);
  EXPECT_EQ(s.SuspendReceive(), 0);
  WriteAll(peer, "held");
  Pump(300);
  EXPECT_EQ(got, "");
  EXPECT_EQ(s.ResumeReceive(), 0);
  ASSERT_TRUE(WaitFor([&] { return got == "held"; }));
  close(peer);
}

}  // namespace
