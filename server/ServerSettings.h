#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The server's settings file, read through one place. Nothing is cached: every call reads the
// file, so an edit takes effect the next time a value is asked for. The session asks for its
// message texts each time it sends one, and for the users' entries at each login; the listening
// and radio settings are asked for once, when the server starts.
class TServerSettings {
 public:
  // Passwords are stored scrambled with this seed (see Scramble).
  static constexpr std::int32_t kPasswordSeed = 2958;

  explicit TServerSettings(std::string iniPath) : iniPath_(std::move(iniPath)) {}

  const std::string& IniPath() const { return iniPath_; }

  // [Identification] Call, "MYCALL" when absent.
  std::string StationCall() const;
  // [Access Control] K2 Busy: every caller is turned away.
  bool K2Busy() const;
  void SetK2Busy(bool value) const;
  // The address masks of [Access Control] (see AddressAllowed in ServerMessages.h).
  bool AddressAllowed(const std::string& address) const;

  // [COMM] Port: the radio's serial port; empty when the settings name none.
  std::string CommPort() const;
  // [Control] Port ("6110") and Address ("0.0.0.0"): where the server listens.
  std::string ListenPort() const;
  std::string ListenAddress() const;
  // [Audio] Sound card (-1, also for a bad number) and Squelch (20; 0 for a bad number).
  std::int32_t SoundCard() const;
  std::int32_t SquelchLevel() const;

  // [Users] User 1, 2, ... up to the first missing or empty key; names match without regard to
  // case, as the [Passwords] and [Privileges] keys do.
  bool UserListed(const std::string& user) const;
  std::vector<std::string> Users() const;
  // [Access Control] Address Mask 1, 2, ... up to the first missing or empty key.
  std::vector<std::string> AddressMasks() const;
  // [Passwords] user, unscrambled; empty when absent.
  std::string Password(const std::string& user) const;
  // [Privileges] user: 0 RX only, 1 TX/RX, 2 Full; 0 when absent or not a number.
  std::int32_t Privilege(const std::string& user) const;
  // [Users] Allow guests is "1".
  bool AllowGuests() const;

  // [Messages] key ("Welcome", "Busy", "Logging Out", "Disconnection", "Shutting Down"), as
  // written, macros unexpanded; empty when absent.
  std::string Message(const std::string& key) const;
  // The same, def when the key is absent (a key present with nothing after "=" stays empty).
  std::string Message(const std::string& key, const std::string& def) const;

  // [CW Decoder] Enable CW Decoder is "1", and CWGet Path: the decoder program.
  bool CwDecoderEnabled() const;
  std::string CwGetPath() const;

  // [General] Minimized: the window starts hidden in the notification area.
  bool Minimized() const;
  void SetMinimized(bool value) const;
  // [General] Left and Top. False when no position was stored (Left absent or below -7).
  bool Position(std::int32_t& left, std::int32_t& top) const;
  void SetPosition(std::int32_t left, std::int32_t top) const;

 private:
  std::string Read(const std::string& section, const std::string& key,
                   const std::string& def) const;
  // key + 1, 2, ... up to the first missing or empty key.
  std::vector<std::string> List(const std::string& section, const std::string& key) const;

  std::string iniPath_;
};
