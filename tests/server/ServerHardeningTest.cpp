// The real TalvoServer program against hostile and careless callers and a radio that is silent or
// goes away, each played with bounded loops on loopback.
#include <chrono>
#include <fstream>
#include <memory>
#include <vector>

#include "tests/support/ServerProgram.h"

namespace {

using namespace server_program;
using Clock = std::chrono::steady_clock;

long ResidentKiB(qint64 pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  return -1;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// What the flood may add to the server's resident memory: nothing of it is kept, but the address
// sanitizer holds freed blocks in its quarantine (256 MiB by default).
#if defined(__SANITIZE_ADDRESS__)
constexpr long kAllowedGrowthKiB = 300 * 1024;
#else
constexpr long kAllowedGrowthKiB = 32 * 1024;
#endif

class ServerHardening : public ServerProgram {};

TEST_F(ServerHardening, AStreamAfterAFailedLoginIsCutAndHeldInBoundedMemory) {
  Start();
  LineClient client;
  Login(client, "alice", "wrong");
  const long before = ResidentKiB(server_.processId());
  const std::string chunk(1 << 20, 'x');
  int sent = 0;
  while (sent < 512 && client.Send(chunk)) ++sent;  // ends when the server cuts the line
  EXPECT_LT(sent, 512);
  const long after = ResidentKiB(server_.processId());
  ASSERT_GT(before, 0);
  EXPECT_LT(after - before, kAllowedGrowthKiB) << before << " KiB, then " << after << " KiB";
  EXPECT_TRUE(client.WaitClosed(10000));
}

TEST_F(ServerHardening, ABurstOfRefusedCallersDoesNotDelayTheNextLogin) {
  Start();
  LineClient first;
  ASSERT_TRUE(first.Connect(port_, 15000));
  EXPECT_EQ(first.ReadLine(10000).rfind("Talvo Server", 0), 0u);
  // Each refused caller has its banner at once: the pauses before the busy text and the close
  // run beside each other instead of one after the other.
  const auto start = Clock::now();
  std::vector<std::unique_ptr<LineClient>> burst;
  for (int i = 0; i < 40; ++i) {
    burst.push_back(std::make_unique<LineClient>());
    ASSERT_TRUE(burst.back()->Connect(port_, 15000));
    EXPECT_EQ(burst.back()->ReadLine(10000).rfind("Talvo Server", 0), 0u);
  }
  first.Close();
  LineClient next;
  ASSERT_NE("", ConnectAdmitted(next, 20000));
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start).count();
  EXPECT_LT(seconds, 8);  // one refusal after another would take 40 x 0.4 s
  for (auto& c : burst) {
    EXPECT_EQ(c->ReadLine(10000), "# My K2 is busy. Please try again later.");
    EXPECT_TRUE(c->WaitClosed(10000));
  }
}

TEST_F(ServerHardening, ASilentCallerIsCutAndItsAddressBacksOffUntilALogin) {
  Start();
  {
    LineClient early;  // leaves before its login
    ASSERT_TRUE(early.Connect(port_, 15000));
    early.ReadLine(10000);
    early.SendLine("BYE");
    EXPECT_TRUE(early.WaitClosed(5000));
  }
  {
    LineClient silent;  // cut off 10 s after its banner
    ASSERT_TRUE(silent.Connect(port_, 15000));
    silent.ReadLine(10000);
    EXPECT_FALSE(silent.WaitClosed(7000));
    EXPECT_TRUE(silent.WaitClosed(15000));
  }
  WaitLog("refused for 2 s");
  {
    // Refused at once as a busy server would, without a log line of its own.
    LineClient refused;
    ASSERT_TRUE(refused.Connect(port_, 15000));
    EXPECT_EQ(refused.ReadLine(5000).rfind("Talvo Server", 0), 0u);
    EXPECT_EQ(refused.ReadLine(5000), "# My K2 is busy. Please try again later.");
    EXPECT_TRUE(refused.WaitClosed(5000));
  }
  platform::WaitMessages(300);
  EXPECT_EQ(Count(Contents(home_ + "/TalvoServer.log"), "Connection refused - server busy"), 0u);
  {
    LineClient wrong;  // a second failure doubles the back-off
    ASSERT_NE("", ConnectAdmitted(wrong));
    wrong.SendLine("AUTH alice 0123");
    EXPECT_EQ(wrong.ReadLine(5000), "# Authentication failed");
  }
  WaitLog("refused for 4 s");
  {
    LineClient alice;
    ASSERT_NE("", ConnectAdmitted(alice));
    alice.SendLine("AUTH alice secret");  // the password where the digest goes
    EXPECT_EQ(alice.ReadLine(5000), "# Authentication failed");
  }
  WaitLog("refused for 8 s");
  EXPECT_EQ(sim_.CommandCount(), 0u);  // no caller before a login reached the radio
  {
    LineClient alice;
    const std::string banner = ConnectAdmitted(alice);
    ASSERT_NE(banner, "");
    alice.SendLine("AUTH alice " + Md5sum(banner + "secret", home_));
    EXPECT_EQ(alice.WaitFor("PRIV", 10000), "PRIV 1");
    alice.SendLine("BYE");
    EXPECT_TRUE(alice.WaitClosed(5000));
  }
  {
    LineClient wrong;  // the login cleared the back-off: it starts again at 2 s
    ASSERT_NE("", ConnectAdmitted(wrong, 5000));
    wrong.SendLine("AUTH alice 0123");
    EXPECT_EQ(wrong.ReadLine(5000), "# Authentication failed");
  }
  for (int waited = 0;
       Count(Contents(home_ + "/TalvoServer.log"), "refused for 2 s") < 2 && waited < 10000;
       waited += 50)
    platform::WaitMessages(50);
  const std::string final = Contents(home_ + "/TalvoServer.log");
  EXPECT_EQ(Count(final, "refused for 2 s"), 2u) << final;
  EXPECT_EQ(final.find("secret"), std::string::npos);
  EXPECT_EQ(final.find("0123"), std::string::npos);
  EXPECT_NE(final.find("] Login timed out"), std::string::npos);
}

TEST_F(ServerHardening, ContactsAreLimitedInSizeAndRate) {
  LineClient client;
  EXPECT_EQ(StartSession(client, "bob", "pw2"), "PRIV 0");
  client.SendLine("LOG K1BIG <CALL:5>K1BIG<COMMENT:5000>" + std::string(5000, 'c') + "<EOR>");
  EXPECT_EQ(client.WaitFor("# ", 5000),
            "# The contact record is longer than 4096 bytes; it was not logged.");
  std::string burst;
  for (int i = 0; i < 15; ++i) burst += "LOG K1ABC <CALL:5>K1ABC<EOR>\r\n";
  client.Send(burst);
  for (int i = 0; i < 5; ++i)
    EXPECT_EQ(client.WaitFor("# ", 5000),
              "# Too many contacts at once; this one was not logged. Please send it again.");
  platform::WaitMessages(1200);
  client.SendLine("LOG K2ABC <CALL:5>K2ABC<EOR>");
  const std::string log = WaitLog("Contact logged: K2ABC");
  EXPECT_EQ(Count(log, "Contact logged: K1ABC"), 10u);
  EXPECT_EQ(Count(log, "Contacts refused"), 1u) << log;
  EXPECT_EQ(Count(Contents(home_ + "/TalvoServer.adi"), "<CALL:5>K1ABC"), 10u);
  EXPECT_EQ(Contents(home_ + "/TalvoServer.adi").find("K1BIG"), std::string::npos);
}

TEST_F(ServerHardening, ASilentRadioDoesNotHoldTheSessionBack) {
  sim_.SetSilent(true);
  Start();
  LineClient client;
  Login(client, "alice", "secret");
  EXPECT_EQ(client.ReadLine(10000), "# You are connected to my K2.||You have TX/RX access.");
  EXPECT_EQ(client.ReadLine(5000), "PRIV 1");
  EXPECT_EQ(client.ReadLine(5000), "# The radio does not answer. The session goes on without it.");
  EXPECT_NE(WaitLog("does not answer").find("] The radio does not answer"), std::string::npos);
}

TEST_F(ServerHardening, ARadioPortThatGoesAwayIsOpenedAgainWhenItComesBack) {
  // The radio behind a fixed name, as udev names a USB adapter; the adapter is then unplugged
  // and plugged in again.
  const std::string link = home_ + "/radio";
  auto first = std::make_unique<k2sim::K2Simulator>();
  first->Start();
  ASSERT_EQ(::symlink(first->SlavePath().c_str(), link.c_str()), 0);
  Ini("COMM", "Port", link);
  Start();
  LineClient client;
  Login(client, "alice", "secret");
  EXPECT_EQ(client.WaitFor("PRIV", 10000), "PRIV 1");
  EXPECT_TRUE(first->WaitForCommand("AI3;", 10000));

  first.reset();
  EXPECT_EQ(client.WaitFor("# The radio's port", 10000),
            "# The radio's port was lost. The server tries to open it again every 5 seconds.");
  EXPECT_NE(WaitLog(" is gone (").find("The radio's port " + link + " is gone ("),
            std::string::npos);

  k2sim::K2Simulator second;
  second.Start();
  const std::string next = link + ".new";
  ASSERT_EQ(::symlink(second.SlavePath().c_str(), next.c_str()), 0);
  ASSERT_EQ(::rename(next.c_str(), link.c_str()), 0);
  EXPECT_TRUE(second.WaitForCommand("AI3;", 20000));
  EXPECT_EQ(client.WaitFor("# The radio's port", 10000), "# The radio's port is back.");
  EXPECT_NE(WaitLog(" is back").find("The radio's port " + link + " is back"), std::string::npos);
  client.SendLine("FREQ 14060");
  EXPECT_TRUE(second.WaitForCommand("FA00014060000;", 10000));
}

}  // namespace
