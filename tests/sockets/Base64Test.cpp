#include <gtest/gtest.h>

#include "sockets/Base64.h"

namespace {

TEST(Base64, Rfc4648Vectors) {
  const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar", "abc", "ab", "a"};
  const char* coded[] = {
      "", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy", "YWJj", "YWI=", "YQ=="};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(Base64Encode(plain[i]), coded[i]);
    EXPECT_EQ(Base64Decode(coded[i]), plain[i]);
  }
  EXPECT_EQ(Base64Encode(std::string(1, '\0')), "AA==");
  EXPECT_EQ(Base64Decode("AA=="), std::string(1, '\0'));
}

TEST(Base64, EveryByteRoundTrips) {
  std::string all;
  for (int round = 0; round < 3; ++round)
    for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  for (std::size_t len = 0; len < 10; ++len)
    EXPECT_EQ(Base64Decode(Base64Encode(all.substr(0, len))), all.substr(0, len));
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
}

TEST(Base64, UnpaddedAndForeignInputStaysInBounds) {
  EXPECT_EQ(Base64Decode("YWJj"), "abc");
  EXPECT_EQ(Base64Decode("YWI"), "ab");  // as if "YWI="
  EXPECT_EQ(Base64Decode("YQ"), "a");
  EXPECT_EQ(Base64Decode("Y").size(), 1u);
  // Characters outside the alphabet count as 255, keeping the bits the masks allow.
  std::string odd = Base64Decode(std::string("\x80\xFF*!", 4));
  EXPECT_EQ(odd.size(), 3u);
  EXPECT_EQ(static_cast<unsigned char>(odd[0]), 0xFF);
}

}  // namespace
