#include <gtest/gtest.h>

#include <cstdlib>

#include "common/DateTime.h"
#include "common/Utils.h"
#include "server/ServerMessages.h"

namespace {

TEST(ExpandMacros, FirstOccurrenceOfEachMacroOnly) {
  EXPECT_EQ(ExpandMacros("You are connected to my K2.||You have %p access.", "bob", 1),
            "You are connected to my K2.||You have TX/RX access.");
  EXPECT_EQ(ExpandMacros("%p and %p", "bob", 2), "Full and %p");
  EXPECT_EQ(ExpandMacros("%P", "bob", 0), "RX only");
  EXPECT_EQ(ExpandMacros("%p", "bob", 7), "Unknown");
  EXPECT_EQ(ExpandMacros("Hi %u, v%v", "Guest (al)", 0), "Hi Guest (al), v1.0");
  EXPECT_EQ(ExpandMacros("Logging out. 73!", "x", 0), "Logging out. 73!");
  EXPECT_EQ(ExpandMacros("", "x", 0), "");
  // Lower case wins: %D stays when %d is there.
  std::string both = ExpandMacros("%D %d", "x", 0);
  EXPECT_EQ(both.substr(0, 3), "%D ");
  EXPECT_EQ(both.substr(3), FormatDateTime("ddddd", Now() + UtcOffset()));
  EXPECT_EQ(ExpandMacros("%T", "x", 0).find('%'), std::string::npos);
}

TEST(LoginBanner, CaptionDateAndTime) {
  TDateTime utc = EncodeDateTime(2026, 12, 7, 20, 59, 50);
  EXPECT_EQ(LoginBannerText("Talvo Server 1.0", utc),
            "Talvo Server 1.0 Date: 7 Dec 2026 Time: 20:59:50");
}

class AddressMasks : public ::testing::Test {
 protected:
  void SetUp() override {
    ini_ = std::string(std::getenv("TALVO_HOME")) + "/masks.ini";
    std::remove(ini_.c_str());
  }
  void Mask(int n, const std::string& m) {
    WriteIniString(ini_, "Access Control", "Address Mask " + std::to_string(n), m);
  }
  std::string ini_;
};

TEST_F(AddressMasks, NoMasksAdmitEveryone) {
  EXPECT_TRUE(AddressAllowed(ini_, "203.0.113.9"));
}

TEST_F(AddressMasks, PrefixMasksAndTheEmptyKeyEndingTheList) {
  Mask(1, "192.168.1.*");
  Mask(2, "");
  Mask(3, "10.*");
  EXPECT_TRUE(AddressAllowed(ini_, "192.168.1.77"));
  EXPECT_FALSE(AddressAllowed(ini_, "192.168.2.1"));
  EXPECT_FALSE(AddressAllowed(ini_, "10.0.0.1"));
  Mask(2, "*");
  EXPECT_TRUE(AddressAllowed(ini_, "10.0.0.1"));
}

TEST_F(AddressMasks, MaskWithoutStarMustMatchTheWholeAddress) {
  Mask(1, "10.0.0.5");
  EXPECT_TRUE(AddressAllowed(ini_, "10.0.0.5"));
  EXPECT_FALSE(AddressAllowed(ini_, "10.0.0.50"));
}

}  // namespace
