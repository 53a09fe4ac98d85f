// The simulated K2 on a real pseudo-terminal: what a serial port program sees on the slave side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/k2sim/K2Simulator.h"

namespace k2sim {
namespace {

using namespace std::chrono_literals;

int ElapsedMs(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The computer's end of the serial line.
class Port {
 public:
  explicit Port(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios tio{};
    ::tcgetattr(fd_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_, TCSANOW, &tio);
  }
  ~Port() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  void Write(const std::string& text) {
    ASSERT_EQ(::write(fd_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Reads until `count` ";" have arrived or timeoutMs passes; every read is kept in chunks.
  std::string ReadReplies(int count, int timeoutMs = 5000) {
    std::string got;
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::count(got.begin(), got.end(), ';') < count && Clock::now() < deadline)
      got += ReadOnce(deadline);
    return got;
  }
  // Everything that arrives within ms.
  std::string ReadFor(int ms) {
    std::string got;
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) got += ReadOnce(deadline);
    return got;
  }
  std::vector<std::string> chunks;

 private:
  std::string ReadOnce(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) return {};
    char buffer[256];
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n <= 0) return {};
    chunks.emplace_back(buffer, static_cast<std::size_t>(n));
    return chunks.back();
  }
  int fd_ = -1;
};

class K2SimulatorTest : public testing::Test {
 protected:
  void SetUp() override {
    sim.Start();
    port = std::make_unique<Port>(sim.SlavePath());
    ASSERT_TRUE(port->IsOpen());
  }
  K2Simulator sim;
  std::unique_ptr<Port> port;
};

TEST_F(K2SimulatorTest, AnswersOnARaw4800Baud8N2Line) {
  termios tio{};
  ASSERT_EQ(::tcgetattr(port->Fd(), &tio), 0);
  EXPECT_EQ(::cfgetospeed(&tio), static_cast<speed_t>(B4800));
  EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(tio.c_cflag & CSTOPB);
  EXPECT_FALSE(tio.c_cflag & PARENB);

  port->Write("ps;K22;FW;PA;RA;AN;NB;GT;PC;AI3;");
  EXPECT_EQ(port->ReadReplies(8), "PS1;FW150010;PA0;RA00;AN1;NB01;GT0021;PC0500;");
  port->Write("IF;DS;XY;BG;");
  EXPECT_EQ(port->ReadReplies(4),
            "IF00007025000     +000000 0003000001 ;DS@7025\xB0"
            "0X\x80\x80;?;BG02;");
  EXPECT_EQ(sim.CommandLog(),
            (std::vector<std::string>{"ps;", "K22;", "FW;", "PA;", "RA;", "AN;", "NB;", "GT;",
                                      "PC;", "AI3;", "IF;", "DS;", "XY;", "BG;"}));
  EXPECT_EQ(sim.ReceivedBytes(), "ps;K22;FW;PA;RA;AN;NB;GT;PC;AI3;IF;DS;XY;BG;");
}

TEST_F(K2SimulatorTest, SilentRadioAnswersNothingButLogsWhatItGets) {
  sim.SetSilent(true);
  port->Write("FA;MD;");
  EXPECT_TRUE(sim.WaitForCommand("md;", 5000));
  EXPECT_EQ(port->ReadFor(300), "");
  sim.SetSilent(false);
  port->Write("FA;");
  EXPECT_EQ(port->ReadReplies(1), "FA00007025000;");
  port->Write("PS0;MD;");  // switched off from the computer
  EXPECT_TRUE(sim.WaitForCommand("MD;", 5000, 3));
  EXPECT_EQ(port->ReadFor(300), "");
  EXPECT_TRUE(sim.Silent());
}

TEST_F(K2SimulatorTest, InjectedBytesArriveSplitAndOneByOne) {
  sim.SetPacing(false);
  auto start = Clock::now();
  sim.Inject("FA0000702");
  sim.Inject("5000;", 300);
  EXPECT_EQ(port->ReadReplies(1), "FA00007025000;");
  EXPECT_GE(ElapsedMs(start), 250);
  ASSERT_GE(port->chunks.size(), 2u);
  EXPECT_EQ(port->chunks[0], "FA0000702");

  port->chunks.clear();
  start = Clock::now();
  sim.InjectBytewise(";XY1;", 100);
  EXPECT_EQ(port->ReadReplies(2), ";XY1;");
  EXPECT_GE(ElapsedMs(start), 350);
  EXPECT_GE(port->chunks.size(), 3u);
  EXPECT_EQ(sim.CommandCount(), 0u);  // injected bytes go out; they are not commands
}

TEST_F(K2SimulatorTest, AutoInfoReportsArriveUnsolicited) {
  port->Write("K22;AI2;");
  ASSERT_TRUE(sim.WaitForCommand("AI2;", 5000));
  sim.PressSwitch(3);
  EXPECT_EQ(port->ReadReplies(1), "PA1;");

  sim.SetAutoInfoDelay(100);
  port->Write("AI1;");
  ASSERT_TRUE(sim.WaitForCommand("AI1;", 5000));
  auto start = Clock::now();
  sim.TurnDial(-5);
  EXPECT_EQ(port->ReadReplies(1), "IF00007024950     +000000 0003000001 ;");
  EXPECT_GE(ElapsedMs(start), 80);
  EXPECT_EQ(port->ReadFor(300), "");
}

TEST_F(K2SimulatorTest, KeyerDrainsAtTheKeyerSpeed) {
  // Two words of 50 units at 50 words per minute (24 ms a unit): 2.4 s.
  auto start = Clock::now();
  port->Write("KS050;KY PARIS PARIS ;KY;");
  EXPECT_EQ(port->ReadReplies(1), "KY0;");
  EXPECT_TRUE(sim.State().Transmitting());
  std::this_thread::sleep_for(1s);
  EXPECT_LT(sim.KeyedText().size(), 12u);
  bool done = false;
  while (!done && ElapsedMs(start) < 20000) {
    std::this_thread::sleep_for(20ms);
    done = sim.KeyedText() == "PARIS PARIS ";
  }
  EXPECT_TRUE(done) << sim.KeyedText();
  EXPECT_GE(ElapsedMs(start), 2300);
  EXPECT_FALSE(sim.State().Transmitting());
}

TEST_F(K2SimulatorTest, RepliesGoOutAtTheLinePaceOrInChunks) {
  auto start = Clock::now();
  port->Write("IF;IF;IF;");
  EXPECT_EQ(port->ReadReplies(3).size(), 114u);
  EXPECT_GE(ElapsedMs(start), 230);  // 114 bytes of 11 bits at 4800 baud: 261 ms

  sim.SetPacing(false);
  sim.SetChunking(5, 60);
  port->chunks.clear();
  port->Write("FA;FB;");
  EXPECT_EQ(port->ReadReplies(2), "FA00007025000;FB00014060000;");
  EXPECT_GE(port->chunks.size(), 3u);
  for (const std::string& chunk : port->chunks) EXPECT_LE(chunk.size(), 5u);
  EXPECT_EQ(sim.SentBytes().substr(114), "FA00007025000;FB00014060000;");
}

TEST_F(K2SimulatorTest, PortCanBeClosedAndOpenedAgain) {
  port->Write("MD6;");
  ASSERT_TRUE(sim.WaitForCommand("MD6;", 5000));
  port.reset();
  Port again(sim.SlavePath());
  ASSERT_TRUE(again.IsOpen());
  again.Write("MD;");
  EXPECT_EQ(again.ReadReplies(1), "MD6;");
}

TEST(K2SimulatorPumpTest, RunsOnTheCallersThread) {
  K2Simulator sim;
  EXPECT_FALSE(sim.Pump(0));  // not open
  sim.Open();
  Port port(sim.SlavePath());
  port.Write("MD;");
  std::string got;
  EXPECT_TRUE(sim.WaitForCommand("MD;", 5000));
  EXPECT_TRUE(sim.PumpUntil(
      [&] {
        got += port.ReadFor(1);
        return got == "MD3;";
      },
      5000))
      << got;
}

TEST(K2SimProgramTest, PrintsItsTerminalAndServesItUntilTerminated) {
  std::string link = std::string(std::getenv("TALVO_HOME")) + "/k2link";
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::execl(K2SIM_PROGRAM, "k2sim", "--link", link.c_str(), "--mode", "2", nullptr);
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char c;
  pollfd p{out[0], POLLIN, 0};
  while (::poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') line += c;
  ::close(out[0]);
  EXPECT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), line);
  {
    Port port(link);
    ASSERT_TRUE(port.IsOpen());
    port.Write("MD;KS;");
    EXPECT_EQ(port.ReadReplies(2), "MD2;KS020;");
  }
  ::kill(pid, SIGTERM);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

}  // namespace
}  // namespace k2sim
