#include "client/ClientSettings.h"

#include "common/Utils.h"

std::string TClientSettings::Read(const std::string& section, const std::string& key,
                                  const std::string& def) const {
  return ReadIniString(iniFile_, section, key, def);
}

void TClientSettings::Write(const std::string& section, const std::string& key,
                            const std::string& value) const {
  WriteIniString(iniFile_, section, key, value);
}

TClientSettings::TStation TClientSettings::Station(const std::string& name) const {
  TStation s;
  s.Name = name;
  s.Addr = Read(name, "Addr", "localhost");
  s.Port = Read(name, "Port", "6110");
  if (s.Addr.empty()) s.Addr = "localhost";
  if (s.Port.empty()) s.Port = "6110";
  s.Password = Scramble(Read(name, "Passwd", ""), kPasswordSeed);
  s.Comment = Read(name, "Comment", "");
  s.EqslEnabled = Read(name, "EQSL Enabled", "") == "1";
  if (s.EqslEnabled) s.EqslPassword = Scramble(Read(name, "EQSL Password", ""), kEqslSeed);
  return s;
}

std::vector<std::string> TClientSettings::StationNames() const {
  std::vector<std::string> names;
  for (int n = 1;; ++n) {
    std::string name = Read("Connections", "Connection " + std::to_string(n), "");
    if (name.empty()) return names;
    names.push_back(name);
  }
}

std::string TClientSettings::OwnCall() const {
  return Read("Settings", "Call", "");
}

bool TClientSettings::RxOnly() const {
  return Read("Settings", "RX Only", "") == "1";
}

void TClientSettings::SetRxOnly(bool value) const {
  Write("Settings", "RX Only", BoolToIniStr(value));
}

bool TClientSettings::TraceEnabled() const {
  return Read("Debug", "Trace", "") == "1";
}

bool TClientSettings::FreqWindowVisible() const {
  return Read("Frequency Window", "Visible", "") == "1";
}

void TClientSettings::SetFreqWindowVisible(bool value) const {
  Write("Frequency Window", "Visible", BoolToIniStr(value));
}

int TClientSettings::MainLeft() const {
  return StrToIntDef(Read("Main Window", "Left", "0"), 0);
}

int TClientSettings::MainTop() const {
  return StrToIntDef(Read("Main Window", "Top", "0"), 0);
}

void TClientSettings::SetMainPosition(int left, int top) const {
  Write("Main Window", "Left", std::to_string(left));
  Write("Main Window", "Top", std::to_string(top));
}

int TClientSettings::MicLeft() const {
  return StrToIntDef(Read("Mic Window", "Left", "0"), 0);
}

int TClientSettings::MicTop() const {
  return StrToIntDef(Read("Mic Window", "Top", "236"), 236);
}

void TClientSettings::SetMicPosition(int left, int top) const {
  Write("Mic Window", "Left", std::to_string(left));
  Write("Mic Window", "Top", std::to_string(top));
}

int TClientSettings::MicSquelch() const {
  return StrToIntDef(Read("Audio", "Mic Squelch", "0"), 0);
}

bool TClientSettings::UseVox() const {
  return Read("Audio", "Use VOX", "") == "1";
}

void TClientSettings::SetMicAudio(int squelch, bool useVox) const {
  Write("Audio", "Mic Squelch", std::to_string(squelch));
  Write("Audio", "Use VOX", BoolToIniStr(useVox));
}
