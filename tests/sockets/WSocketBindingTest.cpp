#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>

#include "sockets/WSocket.h"
#include "sockets/WSocketBinding.h"
#include "tests/sockets/SocketTestSupport.h"

namespace {

constexpr auto& RaisedText = sockettest::Raised;

TEST(WinsockErrorText, KnownCodesHaveTheirTextsAndOthersSaySo) {
  EXPECT_EQ(WinsockErrorText(0), "No Error");
  EXPECT_EQ(WinsockErrorText(10022), "Invalid argument");
  EXPECT_EQ(WinsockErrorText(10035), "Operation would block");
  EXPECT_EQ(WinsockErrorText(10054), "Connection reset by peer");
  EXPECT_EQ(WinsockErrorText(10061), "Connection refused");
  EXPECT_EQ(WinsockErrorText(10093), "WinSock not initialized");
  EXPECT_EQ(WinsockErrorText(11001), "Host not found");
  EXPECT_EQ(WinsockErrorText(11002), "Non-authoritative host not found");
  EXPECT_EQ(WinsockErrorText(11003), "Non-recoverable error");
  EXPECT_EQ(WinsockErrorText(11004), "No Data");
  EXPECT_EQ(WinsockErrorText(10072), "Not a WinSock error");
  EXPECT_EQ(WinsockErrorText(5), "Not a WinSock error");
  EXPECT_EQ(WSocketErrorDesc(10057, "Send"),
            "Error 10057 in function Send\r\nSocket is not connected");
}

TEST(WinsockErrorText, LinuxErrorsMapToTheWinsockCodes) {
  using platform::winsock::ErrnoToWinsock;
  EXPECT_EQ(ErrnoToWinsock(ECONNREFUSED), 10061);
  EXPECT_EQ(ErrnoToWinsock(ECONNRESET), 10054);
  EXPECT_EQ(ErrnoToWinsock(EPIPE), 10054);
  EXPECT_EQ(ErrnoToWinsock(EAGAIN), 10035);
  EXPECT_EQ(ErrnoToWinsock(EINPROGRESS), 10035);
  EXPECT_EQ(ErrnoToWinsock(ENOTCONN), 10057);
  EXPECT_EQ(ErrnoToWinsock(EADDRINUSE), 10048);
  EXPECT_EQ(ErrnoToWinsock(ETIMEDOUT), 10060);
  EXPECT_EQ(ErrnoToWinsock(EHOSTUNREACH), 10065);
  EXPECT_EQ(ErrnoToWinsock(EBADF), 10038);
}

TEST(DottedQuad, OnlyFourPartsOfAtMost255WithBlanksAround) {
  EXPECT_TRUE(WSocketIsDottedIP("192.168.2.1"));
  EXPECT_TRUE(WSocketIsDottedIP("  10.0.0.5  "));
  EXPECT_TRUE(WSocketIsDottedIP("255.255.255.255"));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.3"));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.3.4.5"));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.3.256"));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.300.4"));
  EXPECT_FALSE(WSocketIsDottedIP(".1.2.3"));
  EXPECT_FALSE(WSocketIsDottedIP("1..2.3"));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.3."));
  // The first other character ends the address; only blanks may follow it.
  EXPECT_TRUE(WSocketIsDottedIP("1.2.3.4x"));
  EXPECT_TRUE(WSocketIsDottedIP("1.2.3.4\t "));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.3.4xy"));
  EXPECT_FALSE(WSocketIsDottedIP("1.2.3.4x y"));
  EXPECT_FALSE(WSocketIsDottedIP("localhost"));
  EXPECT_FALSE(WSocketIsDottedIP("99999999999999999999.1.1.1"));
}

TEST(Resolve, HostsFromQuadsAndNames) {
  EXPECT_EQ(WSocketResolveHost("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(WSocketResolveHost(" 10.1.2.3 "), htonl(0x0A010203));
  EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(WSocketResolveHost("localhost"), htonl(0x7F000001));
  EXPECT_EQ(RaisedText([] { WSocketResolveHost(""); }), "WSocketResolveHost: '' Invalid Hostname.");
  EXPECT_EQ(RaisedText([] { WSocketResolveHost(std::string(257, 'a')); }),
            "WSocketResolveHost: '" + std::string(257, 'a') + "' Invalid Hostname.");
  // Two dots: a name, and glibc must not read it as the address 1.2.0.3.
  EXPECT_EQ(RaisedText([] { WSocketResolveHost("1.2.3"); }),
            "WSocketResolveHost: Cannot convert host address '1.2.3', Error #11001");
  // Four parts with a stray character behind: an address that does not convert.
  EXPECT_EQ(RaisedText([] { WSocketResolveHost("1.2.3.4x"); }),
            "WSocketResolveHost: '1.2.3.4x' Invalid IP address.");
}

TEST(Resolve, PortsFromNumbersAndServiceNames) {
  EXPECT_EQ(WSocketResolvePort("6110", "tcp"), 6110);
  EXPECT_EQ(WSocketResolvePort("0", "tcp"), 0);
  EXPECT_EQ(WSocketResolvePort("65535", "tcp"), 65535);
  EXPECT_EQ(WSocketResolvePort("80abc", "tcp"), 80);
  EXPECT_EQ(WSocketResolvePort("http", "tcp"), 80);
  EXPECT_EQ(RaisedText([] { WSocketResolvePort("70000", "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(RaisedText([] { WSocketResolvePort("99999999999999999999", "tcp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(RaisedText([] { WSocketResolvePort("", "tcp"); }), "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(RaisedText([] { WSocketResolvePort("80", ""); }), "WSocketResolvePort: Invalid Proto.");
  EXPECT_EQ(RaisedText([] { WSocketResolvePort("nosuchservice", "tcp"); }),
            "WSocketResolvePort: Cannot convert port 'nosuchservice', Error #11004");
}

TEST(Resolve, ProtocolsFromNumbersAndNames) {
  EXPECT_EQ(WSocketResolveProto("tcp"), 6);
  EXPECT_EQ(WSocketResolveProto("UDP"), 17);
  EXPECT_EQ(WSocketResolveProto("raw"), 255);
  EXPECT_EQ(WSocketResolveProto("1"), 1);
  EXPECT_EQ(WSocketResolveProto("icmp"), 1);
  EXPECT_EQ(RaisedText([] { WSocketResolveProto(""); }), "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(RaisedText([] { WSocketResolveProto("nosuchproto"); }),
            "WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #11004");
}

TEST(Binding, LocalHostNameIsTheMachines) {
  char name[256] = {};
  gethostname(name, sizeof(name) - 1);
  EXPECT_EQ(GetLocalHostName(), std::string(name).substr(0, 63));
}

TEST(Binding, LastSocketReleasesTheLibraryAndTheVersionIsFixedWhileStarted) {
  WSocketUnload();
  ASSERT_FALSE(WSocketLoaded());
  {
    TWSocket s;
    EXPECT_EQ(WSocketCount(), 1);
    EXPECT_FALSE(WSocketLoaded());  // started by the first platform call, not by construction
    s.SetReqVerHigh(2);             // allowed before the start
    EXPECT_EQ(s.ReqVerHigh(), 2);
    s.SetReqVerHigh(1);
    s.SetAddr("127.0.0.1");
    s.SetPort("1");
    s.SetProto("udp");
    s.Connect();
    EXPECT_TRUE(WSocketLoaded());
    EXPECT_NE(RaisedText([&] {
                s.SetReqVerHigh(2);
              }).find("SetReqVerHigh: WinSock version can't be changed now"),
              std::string::npos);
    s.SetReqVerHigh(1);  // the same value is no change
    s.Close();
  }
  EXPECT_EQ(WSocketCount(), 0);
  EXPECT_FALSE(WSocketLoaded());

  // A version the library cannot serve fails the start, and the next start works again.
  ASSERT_TRUE(WSocketSetReqVer(0, 1));
  EXPECT_EQ(RaisedText([] { WSocketLoad(); }), "wsock32.dll: WSAStartup error #10092");
  ASSERT_TRUE(WSocketSetReqVer(1, 1));
  TWSocket s;
  s.SetAddr("127.0.0.1");
  s.SetPort("1");
  s.SetProto("udp");
  s.Connect();
  EXPECT_EQ(s.State(), wsConnected);
}

}  // namespace
