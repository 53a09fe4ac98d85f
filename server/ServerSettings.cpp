#include "server/ServerSettings.h"

#include "common/Utils.h"
#include "server/ServerMessages.h"
#include "text/Text.h"

std::string TServerSettings::Read(const std::string& section, const std::string& key,
                                  const std::string& def) const {
  return ReadIniString(iniPath_, section, key, def);
}

std::vector<std::string> TServerSettings::List(const std::string& section,
                                               const std::string& key) const {
  std::vector<std::string> list;
  for (int n = 1;; ++n) {
    std::string value = Read(section, key + std::to_string(n), "");
    if (value.empty()) return list;
    list.push_back(std::move(value));
  }
}

std::string TServerSettings::StationCall() const {
  return Read("Identification", "Call", "MYCALL");
}

bool TServerSettings::K2Busy() const {
  return Read("Access Control", "K2 Busy", "") == "1";
}

void TServerSettings::SetK2Busy(bool value) const {
  WriteIniString(iniPath_, "Access Control", "K2 Busy", BoolToIniStr(value));
}

bool TServerSettings::AddressAllowed(const std::string& address) const {
  return ::AddressAllowed(iniPath_, address);
}

std::string TServerSettings::CommPort() const {
  return Read("COMM", "Port", "");
}

std::string TServerSettings::ListenPort() const {
  return Read("Control", "Port", "6110");
}

std::string TServerSettings::ListenAddress() const {
  return Read("Control", "Address", "0.0.0.0");
}

std::int32_t TServerSettings::SoundCard() const {
  return StrToIntDef(Read("Audio", "Sound card", "-1"), -1);
}

std::int32_t TServerSettings::SquelchLevel() const {
  return StrToIntDef(Read("Audio", "Squelch", "20"), 0);
}

bool TServerSettings::UserListed(const std::string& user) const {
  for (int n = 1;; ++n) {
    const std::string listed = Read("Users", "User " + std::to_string(n), "");
    if (listed.empty()) return false;
    if (SameTextAscii(listed, user)) return true;
  }
}

std::vector<std::string> TServerSettings::Users() const {
  return List("Users", "User ");
}

std::vector<std::string> TServerSettings::AddressMasks() const {
  return List("Access Control", "Address Mask ");
}

std::string TServerSettings::Password(const std::string& user) const {
  return Scramble(Read("Passwords", user, ""), kPasswordSeed);
}

std::int32_t TServerSettings::Privilege(const std::string& user) const {
  return StrToIntDef(Read("Privileges", user, "0"), 0);
}

bool TServerSettings::AllowGuests() const {
  return Read("Users", "Allow guests", "") == "1";
}

std::string TServerSettings::Message(const std::string& key) const {
  return Read("Messages", key, "");
}

std::string TServerSettings::Message(const std::string& key, const std::string& def) const {
  return Read("Messages", key, def);
}

bool TServerSettings::CwDecoderEnabled() const {
  return Read("CW Decoder", "Enable CW Decoder", "") == "1";
}

std::string TServerSettings::CwGetPath() const {
  return Read("CW Decoder", "CWGet Path", "");
}

bool TServerSettings::Minimized() const {
  return Read("General", "Minimized", "") == "1";
}

void TServerSettings::SetMinimized(bool value) const {
  WriteIniString(iniPath_, "General", "Minimized", BoolToIniStr(value));
}

bool TServerSettings::Position(std::int32_t& left, std::int32_t& top) const {
  const TWindowPlace place = ReadWindowPlace(iniPath_, "General", {-8, 0});
  if (place.Left <= -8) return false;
  left = place.Left;
  top = place.Top;
  return true;
}

void TServerSettings::SetPosition(std::int32_t left, std::int32_t top) const {
  WriteWindowPlace(iniPath_, "General", left, top);
}
