#include "client/ClientSettings.h"

#include "common/Utils.h"
#include "logbook/Eqsl.h"
#include "text/Text.h"

std::string TClientSettings::Read(const std::string& section, const std::string& key,
                                  const std::string& def) const {
  return ReadIniString(iniFile_, section, key, def);
}

void TClientSettings::Write(const std::string& section, const std::string& key,
                            const std::string& value) const {
  WriteIniString(iniFile_, section, key, value);
}

bool TClientSettings::Has(const std::string& section, const std::string& key) const {
  const std::string missing(1, '\x01');
  return Read(section, key, missing) != missing;
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

TClientSettings::TStation TClientSettings::StoredStation(const std::string& name) const {
  TStation s;
  s.Name = name;
  s.Addr = Read(name, "Addr", "");
  s.Port = Read(name, "Port", "6110");
  s.Password = Scramble(Read(name, "Passwd", ""), kPasswordSeed);
  s.Comment = Read(name, "Comment", "");
  s.EqslEnabled = Read(name, "EQSL Enabled", "") == "1";
  s.EqslPassword = Scramble(Read(name, "EQSL Password", ""), kEqslSeed);
  return s;
}

void TClientSettings::WriteStation(const TStation& station) const {
  Write(station.Name, "Comment", station.Comment);
  Write(station.Name, "Addr", station.Addr);
  Write(station.Name, "Port", station.Port);
  Write(station.Name, "Passwd", Scramble(station.Password, kPasswordSeed));
}

void TClientSettings::WriteEqsl(const std::string& name, bool enabled,
                                const std::string& password) const {
  if (!enabled) {
    Write(name, "EQSL Enabled", "");
    return;
  }
  Write(name, "EQSL Enabled", "1");
  Write(name, "EQSL Password", Scramble(password, kEqslSeed));
}

void TClientSettings::CarryEqsl(const std::string& from, const std::string& to) const {
  for (const char* key : {"EQSL Enabled", "EQSL Password"})
    if (!Has(to, key) && Has(from, key)) Write(to, key, Read(from, key, ""));
}

void TClientSettings::SetStationNames(const std::vector<std::string>& names) const {
  std::size_t n = 0;
  while (n < names.size()) {
    Write("Connections", "Connection " + std::to_string(n + 1), names[n]);
    ++n;
  }
  Write("Connections", "Connection " + std::to_string(n + 1), "");
}

namespace {

bool HasControl(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) return true;
  return false;
}

}  // namespace

std::string TClientSettings::SectionNameProblem(const std::string& what, const std::string& text) {
  if (Trim(text).empty()) return what + " is empty.";
  if (text != Trim(text)) return what + " must not begin or end with a blank.";
  if (text.find_first_of("[]=") != std::string::npos || HasControl(text))
    return what + " must not contain \"[\", \"]\", \"=\" or control characters.";
  return ValueProblem(what, text);
}

std::string TClientSettings::ValueProblem(const std::string& what, const std::string& text) {
  if (HasControl(text)) return what + " must not contain line breaks or control characters.";
  if (text != Trim(text)) return what + " must not begin or end with a blank.";
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
    return what + " must not be enclosed in quotes.";
  if (text.size() > 1000) return what + " is too long.";
  return "";
}

std::string TClientSettings::PasswordProblem(const std::string& what, const std::string& text,
                                             int seed) {
  // The password is stored scrambled: it must come back from the file as it went in.
  if (ValueProblem(what, Scramble(text, seed)).empty() &&
      Scramble(text, seed).find('\0') == std::string::npos)
    return "";
  return what + " contains a character that cannot be stored; please choose another one.";
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

void TClientSettings::SetOwnCall(const std::string& call) const {
  Write("Settings", "Call", call);
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
  return ReadWindowPlace(iniFile_, "Main Window", {0, 0}).Left;
}

int TClientSettings::MainTop() const {
  return ReadWindowPlace(iniFile_, "Main Window", {0, 0}).Top;
}

void TClientSettings::SetMainPosition(int left, int top) const {
  WriteWindowPlace(iniFile_, "Main Window", left, top);
}

int TClientSettings::QsoLeft() const {
  return ReadWindowPlace(iniFile_, "QSO Window", {0, 236}).Left;
}

int TClientSettings::QsoTop() const {
  return ReadWindowPlace(iniFile_, "QSO Window", {0, 236}).Top;
}

bool TClientSettings::QsoUpperCase() const {
  return Read("QSO Window", "Upper case", "") == "1";
}

void TClientSettings::SetQsoWindow(int left, int top, bool upperCase) const {
  WriteWindowPlace(iniFile_, "QSO Window", left, top);
  Write("QSO Window", "Upper case", BoolToIniStr(upperCase));
}

std::string TClientSettings::EqslServer() const {
  std::string server = Read("Settings", "eQSL Server", kEqslServer);
  return server.empty() ? kEqslServer : server;
}

std::vector<std::string> TClientSettings::FreqMemories() const {
  std::vector<std::string> freqs;
  for (int n = 1; n <= kFreqMemories; ++n) {
    std::string freq = Read("Frequency Window", "Freq " + std::to_string(n), "");
    if (freq.empty()) break;
    freqs.push_back(freq);
  }
  return freqs;
}

void TClientSettings::SetFreqMemories(const std::vector<std::string>& freqs) const {
  std::size_t n = 0;
  while (n < freqs.size() && n < static_cast<std::size_t>(kFreqMemories)) {
    Write("Frequency Window", "Freq " + std::to_string(n + 1), freqs[n]);
    ++n;
  }
  Write("Frequency Window", "Freq " + std::to_string(n + 1), "");
}

bool TClientSettings::FreqWindowPosition(int& left, int& top) const {
  if (!Has("Frequency Window", "Top")) return false;
  const TWindowPlace place = ReadWindowPlace(iniFile_, "Frequency Window", {left, top});
  left = place.Left;
  top = place.Top;
  return true;
}

void TClientSettings::SetFreqWindowPosition(int left, int top) const {
  WriteWindowPlace(iniFile_, "Frequency Window", left, top);
}

int TClientSettings::RxWindowLeft() const {
  return ReadWindowPlace(iniFile_, "Receive Window", {0, 436}).Left;
}

int TClientSettings::RxWindowTop() const {
  return ReadWindowPlace(iniFile_, "Receive Window", {0, 436}).Top;
}

bool TClientSettings::RxUpperCase() const {
  return Read("Receive Window", "Upper case", "") == "1";
}

void TClientSettings::SetRxWindow(int left, int top, bool upperCase) const {
  WriteWindowPlace(iniFile_, "Receive Window", left, top);
  Write("Receive Window", "Upper case", BoolToIniStr(upperCase));
}

std::string TClientSettings::MacroFile() const {
  return Read("Settings", "Macros", "");
}

void TClientSettings::SetMacroFile(const std::string& path) const {
  Write("Settings", "Macros", path);
}

int TClientSettings::MicLeft() const {
  return ReadWindowPlace(iniFile_, "Mic Window", {0, 236}).Left;
}

int TClientSettings::MicTop() const {
  return ReadWindowPlace(iniFile_, "Mic Window", {0, 236}).Top;
}

void TClientSettings::SetMicPosition(int left, int top) const {
  WriteWindowPlace(iniFile_, "Mic Window", left, top);
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
