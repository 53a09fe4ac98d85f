#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/Ini.h"

// The values the running server holds in memory that the settings dialog shows and may change.
struct TRunningSettings {
  std::string stationCall;
  bool busyFlag = false;
  std::int32_t soundCard = -1;  // -1 the default device, 0 the first card, ...
  std::int32_t squelchLevel = 20;
  bool cwDecoderAvailable = false;
  bool cwDecoderEnabled = false;
  std::string decoderPath;
};

// What the settings dialog edits, without its widgets: read from the server's INI file and the
// running values, changed by the dialog, checked, and written back in one replace of the file on
// OK. Nothing is written before Save(); Cancel just drops the model.
//
// Users and masks are numbered INI lists ("User " / "Address Mask " + 1, 2, ...) that end at the
// first missing or empty key; the writer ends them with an empty key after the last entry. A
// user's password ([Passwords], scrambled) and access level ([Privileges]) are written with the
// list; a user deleted or renamed in the dialog has both keys blanked, so that a later user of
// the same name starts afresh. Message texts keep their line breaks as "||" in the file.
class TSettingsModel {
 public:
  static constexpr std::size_t kMaxNameLength = 64;
  static constexpr std::size_t kMaxPasswordLength = 128;

  struct TUser {
    std::string name;
    std::string password;    // as typed, not scrambled
    std::int32_t level = 0;  // 0 RX only, 1 TX/RX, 2 Full
  };

  // The texts the dialog starts with when the file holds none.
  static constexpr const char* kDefaultWelcome = "You are connected to my K2.||You have %p access.";
  static constexpr const char* kDefaultBusy = "My K2 is busy. Please try again later.";
  static constexpr const char* kDefaultLogOut = "Logging out. 73!";
  static constexpr const char* kDefaultTerminate =
      "The session has been terminated by the operator.";
  static constexpr const char* kDefaultShutDown = "The server is shutting down. Goodbye!";

  explicit TSettingsModel(std::string iniPath);

  // Fills the model from the file and from current. serialPorts: the machine's serial ports
  // (the configured port is added when it is not among them, so that it shows); soundCards: the
  // names of the sound cards, in device order.
  void Load(const TRunningSettings& current, const std::vector<std::string>& serialPorts,
            const std::vector<std::string>& soundCards);

  // --- Plain values, as the dialog's controls hold them
  // -------------------------------------------
  std::string call;
  bool allowGuests = false;
  bool busy = false;
  std::string welcome;  // line breaks as "\n"
  std::string busyText, logOutText, terminateText, shutDownText;
  std::string serverPort;
  int comPortIndex = -1;  // into ComPorts(); -1: none selected
  std::int32_t soundCard = -1;
  std::int32_t squelchLevel = 20;
  bool decoderEnabled = false;
  std::string decoderPath;

  const std::string& IniPath() const { return iniPath_; }
  bool DecoderAvailable() const { return decoderAvailable_; }
  const std::vector<std::string>& ComPorts() const { return comPorts_; }
  // "Default sound card", then one entry per device number: at least four, and as many as there
  // are cards or the stored number needs; a present card's entry carries its name.
  const std::vector<std::string>& SoundCardItems() const { return soundCardItems_; }

  // --- Users
  // ---------------------------------------------------------------------------------------- The
  // names, sorted without regard to case.
  const std::vector<std::string>& Users() const { return users_; }
  // A listed user with its password and level: as changed in this dialog, else as stored.
  TUser User(const std::string& name) const;
  // Adds user (oldName empty) or replaces the listed user oldName by it. The empty text when
  // done, else why not, and nothing changes.
  std::string PutUser(const std::string& oldName, const TUser& user);
  void DeleteUser(const std::string& name);
  // Why a name or a password cannot be stored; the empty text when it can.
  static std::string CheckUserName(const std::string& name);
  static std::string CheckPassword(const std::string& password);

  // --- Address masks
  // ------------------------------------------------------------------------------
  const std::vector<std::string>& Masks() const { return masks_; }
  // Adds the mask (surrounding blanks removed; an empty answer adds nothing). The empty text
  // when done, else why not.
  std::string AddMask(const std::string& mask);
  void DeleteMask(std::size_t index);

  // --- OK
  // ----------------------------------------------------------------------------------------- Why
  // the values cannot be written as they stand; the empty text when they can.
  std::string Check() const;
  // The INI entries that OK writes, in order.
  std::vector<platform::IniEntry> Changes() const;
  // Writes Changes() in one replace of the file; false, leaving the file as it was, on failure.
  bool Save() const;
  bool PortChanged() const;
  bool ComPortChanged() const;
  // The selected serial port; empty when none.
  std::string ComPort() const;
  // The running values after OK (the decoder counts as enabled only when its program exists).
  TRunningSettings Result() const;

 private:
  std::string iniPath_;
  bool decoderAvailable_ = false;
  std::string loadedPort_;
  int loadedComPortIndex_ = -1;
  std::int32_t loadedSoundCard_ = -1;
  std::vector<std::string> comPorts_;
  std::vector<std::string> soundCardItems_;
  std::vector<std::string> users_;
  std::vector<std::string> masks_;
  // Users added or changed in this dialog, by upper-case name.
  std::map<std::string, TUser> changedUsers_;
  // Names deleted or renamed away in this dialog, by upper-case name.
  std::map<std::string, std::string> droppedUsers_;
};
