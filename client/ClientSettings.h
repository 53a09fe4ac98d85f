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
  // The station as stored, for editing: Addr as written, Port "6110" when not set, both
  // passwords unscrambled whatever "EQSL Enabled" says.
  TStation StoredStation(const std::string& name) const;
  // Writes "Comment", "Addr", "Port" and "Passwd" (scrambled) of the station's section.
  void WriteStation(const TStation& station) const;
  // "EQSL Enabled" "1" and "EQSL Password" scrambled; disabled: "EQSL Enabled" empty only.
  void WriteEqsl(const std::string& name, bool enabled, const std::string& password) const;
  // A renamed station keeps its eQSL settings: each of "EQSL Enabled" and "EQSL Password" that
  // the new section lacks is copied from the old one, which stays as it is.
  void CarryEqsl(const std::string& from, const std::string& to) const;
  // [Connections] "Connection 1", 2, ... up to the first missing or empty one.
  std::vector<std::string> StationNames() const;
  // Writes the list in order and an empty value after its last entry, which ends it.
  void SetStationNames(const std::vector<std::string>& names) const;

  // Why a text cannot be stored as a section name (a station's name), as a value, or as a
  // password scrambled with seed; empty when it can. what names the field in the message.
  static std::string SectionNameProblem(const std::string& what, const std::string& text);
  static std::string ValueProblem(const std::string& what, const std::string& text);
  static std::string PasswordProblem(const std::string& what, const std::string& text, int seed);

  std::string OwnCall() const;  // [Settings] Call
  void SetOwnCall(const std::string& call) const;
  bool RxOnly() const;  // [Settings] RX Only
  void SetRxOnly(bool value) const;
  bool TraceEnabled() const;       // [Debug] Trace
  bool FreqWindowVisible() const;  // [Frequency Window] Visible
  void SetFreqWindowVisible(bool value) const;
  static constexpr int kFreqMemories = 20;
  // [Frequency Window] "Freq 1", 2, ... up to the first empty one, at most kFreqMemories.
  std::vector<std::string> FreqMemories() const;
  // Writes at most kFreqMemories entries and an empty value after the last one written.
  void SetFreqMemories(const std::vector<std::string>& freqs) const;
  // [Frequency Window] Left and Top; false when "Top" is missing. A value that is no integer
  // leaves its variable as it was.
  bool FreqWindowPosition(int& left, int& top) const;
  void SetFreqWindowPosition(int left, int top) const;
  // [Receive Window] Left (0), Top (436) and "Upper case".
  int RxWindowLeft() const;
  int RxWindowTop() const;
  bool RxUpperCase() const;
  void SetRxWindow(int left, int top, bool upperCase) const;
  // [Main Window] Left and Top; 0 when missing or no integer.
  int MainLeft() const;
  int MainTop() const;
  void SetMainPosition(int left, int top) const;
  // [QSO Window] Left (0) and Top (236) when missing or no integer, and "Upper case".
  int QsoLeft() const;
  int QsoTop() const;
  bool QsoUpperCase() const;
  void SetQsoWindow(int left, int top, bool upperCase) const;
  // [Settings] "eQSL Server": host and optional ":port" of the eQSL service.
  std::string EqslServer() const;
  // [Settings] Macros: the full path of the macro file last loaded or saved.
  std::string MacroFile() const;
  void SetMacroFile(const std::string& path) const;
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
  // The key is in the file, with a value or an empty one.
  bool Has(const std::string& section, const std::string& key) const;

  std::string iniFile_;
};
