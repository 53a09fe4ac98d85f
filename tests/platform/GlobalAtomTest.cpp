#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/GlobalAtom.h"

namespace {

using platform::AddGlobalAtom;
using platform::DeleteGlobalAtom;
using platform::FindGlobalAtom;
using platform::GlobalAtomName;

TEST(GlobalAtom, CountsReferencesAndFreesTheNumberWithTheLast) {
  platform::ATOM a = AddGlobalAtom("GlobalAtomTest A");
  ASSERT_GE(a, 0xC000);
  EXPECT_EQ(AddGlobalAtom("GlobalAtomTest A"), a);
  EXPECT_EQ(FindGlobalAtom("GlobalAtomTest A"), a);
  EXPECT_EQ(GlobalAtomName(a), "GlobalAtomTest A");
  platform::ATOM b = AddGlobalAtom("GlobalAtomTest B");
  EXPECT_NE(b, a);
  EXPECT_EQ(FindGlobalAtom("globalatomtest a"), 0);  // names match exactly

  EXPECT_TRUE(DeleteGlobalAtom(a));
  EXPECT_EQ(FindGlobalAtom("GlobalAtomTest A"), a);
  EXPECT_TRUE(DeleteGlobalAtom(a));
  EXPECT_EQ(FindGlobalAtom("GlobalAtomTest A"), 0);
  EXPECT_EQ(GlobalAtomName(a), "");
  EXPECT_FALSE(DeleteGlobalAtom(a));

  // The freed number is the lowest free one again.
  EXPECT_EQ(AddGlobalAtom("GlobalAtomTest C"), a);
  EXPECT_TRUE(DeleteGlobalAtom(a));
  EXPECT_TRUE(DeleteGlobalAtom(b));
}

TEST(GlobalAtom, RefusesBadNamesAndAFullTable) {
  EXPECT_EQ(AddGlobalAtom(""), 0);
  EXPECT_EQ(AddGlobalAtom(std::string(256, 'x')), 0);
  platform::ATOM longest = AddGlobalAtom(std::string(255, 'x'));
  EXPECT_NE(longest, 0);
  EXPECT_TRUE(DeleteGlobalAtom(longest));
  EXPECT_FALSE(DeleteGlobalAtom(0));
  EXPECT_FALSE(DeleteGlobalAtom(0xBFFF));

  std::vector<platform::ATOM> taken;
  for (int i = 0;; ++i) {
    platform::ATOM atom = AddGlobalAtom("GlobalAtomTest " + std::to_string(i));
    if (atom == 0) break;
    taken.push_back(atom);
    ASSERT_LE(taken.size(), 0x4000u);
  }
  EXPECT_EQ(taken.size(), 0x4000u);
  EXPECT_EQ(taken.back(), 0xFFFF);
  for (platform::ATOM atom : taken) EXPECT_TRUE(DeleteGlobalAtom(atom));
}

}  // namespace
