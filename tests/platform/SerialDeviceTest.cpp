#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/SerialDevice.h"

using platform::SerialSettings;

namespace {

struct Pty {
  Pty() {
    char buffer[256] = {};
    openpty(&master, &slave, buffer, nullptr, nullptr);
    name = buffer;
  }
  ~Pty() {
    close(master);
    close(slave);
  }
  int master = -1, slave = -1;
  std::string name;
};

long Millis(std::chrono::steady_clock::time_point since) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                               std::chrono::steady_clock::now() - since)
                               .count());
}

}  // namespace

TEST(SerialDevice, PortNamesBecomeDevicePaths) {
  EXPECT_EQ(platform::SerialDevicePath("COM1"), "/dev/ttyS0");
  EXPECT_EQ(platform::SerialDevicePath("com12"), "/dev/ttyS11");
  EXPECT_EQ(platform::SerialDevicePath("COM0"), "/dev/COM0");
  EXPECT_EQ(platform::SerialDevicePath("COMx"), "/dev/COMx");
  EXPECT_EQ(platform::SerialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(platform::SerialDevicePath("/dev/serial/by-id/usb-a"), "/dev/serial/by-id/usb-a");
}

TEST(SerialDevice, SettingsRoundTripIncludingUnusualRates) {
  Pty pty;
  auto device = platform::CreateSerialDevice();
  ASSERT_EQ(device->Init(), 0);
  ASSERT_EQ(device->Open(pty.name), 0);
  EXPECT_GE(device->Handle(), 0);

  // A pseudo-terminal keeps 8 data bits without parity whatever it is told; the rest shows.
  SerialSettings s;
  s.baudRate = 14400;  // no B-constant
  s.stopBits = 2;
  s.ctsFlow = true;
  s.xonXoffOut = true;
  s.xonChar = 'Q';
  s.xoffChar = 'S';
  ASSERT_EQ(device->SetSettings(s), 0);
  SerialSettings r;
  ASSERT_EQ(device->GetSettings(r), 0);
  EXPECT_EQ(r.baudRate, 14400u);
  EXPECT_EQ(r.dataBits, 8);
  EXPECT_EQ(r.stopBits, 2);
  EXPECT_TRUE(r.ctsFlow);
  EXPECT_TRUE(r.xonXoffOut);
  EXPECT_FALSE(r.xonXoffIn);
  EXPECT_EQ(r.xonChar, 'Q');
  EXPECT_EQ(r.xoffChar, 'S');

  s = SerialSettings{};
  s.baudRate = 4800;
  ASSERT_EQ(device->SetSettings(s), 0);
  ASSERT_EQ(device->GetSettings(r), 0);
  EXPECT_EQ(r.baudRate, 4800u);
  EXPECT_EQ(r.stopBits, 0);
  EXPECT_FALSE(r.ctsFlow);
  EXPECT_FALSE(r.xonXoffOut);

  s.stopBits = 1;  // one and a half: only with 5 data bits
  s.dataBits = 5;
  EXPECT_EQ(device->SetSettings(s), 0);
  s.dataBits = 8;
  EXPECT_EQ(device->SetSettings(s), EINVAL);
  s.stopBits = 2;
  s.dataBits = 9;
  EXPECT_EQ(device->SetSettings(s), EINVAL);
  s.dataBits = 8;
  s.stopBits = 0;
  s.parity = 5;
  EXPECT_EQ(device->SetSettings(s), EINVAL);
  s.parity = 0;
  s.baudRate = 0;
  EXPECT_EQ(device->SetSettings(s), EINVAL);

  EXPECT_EQ(device->Close(), 0);
  EXPECT_EQ(device->Handle(), -1);
  std::uint32_t in, out;
  EXPECT_EQ(device->GetQueues(in, out), EBADF);
  EXPECT_EQ(device->SetSettings(SerialSettings{}), EBADF);
  EXPECT_EQ(device->Close(), EBADF);
}

TEST(SerialDevice, QueuesTransfersAndWaits) {
  Pty pty;
  auto device = platform::CreateSerialDevice();
  ASSERT_EQ(device->Init(), 0);
  ASSERT_EQ(device->Open(pty.name), 0);
  ASSERT_EQ(device->SetSettings(SerialSettings{}), 0);

  char buffer[16];
  std::size_t done = 99;
  int err = device->Read(buffer, sizeof buffer, done);
  EXPECT_TRUE(err == 0 || err == EAGAIN);
  EXPECT_EQ(done, 0u);

  // Readable: the wait ends when bytes come.
  std::thread far([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(write(pty.master, "abc", 3), 3);
  });
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->Wait(5000, true, false), 0);
  EXPECT_LT(Millis(start), 4000);
  far.join();
  std::uint32_t in = 0, out = 0;
  for (int i = 0; i < 100 && in < 3; ++i) {
    ASSERT_EQ(device->GetQueues(in, out), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(in, 3u);
  EXPECT_EQ(device->Read(buffer, sizeof buffer, done), 0);
  EXPECT_EQ(std::string(buffer, done), "abc");

  EXPECT_EQ(device->Write("xyz", 3, done), 0);
  EXPECT_EQ(done, 3u);
  char far_in[8] = {};
  EXPECT_EQ(read(pty.master, far_in, sizeof far_in), 3);

  // Wake ends a wait from another thread; without it the wait lasts its time.
  std::thread waker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    device->Wake();
  });
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->Wait(5000, false, false), 0);
  EXPECT_LT(Millis(start), 4000);
  waker.join();
  start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->Wait(60, false, false), 0);
  EXPECT_GE(Millis(start), 55);

  // Pseudo-terminals have no modem lines and no counters.
  std::uint32_t status;
  EXPECT_EQ(device->GetModemLines(status), ENOTTY);
  EXPECT_EQ(device->SetModemLine(platform::ModemLine::Dtr, true), ENOTTY);
  platform::SerialCounters counters;
  EXPECT_NE(device->GetCounters(counters), 0);
  EXPECT_EQ(device->Purge(true, true), 0);
}

TEST(SerialDevice, OpensOnlyTerminalsAndOnlyOnce) {
  Pty pty;
  auto a = platform::CreateSerialDevice();
  auto b = platform::CreateSerialDevice();
  EXPECT_EQ(a->Open("/dev/null"), ENOTTY);
  EXPECT_FALSE(a->IsOpen());
  EXPECT_EQ(a->Open(pty.name), 0);
  EXPECT_EQ(b->Open(pty.name), EBUSY);
  EXPECT_EQ(a->Close(), 0);
  EXPECT_EQ(b->Open(pty.name), 0);
}

TEST(SerialDevice, AHungUpDeviceDoesNotMakeWaitsSpin) {
  Pty pty;
  auto device = platform::CreateSerialDevice();
  ASSERT_EQ(device->Init(), 0);
  ASSERT_EQ(device->Open(pty.name), 0);
  close(pty.master);
  pty.master = open("/dev/null", O_RDONLY);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(device->Wait(80, true, true), EIO);  // and the hang-up is told
  EXPECT_GE(Millis(start), 70);
}
