#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/Paths.h"

TEST(Paths, ProgramFileLivesInTalvoHome) {
  std::string home = std::getenv("TALVO_HOME");
  EXPECT_EQ(platform::ProgramFile(), home + "/platform_test");
  EXPECT_EQ(platform::ProgramFolder(), home + "/");
}

TEST(Paths, ChangeFileExt) {
  EXPECT_EQ(platform::ChangeFileExt("/a/TalvoServer", ".ini"), "/a/TalvoServer.ini");
  EXPECT_EQ(platform::ChangeFileExt("/a/b.exe", ".adi"), "/a/b.adi");
  EXPECT_EQ(platform::ChangeFileExt("/a.b/prog", ".log"), "/a.b/prog.log");
}
