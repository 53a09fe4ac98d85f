#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/Adif.h"
#include "tests/support/FileContents.h"

namespace {

constexpr auto& Contents = FileContents;

const char kHeader[] = "Talvo v 1.0\r\n<ADIF_VER:4>1.00\r\n<LOG_PGM:5>Talvo\r\n<EOH>\r\n";

TEST(Adif, PathIsBesideTheProgram) {
  EXPECT_EQ(AdifPath(), std::string(std::getenv("TALVO_HOME")) + "/common_test.adi");
}

TEST(Adif, HeaderOnceThenOneLinePerRecord) {
  std::remove(AdifPath().c_str());
  ASSERT_TRUE(AppendAdif("<CALL:5>DL1AB<EOR>"));
  EXPECT_EQ(Contents(AdifPath()), std::string(kHeader) + "<CALL:5>DL1AB<EOR>\r\n");
  ASSERT_TRUE(AppendAdif("<CALL:4>K1AB<EOR>"));
  ASSERT_TRUE(AppendAdif(""));
  EXPECT_EQ(Contents(AdifPath()),
            std::string(kHeader) + "<CALL:5>DL1AB<EOR>\r\n<CALL:4>K1AB<EOR>\r\n\r\n");
}

TEST(Adif, ExistingFileKeepsItsContent) {
  std::remove(AdifPath().c_str());
  std::ofstream(AdifPath(), std::ios::binary) << "other program's header\r\n";
  ASSERT_TRUE(AppendAdif("<EOR>"));
  EXPECT_EQ(Contents(AdifPath()), "other program's header\r\n<EOR>\r\n");
}

TEST(Adif, UnwritableFileIsReported) {
  std::remove(AdifPath().c_str());
  ASSERT_EQ(mkdir(AdifPath().c_str(), 0700), 0);  // a folder of that name
  EXPECT_FALSE(AppendAdif("<EOR>"));
  rmdir(AdifPath().c_str());
}

}  // namespace
