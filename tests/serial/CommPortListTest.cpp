// The port list against a fake /sys and /dev tree.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/SerialPortList.h"
#include "serial/CommPortList.h"
#include "tests/support/FakeDeviceTree.h"

TEST(SerialPortList, OnlyRealPortsUnderTheirStableNames) {
  FakeDeviceTree tree;
  tree.Tty("tty0", false);
  tree.Tty("console", false);
  tree.Tty("ptmx", false);
  tree.Tty("ttyS0", true, 4);  // a 16550A
  tree.Tty("ttyS1", true, 0);  // no UART found
  tree.Tty("ttyS2", true);     // no type reported
  tree.Tty("ttyS10", true, 4);
  tree.Tty("ttyUSB1", true);
  tree.Tty("ttyUSB0", true);
  tree.Tty("ttyACM0", true);
  tree.Tty("ttyAMA0", true, 0);  // serial core without hardware
  tree.ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");

  std::vector<std::string> expected{
      "/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyS10",
      "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB1"};
  EXPECT_EQ(platform::SerialPortPaths(tree.root()), expected);
}

TEST(SerialPortList, AppendsOnlyNamesNotListedYet) {
  FakeDeviceTree tree;
  tree.Tty("ttyS0", true, 4);
  tree.Tty("ttyUSB0", true);
  std::vector<std::string> list{"/DEV/TTYS0", "my port"};
  ListSerialPorts(list, tree.root());
  EXPECT_EQ(list, (std::vector<std::string>{"/DEV/TTYS0", "my port", "/dev/ttyUSB0"}));
  ListSerialPorts(list, tree.root());
  EXPECT_EQ(list.size(), 3u);
}

TEST(SerialPortList, NoTreeAddsNothing) {
  std::vector<std::string> list{"COM1"};
  ListSerialPorts(list, std::string(std::getenv("TALVO_HOME")) + "/nothing-here");
  EXPECT_EQ(list, std::vector<std::string>{"COM1"});
}
