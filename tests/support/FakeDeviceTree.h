#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// A fake /sys and /dev tree in TALVO_HOME for the serial port list: tty class entries and the
// stable names under /dev/serial/by-id. root() is what the port list is given to look under.
class FakeDeviceTree {
 public:
  FakeDeviceTree() {
    root_ = std::filesystem::path(std::getenv("TALVO_HOME")) / "fake-root";
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_ / "sys/class/tty");
  }
  ~FakeDeviceTree() { std::filesystem::remove_all(root_); }

  // A tty entry; device says whether a device backs it, type is the serial-core UART type
  // (-1: no such attribute).
  void Tty(const std::string& name, bool device, int type = -1) {
    std::filesystem::path dir = root_ / "sys/devices/virtual/tty" / name;
    std::filesystem::create_directories(dir);
    if (device) std::filesystem::create_directories(dir / "device");
    if (type >= 0) std::ofstream(dir / "type") << type << "\n";
    std::filesystem::create_directory_symlink(
        std::filesystem::path("../../devices/virtual/tty") / name, root_ / "sys/class/tty" / name);
  }
  void ById(const std::string& link, const std::string& tty) {
    std::filesystem::create_directories(root_ / "dev/serial/by-id");
    std::filesystem::create_symlink(std::filesystem::path("../..") / tty,
                                    root_ / "dev/serial/by-id" / link);
  }
  std::string root() const { return root_.string(); }

 private:
  std::filesystem::path root_;
};
