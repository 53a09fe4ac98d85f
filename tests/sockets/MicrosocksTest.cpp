// The SOCKS layer against a real version 5 proxy on loopback (microsocks), with and without
// user name and password.

#include <gtest/gtest.h>

#include "SocksTestSupport.h"

using namespace sockettest;

namespace {

// microsocks on 127.0.0.1 and a free port, until destroyed.
class Microsocks {
 public:
  explicit Microsocks(const std::string& user = "", const std::string& password = "") {
    for (int attempt = 0; attempt < 5 && !running_; ++attempt) Start(user, password);
  }
  bool Running() const { return running_; }
  std::string PortText() const { return std::to_string(port_); }

 private:
  void Start(const std::string& user, const std::string& password) {
    port_ = ClosedPort();
    std::vector<std::string> args{"microsocks", "-i", "127.0.0.1", "-p", std::to_string(port_)};
    if (!user.empty()) args.insert(args.end(), {"-u", user, "-P", password});
    // Ready once it takes callers; gone when the port was taken meanwhile.
    running_ = process_.Start(args, "/dev/null") && WaitForPort(port_, process_, 5000);
    if (!running_) process_.Stop();
  }

  testsupport::PeerProcess process_;
  bool running_ = false;
  int port_ = 0;
};

void ConnectVia(TWSocket& s, const Microsocks& proxy, const std::string& target) {
  s.SetSocksServer("127.0.0.1");
  s.SetSocksPort(proxy.PortText());
  s.SetSocksLevel("5");
  s.SetAddr("127.0.0.1");
  s.SetPort(target);
  s.Connect();
}

// Both ways through the proxy: the target greets, the socket answers.
void Converse(TWSocket& s, SocksTrace& trace, RawListener& target) {
  int peer = target.Accept();
  ASSERT_GE(peer, 0);
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  ASSERT_TRUE(WriteAll(peer, "hello through the proxy\r\n"));
  ASSERT_TRUE(WaitFor([&] { return trace.data == "hello through the proxy\r\n"; }));
  s.SendText("and back\r\n");
  EXPECT_EQ(ReadSome(peer, 10), "and back\r\n");
  s.Close();
  EXPECT_EQ(ReadSome(peer, 1), "");  // the proxy passes the close on
  close(peer);
}

}  // namespace

TEST(Microsocks, ConnectsWithoutAuthentication) {
  Microsocks proxy;
  ASSERT_TRUE(proxy.Running());
  RawListener target;
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, target.PortText());
  Converse(s, trace, target);
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "connected 0", "closed 0"}));
  EXPECT_EQ(trace.states,
            (std::vector<int>{wsOpened, wsConnecting, wsSocksConnected, wsConnected, wsClosed}));
  EXPECT_EQ(trace.connectedState, wsConnected);
}

TEST(Microsocks, ConnectsWithUserNameAndPassword) {
  Microsocks proxy("ham", "73 de k2");
  ASSERT_TRUE(proxy.Running());
  RawListener target;
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode("ham");
  s.SetSocksPassword("73 de k2");
  s.SetLineMode(true);
  ConnectVia(s, proxy, target.PortText());
  Converse(s, trace, target);
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 1",
                                                 "connected 0", "closed 0"}));
}

TEST(Microsocks, RefusesAWrongPassword) {
  Microsocks proxy("ham", "73 de k2");
  ASSERT_TRUE(proxy.Running());
  RawListener target;
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode("ham");
  s.SetSocksPassword("wrong");
  ConnectVia(s, proxy, target.PortText());
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 2",
                                                 "socks-error 20015 socks authentication failed",
                                                 "connected 20015", "closed 20015"}));
}

TEST(Microsocks, WantsAuthenticationThatWasNotOffered) {
  Microsocks proxy("ham", "73 de k2");
  ASSERT_TRUE(proxy.Running());
  RawListener target;
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, target.PortText());
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  EXPECT_EQ(trace.log,
            (std::vector<std::string>{"socks-connected 0",
                                      "socks-error 20003 authentification method not acceptable",
                                      "connected 20003", "closed 20003"}));
}

TEST(Microsocks, ReportsATargetThatRefuses) {
  Microsocks proxy;
  ASSERT_TRUE(proxy.Running());
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, std::to_string(ClosedPort()));
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  EXPECT_EQ(trace.log,
            (std::vector<std::string>{"socks-connected 0", "socks-error 20008 connection refused",
                                      "connected 20008", "closed 20008"}));
}

TEST(Microsocks, CallAndWaitAroundAProxiedConnect) {
  Microsocks proxy;
  ASSERT_TRUE(proxy.Running());
  RawListener target;
  TWSocket s;
  s.SetTimeout(15000);
  bool done = false;
  int error = -1;
  int socksConnected = -1;
  s.OnSocksConnected = [&](TCustomWSocket*, std::uint16_t e) { socksConnected = e; };
  s.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t e) {
    error = e;
    done = true;
  };
  EXPECT_EQ(s.CallAndWait([&] { ConnectVia(s, proxy, target.PortText()); }, done), 0);
  EXPECT_EQ(socksConnected, 0);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(s.State(), wsConnected);
  int peer = target.Accept();
  EXPECT_GE(peer, 0);
  s.Close();
  if (peer >= 0) close(peer);
}
