#pragma once

// The real TalvoServer program as a process in a temporary home, with the simulated K2 as its
// radio and a free loopback port; the tests speak to it with line clients.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "common/Utils.h"
#include "platform/Sockets.h"
#include "sockets/LinkWatch.h"
#include "tests/support/FileContents.h"
#include "tests/support/LineClient.h"
#include "tests/support/TalvoProcess.h"
#include "tests/support/k2sim/K2Simulator.h"

namespace server_program {

inline constexpr auto& Contents = FileContents;

// The MD5 digest as md5sum computes it, upper case: an outside check of the login.
inline std::string Md5sum(const std::string& text, const std::string& folder) {
  std::string path = folder + "/digest-input";
  std::ofstream(path, std::ios::binary) << text;
  FILE* p = popen(("md5sum " + path).c_str(), "r");
  char buf[33] = {};
  std::size_t n = p ? fread(buf, 1, 32, p) : 0;
  if (p) pclose(p);
  std::string hex(buf, n);
  for (char& c : hex) c = static_cast<char>(toupper(c));
  return hex;
}

// Network namespaces for a link that fails, named for this run; all go with the object. Needs
// root and ip. Make: two joined by a veth pair, the server's side 10.61.0.1, the caller's
// 10.61.0.2. MakeRouted: the two joined through a third, a router, the server's side 10.61.0.1,
// the caller's 10.61.1.2, so that an outage in the path (Outage) is silent loss to both ends, and
// their retransmissions back off as on a real path; options shape the path as
// scripts/netns-routed.sh takes them ("--rtt 600 " + kPathDelayer: a long path).
struct NetLink {
  std::string server, caller, router;
  static bool Sh(const std::string& script) { return std::system(script.c_str()) == 0; }
  bool Make() {
    Name();
    return Sh("s=" + server + " c=" + caller +
              "; set -e; ip netns add $s; ip netns add $c"
              "; ip link add $s type veth peer name $c netns $c; ip link set $s netns $s"
              "; ip -n $s addr add 10.61.0.1/30 dev $s; ip -n $c addr add 10.61.0.2/30 dev $c"
              "; ip -n $s link set $s up; ip -n $c link set $c up");
  }
  bool MakeRouted(const std::string& options = "") {
    Name();
    router = server.substr(0, server.size() - 1) + "r";
    return Sh("bash " TALVO_SOURCE_DIR "/scripts/netns-routed.sh " + options + " " + server + " " +
              caller + " " + router);
  }
  // "add" cuts the link (no packet passes either way: no FIN, no RST), "del" mends it.
  bool Blackhole(const std::string& verb) {
    return Sh("ip -n " + server + " route " + verb + " blackhole 10.61.0.2 && ip -n " + caller +
              " route " + verb + " blackhole 10.61.0.1");
  }
  // The same in the router, between the two ends of a routed link.
  bool Outage(const std::string& verb) {
    return Sh("ip -n " + router + " route " + verb + " blackhole 10.61.0.1 && ip -n " + router +
              " route " + verb + " blackhole 10.61.1.2");
  }
  ~NetLink() {
    if (server.empty()) return;
    Sh("(ip link del " + server + "; bash " TALVO_SOURCE_DIR "/scripts/netns-gone.sh " + server +
       " " + caller + " " + router + ") 2>/dev/null");
  }

 private:
  void Name() {
    static int made = 0;
    const std::string id = "tlv" + std::to_string(getpid()) + "n" + std::to_string(made++);
    server = id + "s", caller = id + "c";
  }
};

// While it lives, the sockets that this thread makes (and the processes it starts) are the
// namespace's.
struct InNetns {
  explicit InNetns(const std::string& name) {
    const int fd = ::open(("/run/netns/" + name).c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(::setns(fd, CLONE_NEWNET), 0) << name;
    ::close(fd);
  }
  ~InNetns() { ::setns(home, CLONE_NEWNET), ::close(home); }
  int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
};

// Whether this kernel lets a connection cap its retransmission interval as the programs do.
inline bool RetransmitMaxOffered() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  const int ms = kLinkRetransmitMaxMs;
  const bool offered =
      ::setsockopt(fd, IPPROTO_TCP, platform::winsock::kTcpRtoMaxMsOption, &ms, sizeof ms) == 0;
  ::close(fd);
  return offered;
}

inline int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

class ServerProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info->name();
    std::replace(name.begin(), name.end(), '/', '-');  // a row of a table is "Name/N"
    home_ = std::string(std::getenv("TALVO_HOME")) + "/" + name;
    mkdir(home_.c_str(), 0700);
    ini_ = home_ + "/TalvoServer.ini";
    port_ = FreePort();
    sim_.Start();
    Ini("COMM", "Port", sim_.SlavePath());
    Ini("Control", "Port", std::to_string(port_));
    Ini("Control", "Address", "127.0.0.1");
    AddUser(1, "alice", "secret", 1);
    AddUser(2, "bob", "pw2", 0);
    AddUser(3, "carol", "top", 2);
    Ini("Messages", "Welcome", "You are connected to my K2.||You have %p access.");
    Ini("Messages", "Busy", "My K2 is busy. Please try again later.");
    Ini("Messages", "Logging Out", "Logging out. 73!");
  }

  void TearDown() override { Stop(); }

  void Ini(const std::string& section, const std::string& key, const std::string& value) {
    WriteIniString(ini_, section, key, value);
  }

  void AddUser(int n, const std::string& user, const std::string& password, int level) {
    Ini("Users", "User " + std::to_string(n), user);
    Ini("Passwords", user, Scramble(password, 2958));
    Ini("Privileges", user, std::to_string(level));
  }

  // On Qt's offscreen platform, or on another one ("xcb": the test's X display).
  void Start(const QString& platform = QStringLiteral("offscreen")) {
    const QStringList netns{"ip", "netns", "exec", QString::fromStdString(link_.server)};
    StartTalvoProcess(server_, QStringLiteral(TALVO_SERVER_BINARY), home_, platform,
                      link_.server.empty() ? QStringList() : netns);
  }

  void Stop() {
    if (server_.state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(server_.processId()), SIGTERM);
    if (!server_.waitForFinished(15000)) {
      server_.kill();
      server_.waitForFinished(5000);
    }
  }

  // Connects, reads the banner and logs in; the banner, or "" on failure.
  std::string Login(LineClient& client, const std::string& user, const std::string& password) {
    if (!client.Connect(port_, 15000, address_)) return "";
    std::string banner = client.ReadLine(10000);
    client.SendLine("auth " + user + " " + ToLower(Md5sum(banner + password, home_)));
    return banner;
  }

  // Starts the server and logs user in; the "PRIV" line that starts the session.
  std::string StartSession(LineClient& client, const std::string& user,
                           const std::string& password) {
    Start();
    Login(client, user, password);
    return client.WaitFor("PRIV", 10000);
  }

  // Waits until the event log holds text; the log as last read.
  std::string WaitLog(const std::string& text, int timeoutMs = 10000) {
    std::string log;
    for (int waited = 0; waited < timeoutMs; waited += 50) {
      log = Contents(home_ + "/TalvoServer.log");
      if (log.find(text) != std::string::npos) break;
      platform::WaitMessages(50);
    }
    return log;
  }

  // Connects until the server takes the caller (an address in its login back-off is refused
  // with the banner and the busy text); the banner, or "" when it was not taken in timeoutMs.
  std::string ConnectAdmitted(LineClient& client, int timeoutMs = 40000) {
    for (int waited = 0; waited < timeoutMs; waited += 500) {
      if (!client.Connect(port_, 15000)) return "";
      std::string banner = client.ReadLine(10000);
      if (banner.rfind("Talvo Server", 0) == 0 && client.ReadLine(600) == "<timeout>")
        return banner;
      client.Close();
      platform::WaitMessages(500);
    }
    return "";
  }

  static std::string ToLower(std::string s) {
    for (char& c : s) c = static_cast<char>(tolower(c));
    return s;
  }

  std::string home_, ini_;
  int port_ = 0;
  std::string address_ = "127.0.0.1";
  k2sim::K2Simulator sim_;
  NetLink link_;  // when made, the server runs on its server side
  QProcess server_;
};

}  // namespace server_program
