#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Ini.h"
#include "tests/support/FileContents.h"

namespace {

std::string TempIni(const char* name) {
  std::string path = std::string(std::getenv("TALVO_HOME")) + "/" + name;
  std::remove(path.c_str());
  return path;
}

void Put(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

TEST(Ini, MissingFileSectionOrKeyGivesDefault) {
  auto path = TempIni("missing.ini");
  EXPECT_EQ(GetPrivateProfileString("A", "b", "dflt", path), "dflt");
  Put(path, "[Other]\nb=1\n[A]\nc=2\n");
  EXPECT_EQ(GetPrivateProfileString("A", "b", "dflt", path), "dflt");
  EXPECT_EQ(GetPrivateProfileString("Other", "b", "dflt", path), "1");
}

TEST(Ini, NamesMatchWithoutRegardToCase) {
  auto path = TempIni("case.ini");
  Put(path, "[COMM]\r\nLogging Out=yes\r\n");
  EXPECT_EQ(GetPrivateProfileString("Comm", "logging out", "", path), "yes");
  ASSERT_TRUE(WritePrivateProfileString("comm", "LOGGING OUT", "no", path));
  EXPECT_EQ(GetPrivateProfileString("COMM", "Logging Out", "", path), "no");
  // One entry, not two, and the file keeps its CR LF line endings.
  EXPECT_EQ(FileContents(path), "[COMM]\r\nLOGGING OUT=no\r\n");
}

TEST(Ini, EmptyValueIsPresentAndReadsEmpty) {
  auto path = TempIni("empty.ini");
  ASSERT_TRUE(WritePrivateProfileString("S", "K", "", path));
  EXPECT_EQ(GetPrivateProfileString("S", "K", "dflt", path), "");
  EXPECT_EQ(FileContents(path), "[S]\nK=\n");
}

TEST(Ini, EightBitValuesRoundTrip) {
  auto path = TempIni("bytes.ini");
  std::string value;
  for (int c = 128; c < 256; ++c) value += static_cast<char>(c);
  ASSERT_TRUE(WritePrivateProfileString("Users", "Password 1", value, path));
  EXPECT_EQ(GetPrivateProfileString("Users", "Password 1", "", path), value);
}

TEST(Ini, LongValuesAreCutToTheBuffer) {
  auto path = TempIni("long.ini");
  std::string value(3000, 'x');
  ASSERT_TRUE(WritePrivateProfileString("S", "K", value, path));
  EXPECT_EQ(GetPrivateProfileString("S", "K", "", path).size(), 2047u);
  EXPECT_EQ(GetPrivateProfileString("S", "K", "", path, 10), "xxxxxxxxx");
}

TEST(Ini, WritesKeepOtherSectionsAndAddNewKeysToTheirSection) {
  auto path = TempIni("lists.ini");
  for (int i = 1; i <= 3; ++i)
    WritePrivateProfileString("Users", "User " + std::to_string(i), "u" + std::to_string(i), path);
  WritePrivateProfileString("Main", "Port", "6110", path);
  WritePrivateProfileString("Users", "User 4", "", path);
  WritePrivateProfileString("Users", "User 2", "changed", path);
  EXPECT_EQ(FileContents(path),
            "[Users]\nUser 1=u1\nUser 2=changed\nUser 3=u3\nUser 4=\n\n[Main]\nPort=6110\n");
  // A numbered list reads up to its first empty entry.
  int n = 0;
  while (!GetPrivateProfileString("Users", "User " + std::to_string(n + 1), "", path).empty()) ++n;
  EXPECT_EQ(n, 3);
}

TEST(Ini, ValueIsOneLineAndBlanksAndQuotesAreTrimmedOnReading) {
  auto path = TempIni("line.ini");
  ASSERT_TRUE(WritePrivateProfileString("S", "K", "two\r\nlines", path));
  EXPECT_EQ(GetPrivateProfileString("S", "K", "", path), "two  lines");
  Put(path, "[ S ]\n  K  =  \"quoted value\"  \nL= plain \n");
  EXPECT_EQ(GetPrivateProfileString("S", "K", "", path), "quoted value");
  EXPECT_EQ(GetPrivateProfileString("S", "L", "", path), "plain");
}

TEST(Ini, NewFileIsOwnerOnlyAndExistingModeIsKept) {
  auto path = TempIni("mode.ini");
  ASSERT_TRUE(WritePrivateProfileString("S", "K", "v", path));
  struct stat st {};
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  chmod(path.c_str(), 0644);
  ASSERT_TRUE(WritePrivateProfileString("S", "K", "w", path));
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST(Ini, ABatchIsOneReplaceOfTheFile) {
  auto path = TempIni("batch.ini");
  Put(path, "[Users]\r\nUser 1=old\r\n[Other]\r\nKeep=1\r\n");
  struct stat before {};
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  ASSERT_TRUE(platform::WritePrivateProfileStrings({{"users", "USER 1", "alice"},
                                                    {"Users", "User 2", "bob"},
                                                    {"Users", "User 3", ""},
                                                    {"Messages", "Welcome", "Hi||there"},
                                                    {"Users", "User 2", "carol"}},
                                                   path));
  EXPECT_EQ(FileContents(path),
            "[Users]\r\nUSER 1=alice\r\nUser 2=carol\r\nUser 3=\r\n[Other]\r\nKeep=1\r\n\r\n"
            "[Messages]\r\nWelcome=Hi||there\r\n");
  // Replaced, not rewritten in place: a reader holding the old file keeps the old contents.
  struct stat after {};
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
}

TEST(Ini, ABatchWithABadEntryWritesNothing) {
  auto path = TempIni("badbatch.ini");
  Put(path, "[S]\nK=1\n");
  EXPECT_FALSE(platform::WritePrivateProfileStrings({{"S", "K", "2"}, {"", "K", "3"}}, path));
  EXPECT_FALSE(platform::WritePrivateProfileStrings({{"S", "K", "2"}, {"S", "", "3"}}, path));
  EXPECT_EQ(FileContents(path), "[S]\nK=1\n");
}

TEST(Ini, AFailedReplaceLeavesNoScraps) {
  // A folder in the file's place: the new file is written beside it, and the rename fails.
  std::string dir = std::string(std::getenv("TALVO_HOME")) + "/scraps";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir + "/x.ini/inside");
  EXPECT_FALSE(
      platform::WritePrivateProfileStrings({{"S", "K", "2"}, {"T", "L", "3"}}, dir + "/x.ini"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()),
            1);
  std::filesystem::remove_all(dir);
}

TEST(Ini, WriteIntoMissingFolderFails) {
  std::string path = std::string(std::getenv("TALVO_HOME")) + "/no/such/folder/x.ini";
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", path));
}

}  // namespace
