#pragma once

#include <cstdio>
#include <string>

#include "common/Utils.h"
#include "sockets/MD5.h"
#include "tests/support/LineClient.h"
#include "tests/support/k2sim/K2Simulator.h"

// The fixtures of the server's tests: its settings file written key by key, the simulated K2 as
// its radio, and a line client logged in.

// A settings file that starts empty (any file of an earlier test is removed).
class TestIni {
 public:
  explicit TestIni(std::string path) : path_(std::move(path)) { std::remove(path_.c_str()); }

  const std::string& Path() const { return path_; }

  void Set(const std::string& section, const std::string& key, const std::string& value) const {
    WriteIniString(path_, section, key, value);
  }
  std::string Get(const std::string& section, const std::string& key,
                  const std::string& def = "") const {
    return ReadIniString(path_, section, key, def);
  }

  // User number n with its password (stored scrambled, as the server keeps it) and level.
  void AddUser(int n, const std::string& user, const std::string& password, int level) const {
    Set("Users", "User " + std::to_string(n), user);
    Set("Passwords", user, Scramble(password, 2958));
    Set("Privileges", user, std::to_string(level));
  }

  // The simulated K2 on its pseudo-terminal is the radio.
  void UseRadio(const k2sim::K2Simulator& sim) const { Set("COMM", "Port", sim.SlavePath()); }

  // A server on loopback, on a port the system chooses, with the TX/RX user alice ("secret").
  void LoopbackServer(const k2sim::K2Simulator& sim) const {
    UseRadio(sim);
    Set("Control", "Port", "0");
    Set("Control", "Address", "127.0.0.1");
    AddUser(1, "alice", "secret", 1);
  }

 private:
  std::string path_;
};

// Connects, reads the banner and answers it with the login of user; the banner, or "" when no
// banner came.
inline std::string LogIn(LineClient& client, int port, const std::string& user,
                         const std::string& password) {
  if (!client.Connect(port)) return "";
  std::string banner = client.ReadLine(10000);
  if (banner == "<timeout>" || banner == "<closed>") return "";
  client.SendLine("AUTH " + user + " " + MD5DigestHex(banner + password));
  return banner;
}
