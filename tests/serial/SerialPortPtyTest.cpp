// The serial port over a real pseudo-terminal pair, configured as the server configures it for
// the K2 (4800 baud, 8 data bits, no parity, 2 stop bits, no flow control).
#include <gtest/gtest.h>
#include <termios.h>

#include <random>
#include <thread>

#include "PtyPair.h"
#include "SerialTestSupport.h"
#include "tests/support/K2Port.h"

namespace {

struct OpenPty {
  OpenPty() {
    rec.Attach(port);
    ConfigureLineForK2(port, pty.name);
    port.SetActive(true);
  }
  PtyPair pty;
  TSerialPort port;
  PortRecorder rec;
};

}  // namespace

TEST(SerialPortPty, TheFarEndSeesTheLineSettings) {
  OpenPty f;
  ASSERT_TRUE(f.pty.ok());
  ASSERT_TRUE(f.port.Active()) << (f.rec.reports.empty() ? "" : f.rec.reports.back().msg);
  f.port.SetDTRState(false);
  f.port.SetRTSState(false);

  termios t{};
  ASSERT_EQ(tcgetattr(f.pty.slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B4800));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_cflag & CLOCAL);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP | INPCK));
  EXPECT_FALSE(t.c_oflag & OPOST);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_EQ(t.c_cc[VMIN], 0);
  EXPECT_EQ(t.c_cc[VTIME], 0);

  // A pseudo-terminal has neither modem lines nor counters: each is said once, nothing more.
  Pump(300);
  EXPECT_EQ(f.rec.Count(601), 1);
  EXPECT_EQ(f.rec.Find(601)->code, static_cast<std::uint32_t>(ENOTTY));
  EXPECT_EQ(f.rec.Count(9907), 1);
  EXPECT_LE(f.rec.Count(9905), 1);  // the worker's poll, unless the port closed before it
  EXPECT_EQ(f.rec.Count(501) + f.rec.Count(502) + f.rec.Count(602), 0);

  // A change while open reaches the device at once; an impossible one is refused. (A
  // pseudo-terminal keeps 8 data bits without parity whatever it is told.)
  f.port.SetBaudRate(9600);
  f.port.SetFlowControl(kFlowCtsOut | kFlowXonXoffIn);
  ASSERT_EQ(tcgetattr(f.pty.slave, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_FALSE(t.c_iflag & IXON);
  f.port.SetDataBits(9);
  ASSERT_NE(f.rec.Find(802), nullptr);
  EXPECT_EQ(f.rec.Find(802)->code, static_cast<std::uint32_t>(EINVAL));
}

TEST(SerialPortPty, BytesWrittenArriveInOrder) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  std::string expected;
  for (int i = 0; i < 20; ++i) {
    std::string cmd = "FA" + std::to_string(14000000 + i) + ";";
    f.port.WriteText(cmd);
    expected += cmd;
  }
  EXPECT_EQ(f.pty.Receive(expected.size()), expected);
  EXPECT_EQ(f.rec.writesDone, 20);
  ASSERT_TRUE(PumpUntil([&] { return f.rec.EventCount("TxEmpty") >= 1; }));
}

TEST(SerialPortPty, ASplitReplyArrivesAsChunksThatJoin) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  f.port.SetRTOExtraDelayTime(100);
  f.pty.Send("IF00014060000");
  ASSERT_TRUE(PumpUntil([&] { return f.rec.chunks == 1; }));
  f.pty.Send("     -000000 0002000001 ;");
  ASSERT_TRUE(PumpUntil([&] { return f.rec.received.size() == 38; }));
  EXPECT_EQ(f.rec.chunks, 2);
  EXPECT_EQ(f.rec.received, "IF00014060000     -000000 0002000001 ;");
  EXPECT_GE(f.rec.EventCount("RxChar"), 2);
}

TEST(SerialPortPty, ALoneByteWaitsForTheQuietTime) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  f.port.SetRTOExtraDelayTime(1000);
  Pump(200);
  const std::uint32_t sent = platform::GetTickCount();
  std::uint32_t arrived = 0;
  f.port.OnRxClusterEvent = [&](TSerialPort& p) {
    arrived = platform::GetTickCount();
    f.rec.received += p.TakeChunkText();
  };
  f.pty.Send(";");
  ASSERT_TRUE(PumpUntil([&] { return arrived != 0; }));
  EXPECT_EQ(f.rec.received, ";");
  // 2.3 ms for the byte and 1000 ms of quiet, counted from the last empty look at the queue,
  // which is at most one cycle before the byte came.
  EXPECT_GE(arrived - sent, 600u);
}

TEST(SerialPortPty, ABurstOf3KArrivesWhole) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  std::string burst(3072, '\0');
  std::mt19937 random(5);
  for (auto& c : burst) c = static_cast<char>(random());
  f.pty.Send(burst);
  ASSERT_TRUE(PumpUntil([&] { return f.rec.received.size() >= burst.size(); }));
  EXPECT_EQ(f.rec.chunks, 1);
  EXPECT_EQ(f.rec.received, burst);
}

TEST(SerialPortPty, AWriteToAFarEndThatDoesNotReadTimesOut) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  f.port.SetWTOCharDelayTime(10);  // 65536 bytes: 655 ms + 250 ms
  f.port.WriteText(std::string(65536, 'K'));
  ASSERT_TRUE(f.port.SendInProgress());
  ASSERT_TRUE(PumpUntil([&] { return f.rec.writesDone == 1; }));
  ASSERT_EQ(f.rec.Count(9701), 1);
  EXPECT_EQ(f.rec.Find(9701)->msg, "Error write TimeOut");
  EXPECT_FALSE(f.port.SendInProgress());
  EXPECT_GT(f.port.WrittenBytes(), 0u);
  EXPECT_LT(f.port.WrittenBytes(), 65536u);
}

TEST(SerialPortPty, WritesMadeBackToBackAllArrive) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  std::string expected(20000, 'B');
  f.port.WriteText(expected);  // more than the pseudo-terminal holds: stays pending
  ASSERT_TRUE(f.port.SendInProgress());
  for (int i = 0; i < 100; ++i) {
    char cmd[16];
    std::snprintf(cmd, sizeof cmd, "CMD%03d;", i);
    f.port.WriteText(cmd);
    expected += cmd;
  }
  EXPECT_EQ(f.rec.Count(901), 0);
  std::string got = f.pty.Receive(expected.size());
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_EQ(got, expected);
  ASSERT_TRUE(PumpUntil([&] { return f.rec.writesDone == 101; }));
  EXPECT_FALSE(f.port.SendInProgress());
}

TEST(SerialPortPty, ThePortIsExclusiveAndOpensAgainAfterClosing) {
  OpenPty f;
  ASSERT_TRUE(f.port.Active());
  TSerialPort second;
  PortRecorder rec;
  rec.Attach(second);
  second.SetCommPort(f.pty.name);
  second.SetActive(true);
  EXPECT_FALSE(second.Active());
  ASSERT_NE(rec.Find(112), nullptr);
  EXPECT_EQ(rec.Find(112)->code, static_cast<std::uint32_t>(EBUSY));

  f.port.SetActive(false);
  second.SetActive(true);
  EXPECT_TRUE(second.Active());
  f.pty.Send("OK;");
  second.SetReadRequest(true);
  ASSERT_TRUE(PumpUntil([&] { return rec.received == "OK;"; }));
}

TEST(SerialPortPty, NamesThatAreNoSerialPortDoNotOpen) {
  TSerialPort port;
  PortRecorder rec;
  rec.Attach(port);
  port.SetCommPort("/dev/talvo-no-such-port");
  port.SetActive(true);
  EXPECT_FALSE(port.Active());
  ASSERT_NE(rec.Find(112), nullptr);
  EXPECT_EQ(rec.Find(112)->code, static_cast<std::uint32_t>(ENOENT));
  port.SetCommPort("null");  // /dev/null: not a terminal
  port.SetActive(true);
  EXPECT_FALSE(port.Active());
  EXPECT_EQ(rec.reports.back().code, static_cast<std::uint32_t>(ENOTTY));
}

TEST(SerialPortPty, DestroyedDuringAHandOver) {
  PtyPair pty;
  // By its own handler, on the main thread.
  {
    auto* port = new TSerialPort;
    ConfigureLineForK2(*port, pty.name);
    port->SetRTOExtraDelayTime(0);
    bool gone = false;
    port->OnRxClusterEvent = [&](TSerialPort& sender) {
      delete &sender;
      gone = true;
    };
    port->SetActive(true);
    ASSERT_TRUE(port->Active());
    pty.Send("FA00014060000;");
    ASSERT_TRUE(PumpUntil([&] { return gone; }));
  }
  // While the worker waits for a main thread that does not dispatch.
  for (int round = 0; round < 4; ++round) {
    auto port = std::make_unique<TSerialPort>();
    ConfigureLineForK2(*port, pty.name);
    port->SetRTOExtraDelayTime(0);
    int chunks = 0;
    port->OnRxClusterEvent = [&](TSerialPort&) { ++chunks; };
    port->SetActive(true);
    ASSERT_TRUE(port->Active());
    pty.Send("SM0012;");
    std::this_thread::sleep_for(std::chrono::milliseconds(40 * round));
    const std::uint32_t start = platform::GetTickCount();
    port.reset();
    EXPECT_LT(platform::GetTickCount() - start, 3000u);
    Pump(20);
    EXPECT_EQ(chunks, 0);
  }
}
