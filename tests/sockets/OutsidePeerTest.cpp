// The socket against real programs on the other end: netcat and socat.

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

#include "SocketTestSupport.h"
#include "sockets/WSocket.h"

using namespace sockettest;

namespace {

// Runs a shell command and returns its standard output.
std::string RunCommand(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

TEST(OutsidePeer, NetcatTalksToTheListeningSocket) {
  TWSocket server, session;
  server.SetAddr("127.0.0.1");
  server.SetPort("0");
  server.Listen();
  std::string port = server.GetBoundPort();
  std::string heard;
  int closed = 0;
  server.OnSessionAvailable = [&](TCustomWSocket* l, std::uint16_t) {
    session.SetLingerOnOff(wsLingerOff);  // let the echo reach nc before the close
    session.Dup(l->Accept());
    session.SendText("hello from talvo\r\n");
  };
  session.OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t) {
    std::string text = s->ReceiveText();
    heard += text;
    s->SendText(text);
  };
  session.OnSessionClosed = [&](TCustomWSocket*, std::uint16_t e) {
    EXPECT_EQ(e, 0);
    ++closed;
  };
  std::string out;
  std::thread nc([&] {
    out =
        RunCommand("printf 'one\\ntwo\\n' | (sleep 0.3; cat) | timeout 20 nc -N 127.0.0.1 " + port);
  });
  ASSERT_TRUE(WaitFor([&] { return closed == 1; }, 25000));
  nc.join();
  EXPECT_EQ(heard, "one\ntwo\n");
  EXPECT_EQ(out, "hello from talvo\r\none\ntwo\n");
  EXPECT_EQ(server.State(), wsListening);
}

TEST(OutsidePeer, SocatEchoesALargeBlockBack) {
  int port = ClosedPort();
  FILE* socat = popen(("timeout 30 socat -T 20 TCP-LISTEN:" + std::to_string(port) +
                       ",bind=127.0.0.1,reuseaddr EXEC:cat 2>&1")
                          .c_str(),
                      "r");
  ASSERT_NE(socat, nullptr);
  TWSocket client;
  std::string echoed;
  bool retry = false;
  client.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t e) { retry = e != 0; };
  client.OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t) {
    char buf[8192];
    int n = s->Receive(buf, sizeof(buf));
    if (n > 0) echoed.append(buf, static_cast<size_t>(n));
  };
  auto connect = [&] {
    client.SetAddr("127.0.0.1");
    client.SetPort(std::to_string(port));
    client.Connect();
  };
  // socat needs a moment before it listens: a refused connect is tried again.
  connect();
  ASSERT_TRUE(WaitFor([&] {
    if (retry && client.State() == wsClosed) {
      retry = false;
      Pump(50);
      connect();
    }
    return client.State() == wsConnected;
  }));
  std::string data = Pattern(300000, 3);
  client.Send(data.data(), static_cast<std::int32_t>(data.size()));
  ASSERT_TRUE(WaitFor([&] { return echoed.size() >= data.size(); }, 25000));
  EXPECT_TRUE(echoed == data);
  client.Close();
  pclose(socat);
}

}  // namespace
