#pragma once

#include <string>
#include <vector>

// The client's INI file as the session and its windows read it: one place for section and key
// names, defaults, flags and the unscrambling of stored passwords.
class TClientSettings {
 public:
  static constexpr int kPasswordSeed = 3716;
  static constexpr int kEqslSeed = 6402;

  explicit TClientSettings(std::string iniFile) : iniFile_(std::move(iniFile)) {}
  const std::string& IniFile() const { return iniFile_; }

  // One stored station, the INI section named after it.
  struct TStation {
    std::string Name;
    std::string Addr;      // "localhost" when not set
    std::string Port;      // "6110" when not set
    std::string Password;  // unscrambled; empty: log in as a guest
    std::string Comment;
    bool EqslEnabled = false;
    std::string EqslPassword;  // unscrambled
  };
  TStation Station(const std::string& name) const;
  // [Connections] "Connection 1", 2, ... up to the first missing or empty one.
  std::vector<std::string> StationNames() const;

  std::string OwnCall() const;  // [Settings] Call
  bool RxOnly() const;          // [Settings] RX Only
  void SetRxOnly(bool value) const;
  bool TraceEnabled() const;       // [Debug] Trace
  bool FreqWindowVisible() const;  // [Frequency Window] Visible
  void SetFreqWindowVisible(bool value) const;
  // [Main Window] Left and Top; 0 when missing or no integer.
  int MainLeft() const;
  int MainTop() const;
  void SetMainPosition(int left, int top) const;
  // [Mic Window] Left (default 0) and Top (default 236).
  int MicLeft() const;
  int MicTop() const;
  void SetMicPosition(int left, int top) const;
  // [Audio] Mic Squelch (0 when missing or no integer) and Use VOX.
  int MicSquelch() const;
  bool UseVox() const;
  void SetMicAudio(int squelch, bool useVox) const;

 private:
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& def) const;
  void Write(const std::string& section, const std::string& key, const std::string& value) const;

  std::string iniFile_;
};
