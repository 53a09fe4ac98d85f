// The SOCKS layer against a scripted proxy: the request bytes of every level, the replies that
// grant, and every reply that fails.

#include <gtest/gtest.h>

#include "SocksTestSupport.h"

using namespace sockettest;
using Step = FakeProxy::Step;

namespace {

// Target port 8021 goes on the wire as 0x1F 0x55.
const char* const kTargetPort = "8021";

void ConnectVia(TWSocket& s, FakeProxy& proxy, const std::string& level, const std::string& addr) {
  s.SetSocksServer(" 127.0.0.1 ");
  s.SetSocksPort(proxy.PortText());
  s.SetSocksLevel(level);
  s.SetAddr(addr);
  s.SetPort(kTargetPort);
  s.Connect();
}

std::string V5Connect(const std::string& name) {
  return Bytes({5, 1, 0, 3, static_cast<int>(name.size())}) + name + Bytes({0x1F, 0x55});
}

const std::string kV5Granted = Bytes({5, 0, 0, 1, 10, 1, 2, 3, 0x12, 0x34});

}  // namespace

TEST(SocksProperties, LevelServerAndPortFollowTheirRules) {
  TWSocket s;
  EXPECT_EQ(s.SocksLevel(), "5");
  EXPECT_EQ(s.SocksServer(), "");
  EXPECT_EQ(s.SocksAuthentication(), socksNoAuthentication);
  s.SetSocksLevel("4a");
  EXPECT_EQ(s.SocksLevel(), "4A");
  s.SetSocksLevel("4");
  EXPECT_EQ(s.SocksLevel(), "4");
  EXPECT_EQ(Raised([&] { s.SetSocksLevel("3"); }), "Invalid socks level. Must be 4, 4A or 5.");
  EXPECT_EQ(Raised([&] { s.SetSocksLevel(""); }), "Invalid socks level. Must be 4, 4A or 5.");
  EXPECT_EQ(s.SocksLevel(), "4");
  s.SetSocksServer("  proxy.example \t");
  s.SetSocksPort(" 1080 ");
  EXPECT_EQ(s.SocksServer(), "proxy.example");
  EXPECT_EQ(s.SocksPort(), "1080");

  // With an OnError handler the refusal goes there instead of raising.
  int errors = 0;
  s.OnError = [&](TCustomWSocket*) { ++errors; };
  s.SetSocksLevel("6");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.SocksLevel(), "4");
}

TEST(SocksProperties, ProxySettingsAreFixedWhileOpenAndResetByTheClose) {
  FakeProxy proxy({{3, ""}}, true);
  TWSocket s;
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_NE(s.State(), wsClosed);
  EXPECT_EQ(Raised([&] { s.SetSocksServer("10.0.0.1"); }),
            "Can't change socks server if not closed");
  EXPECT_EQ(Raised([&] { s.SetSocksPort("1"); }), "Can't change socks port if not closed");
  EXPECT_EQ(Raised([&] { s.SetSocksLevel("4"); }), "Can't change socks level if not closed");
  EXPECT_EQ(Raised([&] { s.Listen(); }), "Listening is not supported thru socks server");
  EXPECT_EQ(s.SocksServer(), "127.0.0.1");
  EXPECT_EQ(s.SocksLevel(), "5");
  s.SetSocksUsercode("kept");
  s.Close();
  EXPECT_EQ(s.SocksServer(), "");
  EXPECT_EQ(s.SocksPort(), "");
  EXPECT_EQ(s.SocksLevel(), "5");
  EXPECT_EQ(s.SocksUsercode(), "kept");
}

TEST(SocksProperties, OnlyTcpGoesThroughAProxy) {
  TWSocket s;
  s.SetSocksServer("127.0.0.1");
  s.SetSocksPort("1080");
  s.SetAddr("127.0.0.1");
  s.SetPort("9");
  s.SetProto("udp");
  EXPECT_EQ(Raised([&] { s.Connect(); }), "tcp is the only protocol supported thru socks server");
  EXPECT_EQ(s.State(), wsClosed);
  s.SetSocksServer("");
  s.SetAddr("127.0.0.1");
  s.SetPort("9");
  s.SetProto("udp");
  s.Connect();  // without a proxy the core's datagram socket
  EXPECT_EQ(s.State(), wsConnected);
  s.Close();
}

TEST(SocksProperties, AConnectThatDoesNotStartLeavesNoProxyBehind) {
  TWSocket s;
  s.SetSocksServer("127.0.0.1");
  s.SetSocksPort("99999");
  s.SetAddr("127.0.0.1");
  s.SetPort("80");
  EXPECT_EQ(Raised([&] { s.Connect(); }), "connect: WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(s.State(), wsClosed);

  // The proxy resolves, then the core refuses the local port: the next connect without a proxy
  // must reach the target, not the proxy's address.
  RawListener target;
  s.SetSocksPort(std::to_string(ClosedPort()));
  s.SetPort(target.PortText());
  s.SetLocalPort("99999");
  EXPECT_EQ(Raised([&] { s.Connect(); }), "connect: WSocketResolvePort: Invalid Port.");
  s.SetLocalPort("0");
  s.SetSocksServer("");
  int connected = -1;
  s.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t e) { connected = e; };
  s.Connect();
  int peer = target.Accept(5000);
  ASSERT_TRUE(WaitFor([&] { return connected >= 0; }));
  EXPECT_EQ(connected, 0);
  EXPECT_GE(peer, 0);
  if (peer >= 0) close(peer);
}

TEST(SocksProperties, WithoutAProxyTheCoreConnectsAndReceives) {
  RawListener target;
  TWSocket s;
  SocksTrace trace(s);
  s.SetAddr("127.0.0.1");
  s.SetPort(target.PortText());
  s.Connect();
  int peer = target.Accept();
  ASSERT_GE(peer, 0);
  WriteAll(peer, "plain");
  ASSERT_TRUE(WaitFor([&] { return trace.data == "plain"; }));
  EXPECT_EQ(trace.log, (std::vector<std::string>{"connected 0"}));
  EXPECT_EQ(trace.states, (std::vector<int>{wsOpened, wsConnecting, wsConnected}));
  close(peer);
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
}

// --- Version 5 --------------------------------------------------------------------------------

TEST(Socks5, RequestBytesStatesAndBoundAddress) {
  FakeProxy proxy({{3, Bytes({5, 0})}, {19, kV5Granted}, {6, "pong\r\n"}}, true);
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  EXPECT_EQ(trace.connectedState, wsConnected);
  EXPECT_EQ(s.SocksBoundAddr(), "10.1.2.3");
  EXPECT_EQ(s.SocksBoundPort(), "4660");
  s.SendText("ping\r\n");
  ASSERT_TRUE(WaitFor([&] { return trace.data == "pong\r\n"; }));
  s.Close();
  const auto& requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], Bytes({5, 1, 0}));
  EXPECT_EQ(requests[1], V5Connect("host.example"));
  EXPECT_EQ(requests[2], "ping\r\n");
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "connected 0", "closed 0"}));
  EXPECT_EQ(trace.states,
            (std::vector<int>{wsOpened, wsConnecting, wsSocksConnected, wsConnected, wsClosed}));
}

TEST(Socks5, ADottedTargetStillGoesAsAName) {
  FakeProxy proxy({{3, Bytes({5, 0})}, {16, kV5Granted}});
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, "5", "192.0.2.7");
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  EXPECT_EQ(proxy.Requests()[1], V5Connect("192.0.2.7"));
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "connected 0", "closed 0"}));
}

TEST(Socks5, UserNameAndPassword) {
  FakeProxy proxy({{3, Bytes({5, 2})}, {2 + 5 + 1 + 6, Bytes({1, 0})}, {19, kV5Granted}}, true);
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode("alice");
  s.SetSocksPassword("s3cret");
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  s.Close();
  const auto& requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], Bytes({5, 1, 2}));
  EXPECT_EQ(requests[1], Bytes({1, 5}) + "alice" + Bytes({6}) + "s3cret");
  EXPECT_EQ(requests[2], V5Connect("host.example"));
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 1",
                                                 "connected 0", "closed 0"}));
}

TEST(Socks5, NoAuthenticationChosenAlthoughOffered) {
  FakeProxy proxy({{3, Bytes({5, 0})}, {19, kV5Granted}}, true);
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode("alice");
  s.SetSocksPassword("s3cret");
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  s.Close();
  EXPECT_EQ(proxy.Requests()[0], Bytes({5, 1, 2}));
  EXPECT_EQ(proxy.Requests()[1], V5Connect("host.example"));
  EXPECT_EQ(trace.log,
            (std::vector<std::string>{"socks-connected 0", "auth 3", "connected 0", "closed 0"}));
}

TEST(Socks5, AProxyThatClosesDuringAuthentication) {
  FakeProxy proxy({{3, Bytes({5, 2})}, {2 + 5 + 1 + 6, ""}});
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode("alice");
  s.SetSocksPassword("s3cret");
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  EXPECT_EQ(trace.log,
            (std::vector<std::string>{"socks-connected 0", "auth 0", "auth 2", "closed 0"}));
  EXPECT_EQ(trace.connected, 0);
}

TEST(Socks5, DataBehindTheReplyComesFirst) {
  // The proxy sends more only once the socket has answered the bytes that came with the reply:
  // they must be delivered without waiting for another read.
  FakeProxy proxy({{3, Bytes({5, 0})}, {19, kV5Granted + "HELLO"}, {2, "WORLD"}}, true);
  TWSocket s;
  SocksTrace trace(s);
  auto record = s.OnDataAvailable;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t e) {
    record(sender, e);
    if (trace.data == "HELLO") sender->SendText("ok");
  };
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.data == "HELLOWORLD"; }));
  EXPECT_EQ(trace.rcvdAtConnect, 5);  // the leftover, counted at once
  EXPECT_EQ(trace.reads, (std::vector<std::string>{"HELLO", "WORLD"}));
  s.Close();
}

TEST(Socks5, LeftoverReadPieceByPieceAndInLineMode) {
  // A reply that names a long bound host (longer than a 128-byte buffer would take), with two
  // lines and a piece of a third behind it.
  std::string bound(200, 'b');
  std::string reply = Bytes({5, 0, 0, 3, 200}) + bound + Bytes({0, 80});
  FakeProxy proxy({{3, Bytes({5, 0})}, {19, reply + "one\r\ntwo\r\nthr"}, {3, "ee\r\n"}}, true);
  TWSocket s;
  std::vector<std::string> lines;
  int connected = -1;
  s.SetLineMode(true);
  s.OnSessionConnected = [&](TCustomWSocket*, std::uint16_t e) { connected = e; };
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    lines.push_back(sender->ReceiveText());
    if (lines.size() == 2) sender->SendText("go\n");  // the rest comes after the first two
  };
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return lines.size() >= 3; }));
  EXPECT_EQ(connected, 0);
  EXPECT_EQ(s.SocksBoundAddr(), bound);
  EXPECT_EQ(s.SocksBoundPort(), "80");
  EXPECT_EQ(lines, (std::vector<std::string>{"one\r\n", "two\r\n", "three\r\n"}));
  s.Close();
}

TEST(Socks5, ReceiveTakesTheLeftoverInPieces) {
  FakeProxy proxy({{3, Bytes({5, 0})}, {19, kV5Granted + "ABCDEFG"}}, true);
  TWSocket s;
  std::string got;
  std::int32_t counted = -1;
  s.OnDataAvailable = [&](TCustomWSocket* sender, std::uint16_t) {
    if (counted < 0) counted = sender->RcvdCount();
    char two[2];
    int n = sender->Receive(two, 2);
    if (n > 0) got.append(two, static_cast<std::size_t>(n));
  };
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return got == "ABCDEFG"; }));
  EXPECT_EQ(counted, 7);
  s.Close();
}

TEST(Socks5, AnIpv6BoundAddressIsAccepted) {
  std::string reply =
      Bytes({5, 0, 0, 4, 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x04, 0x38});
  FakeProxy proxy({{3, Bytes({5, 0})}, {19, reply + "x"}}, true);
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, "5", "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.data == "x"; }));
  EXPECT_EQ(s.SocksBoundAddr(), "2001:db8:0:0:0:0:0:1");
  EXPECT_EQ(s.SocksBoundPort(), "1080");
  s.Close();
}

TEST(Socks5, ARefusedProxyConnectionIsReportedTwice) {
  int port = ClosedPort();
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksServer("127.0.0.1");
  s.SetSocksPort(std::to_string(port));
  s.SetAddr("host.example");
  s.SetPort(kTargetPort);
  s.Connect();
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  Pump(100);
  ASSERT_GE(trace.log.size(), 2u);
  EXPECT_EQ(trace.log[0], "socks-connected 10061");
  EXPECT_EQ(trace.log[1], "connected 10061");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(trace.connected, 1);
}

// --- Versions 4 and 4A ------------------------------------------------------------------------

TEST(Socks4, RequestResolvesTheTargetLocally) {
  FakeProxy proxy({{8 + 3 + 1, Bytes({0, 90, 0, 0, 0, 0, 0, 0}) + "HI"}, {3, "yes"}}, true);
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksUsercode("bob");
  ConnectVia(s, proxy, "4", "127.0.0.1");
  ASSERT_TRUE(WaitFor([&] { return trace.data == "HI"; }));
  s.SendText("ok?");
  ASSERT_TRUE(WaitFor([&] { return trace.data == "HIyes"; }));
  s.Close();
  EXPECT_EQ(proxy.Requests()[0], Bytes({4, 1, 0x1F, 0x55, 127, 0, 0, 1}) + "bob" + Bytes({0}));
  EXPECT_EQ(proxy.Requests()[1], "ok?");
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "connected 0", "closed 0"}));
  EXPECT_EQ(trace.states,
            (std::vector<int>{wsOpened, wsConnecting, wsSocksConnected, wsConnected, wsClosed}));
}

TEST(Socks4, LevelFourASendsTheName) {
  FakeProxy proxy({{8 + 1 + 13, Bytes({0, 90, 0, 0, 0, 0, 0, 0})}}, true);
  TWSocket s;
  SocksTrace trace(s);
  ConnectVia(s, proxy, "4a", "target.local");
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  s.Close();
  EXPECT_EQ(proxy.Requests()[0],
            Bytes({4, 1, 0x1F, 0x55, 0, 0, 0, 1, 0}) + "target.local" + Bytes({0}));
  EXPECT_EQ(trace.log, (std::vector<std::string>{"socks-connected 0", "connected 0", "closed 0"}));
}

TEST(Socks4, ATargetThatCannotBeResolved) {
  FakeProxy proxy({{1, ""}});
  TWSocket s;
  SocksTrace trace(s);
  std::string name(300, 'n');
  ConnectVia(s, proxy, "4", name);
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  EXPECT_EQ(trace.log,
            (std::vector<std::string>{"socks-connected 0",
                                      "socks-error 20017 ESocketException WSocketResolveHost: '" +
                                          name + "' Invalid Hostname.",
                                      "closed 20017"}));
  EXPECT_EQ(proxy.Requests()[0], "");  // nothing was sent
}

// --- Every failing reply ------------------------------------------------------------------------

struct FailureCase {
  const char* name;
  std::string level;
  std::vector<Step> steps;
  int code;
  std::string text;
  bool authenticate = false;
};

class SocksFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(SocksFailure, IsReportedThenClosed) {
  const FailureCase& c = GetParam();
  FakeProxy proxy(c.steps, true);
  TWSocket s;
  SocksTrace trace(s);
  if (c.authenticate) {
    s.SetSocksAuthentication(socksAuthenticateUsercode);
    s.SetSocksUsercode("alice");
    s.SetSocksPassword("s3cret");
  }
  // Version 4 resolves the target here, so it gets an address.
  ConnectVia(s, proxy, c.level, c.level == "4" ? "127.0.0.1" : "host.example");
  ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
  std::string code = std::to_string(c.code);
  std::vector<std::string> expected{"socks-connected 0"};
  if (c.authenticate && c.code != 20003 && c.steps[0].reply == Bytes({5, 2})) {
    expected.push_back("auth 0");
    if (c.code == 20015) expected.push_back("auth 2");
  }
  expected.push_back("socks-error " + code + " " + c.text);
  expected.push_back("connected " + code);
  expected.push_back("closed " + code);
  EXPECT_EQ(trace.log, expected);
  EXPECT_EQ(trace.connectedState, wsSocksConnected);
  EXPECT_EQ(s.State(), wsClosed);
}

std::vector<Step> V4Reply(int version, int status) {
  return {{8 + 1, Bytes({version, status, 0, 0, 0, 0, 0, 0})}};
}

std::vector<Step> V5Reply(int version, int status, int type = 1) {
  return {{3, Bytes({5, 0})}, {19, Bytes({version, status, 0, type, 0, 0, 0, 0, 0, 0})}};
}

const std::string kAuthRequest = Bytes({1, 5}) + "alice" + Bytes({6}) + "s3cret";

INSTANTIATE_TEST_SUITE_P(
    Replies, SocksFailure,
    testing::Values(
        FailureCase{"V4Rejected", "4", V4Reply(0, 91), 20016, "request rejected or failed"},
        FailureCase{"V4Refused", "4", V4Reply(0, 92), 20008, "connection refused"},
        FailureCase{"V4IdentFailed", "4", V4Reply(0, 93), 20015, "authentification failed"},
        FailureCase{"V4Unassigned", "4", V4Reply(0, 94), 20012, "unassigned error #94"},
        FailureCase{"V4Version", "4", V4Reply(4, 90), 20002, "socks version error"},
        FailureCase{"V5General", "5", V5Reply(5, 1), 20004, "general SOCKS server failure"},
        FailureCase{"V5Ruleset", "5", V5Reply(5, 2), 20005, "connection not allowed by ruleset"},
        FailureCase{"V5Network", "5", V5Reply(5, 3), 20006, "network unreachable"},
        FailureCase{"V5Host", "5", V5Reply(5, 4), 20007, "host unreachable"},
        FailureCase{"V5Refused", "5", V5Reply(5, 5), 20008, "connection refused"},
        FailureCase{"V5Ttl", "5", V5Reply(5, 6), 20009, "time to live expired"},
        FailureCase{"V5Command", "5", V5Reply(5, 7), 20010, "command not supported"},
        FailureCase{"V5AddressType", "5", V5Reply(5, 8), 20011, "address type not supported"},
        FailureCase{"V5Unassigned", "5", V5Reply(5, 9), 20012, "unassigned error #9"},
        FailureCase{"V5ReplyVersion", "5", V5Reply(4, 0), 20002, "socks version error"},
        FailureCase{"V5BoundType", "5", V5Reply(5, 0, 2), 20011, "address type not supported"},
        FailureCase{"V5MethodVersion", "5", {{3, Bytes({4, 0})}}, 20002, "socks version error"},
        FailureCase{"V5NoMethod",
                    "5",
                    {{3, Bytes({5, 0xFF})}},
                    20003,
                    "authentification method not acceptable"},
        FailureCase{"V5AuthRefused",
                    "5",
                    {{3, Bytes({5, 2})}, {kAuthRequest.size(), Bytes({1, 1})}},
                    20015,
                    "socks authentication failed",
                    true},
        FailureCase{"V5AuthVersion",
                    "5",
                    {{3, Bytes({5, 2})}, {kAuthRequest.size(), Bytes({5, 0})}},
                    20002,
                    "socks version error",
                    true},
        FailureCase{"V5AuthTooLong",
                    "5",
                    {{3, Bytes({5, 2})}, {kAuthRequest.size(), Bytes({1, 0, 0})}},
                    20001,
                    "too much data availaible",
                    true}),
    [](const testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

// --- Values the requests cannot carry ------------------------------------------------------------

TEST(SocksLimits, FieldsOf255BytesGoWhole) {
  std::string name(255, 'h');
  std::string user(255, 'u');
  std::string pass(255, 'p');
  FakeProxy proxy({{3, Bytes({5, 2})}, {3 + 255 + 255, Bytes({1, 0})}, {5 + 255 + 2, kV5Granted}},
                  true);
  TWSocket s;
  SocksTrace trace(s);
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode(user);
  s.SetSocksPassword(pass);
  ConnectVia(s, proxy, "5", name);
  ASSERT_TRUE(WaitFor([&] { return trace.connected > 0; }));
  s.Close();
  EXPECT_EQ(trace.log[trace.log.size() - 2], "connected 0");
  EXPECT_EQ(proxy.Requests()[1], Bytes({1, 255}) + user + Bytes({255}) + pass);
  EXPECT_EQ(proxy.Requests()[2], V5Connect(name));
}

TEST(SocksLimits, LongerValuesFailInsteadOfBeingCut) {
  struct Case {
    std::string level, user, pass, addr;
    std::vector<Step> steps;
    std::string text;
  };
  std::string longer(256, 'x');
  std::vector<Case> cases = {
      {"5", "", "", longer, {{3, Bytes({5, 0})}}, "socks target name longer than 255 bytes"},
      {"5", longer, "pw", "h", {{3, Bytes({5, 2})}}, "socks user code longer than 255 bytes"},
      {"5", "me", longer, "h", {{3, Bytes({5, 2})}}, "socks password longer than 255 bytes"},
      {"4", longer, "", "127.0.0.1", {{1, ""}}, "socks user code longer than 255 bytes"},
      {"4A", "me", "", longer, {{1, ""}}, "socks target name longer than 255 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level + " " + c.text);
    FakeProxy proxy(c.steps, true);
    TWSocket s;
    SocksTrace trace(s);
    if (!c.pass.empty()) s.SetSocksAuthentication(socksAuthenticateUsercode);
    s.SetSocksUsercode(c.user);
    s.SetSocksPassword(c.pass);
    ConnectVia(s, proxy, c.level, c.addr);
    ASSERT_TRUE(WaitFor([&] { return trace.Ended(); }));
    EXPECT_EQ(trace.log,
              (std::vector<std::string>{"socks-connected 0", "socks-error 20014 " + c.text,
                                        "connected 20014", "closed 20014"}));
    // Only the method offer (version 5) went out; nothing cut or overlong followed it.
    std::string sent = proxy.Requests()[0] + proxy.Tail();
    EXPECT_EQ(sent, c.level == "5" ? proxy.Requests()[0] : "");
    EXPECT_LE(sent.size(), 3u);
  }
}
