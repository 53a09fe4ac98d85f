// The settings dialog's model: what it reads, the rules it keeps, and what OK writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/Utils.h"
#include "server/SettingsModel.h"

namespace {

class SettingsModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = std::string(std::getenv("TALVO_HOME")) + "/settings-model.ini";
    std::remove(ini_.c_str());
  }
  void Ini(const std::string& section, const std::string& key, const std::string& value) {
    WriteIniString(ini_, section, key, value);
  }
  std::string Read(const std::string& section, const std::string& key) {
    return ReadIniString(ini_, section, key, "<absent>");
  }
  TSettingsModel Loaded(const TRunningSettings& current = {},
                        const std::vector<std::string>& ports = {},
                        const std::vector<std::string>& cards = {}) {
    TSettingsModel model(ini_);
    model.Load(current, ports, cards);
    return model;
  }
  std::string ini_;
};

TEST_F(SettingsModelTest, DefaultsOfAFirstRun) {
  TSettingsModel m = Loaded({"MYCALL", false, -1, 20, false, false, ""});
  EXPECT_EQ(m.call, "MYCALL");
  EXPECT_EQ(m.welcome, "You are connected to my K2.\nYou have %p access.");
  EXPECT_EQ(m.busyText, "My K2 is busy. Please try again later.");
  EXPECT_EQ(m.logOutText, "Logging out. 73!");
  EXPECT_EQ(m.terminateText, "The session has been terminated by the operator.");
  EXPECT_EQ(m.shutDownText, "The server is shutting down. Goodbye!");
  EXPECT_EQ(m.serverPort, "6110");
  EXPECT_EQ(m.ComPorts(), std::vector<std::string>{"COM1"});  // the port the server uses
  EXPECT_EQ(m.comPortIndex, 0);
  EXPECT_EQ(m.SoundCardItems(),
            (std::vector<std::string>{"Default sound card", "First sound card", "Second sound card",
                                      "Third sound card", "Fourth sound card"}));
  EXPECT_TRUE(m.Users().empty());
  EXPECT_TRUE(m.Masks().empty());
}

TEST_F(SettingsModelTest, EveryValueWrittenAndReadBack) {
  TSettingsModel m = Loaded({}, {"/dev/ttyS0", "/dev/ttyUSB0"}, {"PCH", "USB Audio"});
  m.call = "DL1ABC";
  ASSERT_EQ(m.PutUser("", {"K1ABC", "s3cret pass", 2}), "");
  ASSERT_EQ(m.PutUser("", {"alice", "pw", 1}), "");
  m.allowGuests = true;
  ASSERT_EQ(m.AddMask("192.168.2.*"), "");
  ASSERT_EQ(m.AddMask("10.0.0.5"), "");
  m.busy = true;
  m.welcome = "Hello %u\nline two\r\nline three";
  m.busyText = "busy";
  m.logOutText = "73";
  m.terminateText = "terminated";
  m.shutDownText = "down";
  m.serverPort = "6111";
  m.comPortIndex = 1;
  m.soundCard = 1;
  m.squelchLevel = 35;
  ASSERT_EQ(m.Check(), "");
  ASSERT_TRUE(m.Save());

  EXPECT_EQ(Read("Identification", "Call"), "DL1ABC");
  EXPECT_EQ(Read("Users", "User 1"), "alice");
  EXPECT_EQ(Read("Users", "User 2"), "K1ABC");
  EXPECT_EQ(Read("Users", "User 3"), "");
  EXPECT_EQ(Read("Users", "Allow guests"), "1");
  EXPECT_EQ(Scramble(Read("Passwords", "K1ABC"), 2958), "s3cret pass");
  EXPECT_EQ(Read("Privileges", "k1abc"), "2");
  EXPECT_EQ(Read("Access Control", "Address Mask 2"), "10.0.0.5");
  EXPECT_EQ(Read("Access Control", "Address Mask 3"), "");
  EXPECT_EQ(Read("Access Control", "K2 Busy"), "1");
  EXPECT_EQ(Read("Messages", "Welcome"), "Hello %u||line two||line three");
  EXPECT_EQ(Read("Messages", "Logging Out"), "73");
  EXPECT_EQ(Read("Messages", "Shutting Down"), "down");
  EXPECT_EQ(Read("Control", "Port"), "6111");
  EXPECT_EQ(Read("COMM", "Port"), "/dev/ttyUSB0");
  EXPECT_EQ(Read("Audio", "Sound card"), "1");
  EXPECT_EQ(Read("Audio", "Squelch"), "35");

  TSettingsModel again = Loaded({"DL1ABC", true, 1, 35, false, false, ""},
                                {"/dev/ttyS0", "/dev/ttyUSB0"}, {"PCH", "USB Audio"});
  EXPECT_EQ(again.Users(), (std::vector<std::string>{"alice", "K1ABC"}));
  EXPECT_EQ(again.User("K1ABC").password, "s3cret pass");
  EXPECT_EQ(again.User("K1ABC").level, 2);
  EXPECT_EQ(again.Masks(), (std::vector<std::string>{"192.168.2.*", "10.0.0.5"}));
  EXPECT_EQ(again.welcome, "Hello %u\nline two\nline three");
  EXPECT_EQ(again.comPortIndex, 1);
  EXPECT_FALSE(again.PortChanged());
  EXPECT_FALSE(again.ComPortChanged());
  EXPECT_EQ(again.SoundCardItems()[2], "Second sound card (USB Audio)");
}

TEST_F(SettingsModelTest, ListsAreRenumberedAndEndWithAnEmptyKey) {
  for (const char* name : {"f", "e", "d", "c", "b", "a"})
    Ini("Users", "User " + std::to_string('g' - name[0]), name);
  TSettingsModel m = Loaded();
  EXPECT_EQ(m.Users(), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  m.DeleteUser("c");
  ASSERT_TRUE(m.Save());
  std::vector<std::string> stored;
  for (int n = 1; n <= 6; ++n) stored.push_back(Read("Users", "User " + std::to_string(n)));
  EXPECT_EQ(stored, (std::vector<std::string>{"a", "b", "d", "e", "f", ""}));
}

TEST_F(SettingsModelTest, UserNameRules) {
  struct Row {
    std::string name;
    bool ok;
  };
  const Row rows[] = {
      {"DL1ABC", true},
      {"k1-abc/p", true},
      {std::string(64, 'x'), true},
      {std::string(65, 'x'), false},
      {"", false},
      {"al ice", false},
      {"a=b", false},
      {"[x", false},
      {"x]", false},
      {"a;b", false},
      {"'bob'", false},
      {"\"bob\"", false},
      {"tab\there", false},
      {"del\x7F", false},
      {"caf\xE9", false},
  };
  for (const auto& row : rows) {
    TSettingsModel m = Loaded();
    std::string why = m.PutUser("", {row.name, "pw", 0});
    EXPECT_EQ(why.empty(), row.ok) << row.name << ": " << why;
    EXPECT_EQ(m.Users().size(), row.ok ? 1u : 0u) << row.name;
  }
}

TEST_F(SettingsModelTest, PasswordRules) {
  struct Row {
    std::string password;
    bool ok;
  };
  const Row rows[] = {
      {"", true},
      {"with space", true},
      {"~!@#$%^&*()[]=;", true},
      {std::string(128, 'p'), true},
      {std::string(129, 'p'), false},
      {"line\r", false},
      {"line\n", false},
      {std::string("nul\0", 4), false},
      {"\xFCml", false},  // would scramble into a control character
  };
  for (const auto& row : rows) {
    std::remove(ini_.c_str());
    TSettingsModel m = Loaded();
    std::string why = m.PutUser("", {"u", row.password, 1});
    EXPECT_EQ(why.empty(), row.ok) << row.password << ": " << why;
    if (!row.ok) continue;
    ASSERT_TRUE(m.Save());
    EXPECT_EQ(Loaded().User("u").password, row.password);
  }
}

TEST_F(SettingsModelTest, ASecondUserOfTheSameNameIsRefused) {
  Ini("Users", "User 1", "Alice");
  TSettingsModel m = Loaded();
  EXPECT_NE(m.PutUser("", {"ALICE", "x", 0}), "");
  ASSERT_EQ(m.PutUser("", {"bob", "x", 0}), "");
  EXPECT_NE(m.PutUser("bob", {"alice", "x", 0}), "");    // renaming onto another user
  EXPECT_EQ(m.PutUser("Alice", {"alice", "x", 0}), "");  // a change of case is no clash
  EXPECT_EQ(m.Users(), (std::vector<std::string>{"alice", "bob"}));
}

TEST_F(SettingsModelTest, DeletedAndRenamedUsersLoseTheirPasswordAndLevel) {
  Ini("Users", "User 1", "alice");
  Ini("Users", "User 2", "bob");
  Ini("Users", "User 3", "carol");
  for (const char* name : {"alice", "bob", "carol"}) {
    Ini("Passwords", name, Scramble(std::string("pw-") + name, 2958));
    Ini("Privileges", name, "2");
  }
  TSettingsModel m = Loaded();
  m.DeleteUser("alice");
  TSettingsModel::TUser renamed = m.User("bob");
  EXPECT_EQ(renamed.password, "pw-bob");
  renamed.name = "robert";
  ASSERT_EQ(m.PutUser("bob", renamed), "");
  m.DeleteUser("carol");
  ASSERT_EQ(m.PutUser("", {"Carol", "new", 0}), "");  // deleted, then a new Carol
  ASSERT_TRUE(m.Save());

  EXPECT_EQ(Read("Passwords", "alice"), "");
  EXPECT_EQ(Read("Privileges", "alice"), "");
  EXPECT_EQ(Read("Passwords", "bob"), "");
  EXPECT_EQ(Read("Privileges", "bob"), "");
  EXPECT_EQ(Scramble(Read("Passwords", "robert"), 2958), "pw-bob");
  EXPECT_EQ(Read("Privileges", "robert"), "2");
  EXPECT_EQ(Scramble(Read("Passwords", "carol"), 2958), "new");
  EXPECT_EQ(Read("Privileges", "carol"), "0");
  // A later user named alice starts without the old password and level.
  TSettingsModel later = Loaded();
  ASSERT_EQ(later.PutUser("", {"x", "", 0}), "");
  EXPECT_EQ(later.User("alice").password, "");
  EXPECT_EQ(later.User("alice").level, 0);
}

TEST_F(SettingsModelTest, AddressMaskRules) {
  struct Row {
    std::string typed, stored, error;
  };
  const Row rows[] = {
      {"192.168.2.*", "192.168.2.*", ""},
      {"  10.0.0.5 ", "10.0.0.5", ""},
      {"*", "*", ""},
      {"", "", ""},
      {"   ", "", ""},
      {"192.*.1", "", "error"},
      {"host.example", "", "error"},
      {"10.0.0.1 10.0.0.2", "", "error"},
  };
  for (const auto& row : rows) {
    TSettingsModel m = Loaded();
    std::string why = m.AddMask(row.typed);
    EXPECT_EQ(why.empty(), row.error.empty()) << row.typed;
    EXPECT_EQ(m.Masks(), row.stored.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{row.stored})
        << row.typed;
  }
  TSettingsModel m = Loaded();
  m.AddMask("1.*");
  m.AddMask("2.*");
  m.DeleteMask(0);
  m.DeleteMask(5);
  EXPECT_EQ(m.Masks(), std::vector<std::string>{"2.*"});
}

TEST_F(SettingsModelTest, ThePortIsCheckedAndWrittenOnlyWhenChanged) {
  Ini("Control", "Port", "odd one");
  struct Row {
    std::string typed;
    bool ok, written;
  };
  const Row rows[] = {
      {"odd one", true, false}, {"6111", true, true},    {" 6112 ", true, true},
      {"http", true, true},     {"0", false, false},     {"65536", false, false},
      {"", false, false},       {"61 10", false, false}, {"-1", false, false},
  };
  for (const auto& row : rows) {
    Ini("Control", "Port", "odd one");
    TSettingsModel m = Loaded();
    m.serverPort = row.typed;
    EXPECT_EQ(m.Check().empty(), row.ok) << row.typed;
    EXPECT_EQ(m.PortChanged(), row.written || !row.ok) << row.typed;
    if (!row.ok) continue;
    ASSERT_TRUE(m.Save());
    const std::string stored = row.typed == " 6112 " ? "6112" : row.typed;
    EXPECT_EQ(Read("Control", "Port"), row.written ? stored : "odd one") << row.typed;
  }
}

TEST_F(SettingsModelTest, SerialPortWrittenOnlyWhenAnotherIsChosen) {
  const std::vector<std::string> found{"/dev/ttyS0", "/dev/serial/by-id/usb-FTDI-if00-port0"};
  Ini("COMM", "Port", "/DEV/TTYS0");
  TSettingsModel m = Loaded({}, found);
  EXPECT_EQ(m.ComPorts(), found);
  EXPECT_EQ(m.comPortIndex, 0);
  ASSERT_TRUE(m.Save());
  EXPECT_EQ(Read("COMM", "Port"), "/DEV/TTYS0");
  m.comPortIndex = 1;
  EXPECT_TRUE(m.ComPortChanged());
  ASSERT_TRUE(m.Save());
  EXPECT_EQ(Read("COMM", "Port"), "/dev/serial/by-id/usb-FTDI-if00-port0");

  // A configured port that is not there now (a pseudo-terminal, an adapter unplugged) is shown
  // and kept.
  Ini("COMM", "Port", "/dev/pts/7");
  TSettingsModel other = Loaded({}, found);
  EXPECT_EQ(other.ComPorts().back(), "/dev/pts/7");
  EXPECT_EQ(other.ComPort(), "/dev/pts/7");
  EXPECT_FALSE(other.ComPortChanged());
  other.comPortIndex = -1;  // nothing selected: nothing written
  ASSERT_TRUE(other.Save());
  EXPECT_EQ(Read("COMM", "Port"), "/dev/pts/7");
}

TEST_F(SettingsModelTest, SoundCardEntries) {
  TSettingsModel m = Loaded({"", false, 6, 20, false, false, ""}, {}, {"PCH", "USB", "HDMI"});
  const auto& items = m.SoundCardItems();
  ASSERT_EQ(items.size(), 8u);  // the default and devices 0 to 6
  EXPECT_EQ(items[1], "First sound card (PCH)");
  EXPECT_EQ(items[3], "Third sound card (HDMI)");
  EXPECT_EQ(items[4], "Fourth sound card");
  EXPECT_EQ(items[7], "Seventh sound card");
}

TEST_F(SettingsModelTest, DecoderCountsAsEnabledOnlyWithItsProgram) {
  const std::string program = std::string(std::getenv("TALVO_HOME")) + "/cwget";
  std::ofstream(program) << "#!/bin/sh\n";
  Ini("CW Decoder", "Enable CW Decoder", "1");
  Ini("CW Decoder", "CWGet Path", program);
  TRunningSettings current;
  current.cwDecoderAvailable = true;
  TSettingsModel m = Loaded(current);
  EXPECT_TRUE(m.decoderEnabled);
  EXPECT_EQ(m.decoderPath, program);
  EXPECT_TRUE(m.Result().cwDecoderEnabled);
  m.decoderPath = program + ".missing";
  EXPECT_FALSE(m.Result().cwDecoderEnabled);
  ASSERT_TRUE(m.Save());
  EXPECT_EQ(Read("CW Decoder", "Enable CW Decoder"), "");
  EXPECT_EQ(Read("CW Decoder", "CWGet Path"), program + ".missing");

  // Without the decoder's library its keys are left alone.
  Ini("CW Decoder", "Enable CW Decoder", "1");
  TSettingsModel without = Loaded();
  ASSERT_TRUE(without.Save());
  EXPECT_EQ(Read("CW Decoder", "Enable CW Decoder"), "1");
  std::remove(program.c_str());
}

TEST_F(SettingsModelTest, AFailedWriteLeavesNothingBehind) {
  // A folder stands where the file would be replaced: the write must fail as a whole.
  const std::string home = std::getenv("TALVO_HOME");
  const std::string blocked = home + "/blocked.ini";
  std::filesystem::create_directories(blocked + "/inside");
  TSettingsModel m(blocked);
  m.Load({}, {}, {});
  m.call = "NEW";
  ASSERT_EQ(m.PutUser("", {"alice", "pw", 1}), "");
  EXPECT_FALSE(m.Save());
  for (const auto& entry : std::filesystem::directory_iterator(home))
    EXPECT_EQ(entry.path().filename().string().rfind("blocked.ini.", 0), std::string::npos)
        << entry.path();
  EXPECT_TRUE(std::filesystem::is_directory(blocked + "/inside"));
  std::filesystem::remove_all(blocked);
}

}  // namespace
