#include "server/SettingsModel.h"

#include <algorithm>

#include "common/AccessLevel.h"
#include "common/Utils.h"
#include "platform/Paths.h"
#include "server/ServerSettings.h"
#include "text/Text.h"

namespace {

std::string TrimBlanks(const std::string& s) {
  return Trim(s, " \t");
}

// Sorted as names are, without regard to case; names equal but for case in byte order.
bool NameLess(const std::string& a, const std::string& b) {
  std::string ua = UpperAscii(a), ub = UpperAscii(b);
  return ua != ub ? ua < ub : a < b;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

void WriteList(std::vector<platform::IniEntry>& out, const char* section, const char* key,
               const std::vector<std::string>& list) {
  for (std::size_t n = 0; n < list.size(); ++n)
    out.push_back({section, key + std::to_string(n + 1), list[n]});
  out.push_back({section, key + std::to_string(list.size() + 1), ""});
}

const char* const kOrdinals[] = {"First", "Second",  "Third",  "Fourth", "Fifth",
                                 "Sixth", "Seventh", "Eighth", "Ninth",  "Tenth"};

std::string SoundCardItem(std::size_t device, const std::vector<std::string>& names) {
  std::string item = device < std::size(kOrdinals) ? std::string(kOrdinals[device]) + " sound card"
                                                   : "Sound card " + std::to_string(device + 1);
  if (device < names.size()) item += " (" + names[device] + ")";
  return item;
}

bool ValidServicePort(const std::string& port) {
  if (port.empty()) return false;
  if (port[0] >= '0' && port[0] <= '9') {
    auto n = ParseUnsigned(port, 10, 65535);
    return n && *n >= 1;
  }
  // A service name, as the services database spells them.
  if (!((port[0] >= 'a' && port[0] <= 'z') || (port[0] >= 'A' && port[0] <= 'Z'))) return false;
  return std::all_of(port.begin(), port.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

}  // namespace

TSettingsModel::TSettingsModel(std::string iniPath) : iniPath_(std::move(iniPath)) {}

void TSettingsModel::Load(const TRunningSettings& current,
                          const std::vector<std::string>& serialPorts,
                          const std::vector<std::string>& soundCards) {
  const TServerSettings ini(iniPath_);
  call = current.stationCall;
  users_ = ini.Users();
  std::stable_sort(users_.begin(), users_.end(), NameLess);
  allowGuests = ini.AllowGuests();
  masks_ = ini.AddressMasks();
  busy = current.busyFlag;
  welcome = ReplaceAll(ini.Message("Welcome", kDefaultWelcome), "||", "\n");
  busyText = ini.Message("Busy", kDefaultBusy);
  logOutText = ini.Message("Logging out", kDefaultLogOut);
  terminateText = ini.Message("Disconnection", kDefaultTerminate);
  shutDownText = ini.Message("Shutting down", kDefaultShutDown);
  serverPort = loadedPort_ = ini.ListenPort();

  comPorts_ = serialPorts;
  // Without a port of its own the server uses the first serial port, by its other name.
  const std::string port = ini.CommPort().empty() ? "COM1" : ini.CommPort();
  comPortIndex = -1;
  for (std::size_t i = 0; i < comPorts_.size() && comPortIndex < 0; ++i)
    if (SameTextAscii(comPorts_[i], port)) comPortIndex = static_cast<int>(i);
  if (comPortIndex < 0 && !port.empty()) {
    comPorts_.push_back(port);
    comPortIndex = static_cast<int>(comPorts_.size()) - 1;
  }
  loadedComPortIndex_ = comPortIndex;

  soundCard = loadedSoundCard_ = current.soundCard;
  std::size_t devices = std::max<std::size_t>(4, soundCards.size());
  if (current.soundCard >= 0)
    devices = std::max(devices, static_cast<std::size_t>(current.soundCard) + 1);
  soundCardItems_ = {"Default sound card"};
  for (std::size_t d = 0; d < devices; ++d) soundCardItems_.push_back(SoundCardItem(d, soundCards));
  squelchLevel = current.squelchLevel;

  decoderAvailable_ = current.cwDecoderAvailable;
  if (decoderAvailable_) {
    decoderEnabled = ini.CwDecoderEnabled();
    decoderPath = ini.CwGetPath();
  }
  changedUsers_.clear();
  droppedUsers_.clear();
}

TSettingsModel::TUser TSettingsModel::User(const std::string& name) const {
  auto it = changedUsers_.find(UpperAscii(name));
  if (it != changedUsers_.end()) return it->second;
  const TServerSettings ini(iniPath_);
  return {name, ini.Password(name), ini.Privilege(name)};
}

std::string TSettingsModel::CheckUserName(const std::string& name) {
  if (name.empty()) return "Please enter the user's callsign.";
  if (name.size() > kMaxNameLength)
    return "A callsign has at most " + std::to_string(kMaxNameLength) + " characters.";
  for (char c : name) {
    auto u = static_cast<unsigned char>(c);
    if (u == ' ') return "A callsign cannot contain a space: the login could not tell it apart.";
    if (u < 33 || u > 126)
      return "A callsign can contain only letters, digits and the signs of plain ASCII.";
    if (std::string("=[];\"'").find(c) != std::string::npos)
      return std::string("A callsign cannot contain \"") + c +
             "\": the settings file could not keep it.";
  }
  return {};
}

std::string TSettingsModel::CheckPassword(const std::string& password) {
  if (password.size() > kMaxPasswordLength)
    return "A password has at most " + std::to_string(kMaxPasswordLength) + " characters.";
  for (char c : password) {
    auto u = static_cast<unsigned char>(c);
    if (u < 32 || u > 126)
      return "A password can contain only letters, digits, spaces and the signs of plain ASCII.";
  }
  return {};
}

std::string TSettingsModel::PutUser(const std::string& oldName, const TUser& user) {
  if (std::string why = CheckUserName(user.name); !why.empty()) return why;
  if (std::string why = CheckPassword(user.password); !why.empty()) return why;
  if (user.level < kAccessRxOnly || user.level > kAccessFull)
    return "Please choose the user's privileges.";
  const std::string key = UpperAscii(user.name);
  for (const auto& listed : users_)
    if (UpperAscii(listed) == key && !SameTextAscii(listed, oldName))
      return "There is a user " + listed + " already: select it and choose Edit to change it.";
  if (!oldName.empty()) DeleteUser(oldName);
  droppedUsers_.erase(key);
  changedUsers_[key] = user;
  users_.insert(std::upper_bound(users_.begin(), users_.end(), user.name, NameLess), user.name);
  return {};
}

void TSettingsModel::DeleteUser(const std::string& name) {
  auto it = std::find(users_.begin(), users_.end(), name);
  if (it == users_.end()) return;
  users_.erase(it);
  changedUsers_.erase(UpperAscii(name));
  droppedUsers_[UpperAscii(name)] = name;
}

std::string TSettingsModel::AddMask(const std::string& mask) {
  const std::string m = TrimBlanks(mask);
  if (m.empty()) return {};
  for (std::size_t i = 0; i < m.size(); ++i) {
    char c = m[i];
    bool ok = (c >= '0' && c <= '9') || c == '.' || (c == '*' && i + 1 == m.size());
    if (!ok)
      return "An address mask is an address, such as 10.0.0.5, or the start of one followed "
             "by \"*\", such as 192.168.2.*: digits and dots, and \"*\" only at the end.";
  }
  masks_.push_back(m);
  return {};
}

void TSettingsModel::DeleteMask(std::size_t index) {
  if (index < masks_.size()) masks_.erase(masks_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::string TSettingsModel::Check() const {
  if (PortChanged() && !ValidServicePort(TrimBlanks(serverPort)))
    return "The network port must be a number from 1 to 65535 or the name of a service.";
  return {};
}

bool TSettingsModel::PortChanged() const {
  return TrimBlanks(serverPort) != loadedPort_;
}

bool TSettingsModel::ComPortChanged() const {
  return comPortIndex >= 0 && comPortIndex != loadedComPortIndex_;
}

std::string TSettingsModel::ComPort() const {
  if (comPortIndex < 0 || static_cast<std::size_t>(comPortIndex) >= comPorts_.size()) return {};
  return comPorts_[static_cast<std::size_t>(comPortIndex)];
}

std::vector<platform::IniEntry> TSettingsModel::Changes() const {
  std::vector<platform::IniEntry> out;
  out.push_back({"Identification", "Call", call});
  WriteList(out, "Users", "User ", users_);
  out.push_back({"Users", "Allow guests", BoolToIniStr(allowGuests)});
  for (const auto& [key, name] : droppedUsers_) {
    out.push_back({"Passwords", name, ""});
    out.push_back({"Privileges", name, ""});
  }
  for (const auto& [key, user] : changedUsers_) {
    out.push_back(
        {"Passwords", user.name, Scramble(user.password, TServerSettings::kPasswordSeed)});
    out.push_back({"Privileges", user.name, std::to_string(user.level)});
  }
  WriteList(out, "Access Control", "Address Mask ", masks_);
  out.push_back({"Access Control", "K2 Busy", BoolToIniStr(busy)});
  std::string storedWelcome = ReplaceAll(ReplaceAll(welcome, "\r\n", "\n"), "\r", "\n");
  out.push_back({"Messages", "Welcome", ReplaceAll(storedWelcome, "\n", "||")});
  out.push_back({"Messages", "Busy", busyText});
  out.push_back({"Messages", "Logging out", logOutText});
  out.push_back({"Messages", "Disconnection", terminateText});
  out.push_back({"Messages", "Shutting down", shutDownText});
  if (PortChanged()) out.push_back({"Control", "Port", TrimBlanks(serverPort)});
  if (ComPortChanged()) out.push_back({"COMM", "Port", ComPort()});
  out.push_back({"Audio", "Sound card", std::to_string(soundCard)});
  out.push_back({"Audio", "Squelch", std::to_string(squelchLevel)});
  if (decoderAvailable_) {
    out.push_back({"CW Decoder", "Enable CW Decoder", BoolToIniStr(Result().cwDecoderEnabled)});
    out.push_back({"CW Decoder", "CWGet Path", decoderPath});
  }
  return out;
}

bool TSettingsModel::Save() const {
  return platform::WritePrivateProfileStrings(Changes(), iniPath_);
}

TRunningSettings TSettingsModel::Result() const {
  TRunningSettings r;
  r.stationCall = call;
  r.busyFlag = busy;
  r.soundCard = soundCard;
  r.squelchLevel = squelchLevel;
  r.cwDecoderAvailable = decoderAvailable_;
  r.cwDecoderEnabled = decoderAvailable_ && decoderEnabled && platform::FileExists(decoderPath);
  r.decoderPath = decoderPath;
  return r;
}
