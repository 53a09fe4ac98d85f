#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sockets/MD5.h"

namespace {

TEST(MD5, Rfc1321Suite) {
  EXPECT_EQ(MD5DigestHex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(MD5DigestHex("a"), "0CC175B9C0F1B6A831C399E269772661");
  EXPECT_EQ(MD5DigestHex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(MD5DigestHex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
  EXPECT_EQ(MD5DigestHex("abcdefghijklmnopqrstuvwxyz"), "C3FCD3D76192E4007DFB496CCA67E13B");
  EXPECT_EQ(MD5DigestHex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "D174AB98D277D9F5A5611C2C9F419D9F");
  EXPECT_EQ(MD5DigestHex("1234567890123456789012345678901234567890123456789012345678901234567890"
                         "1234567890"),
            "57EDF4A22BE3C955AC49DA2E2107B67A");
}

// The digest that md5sum gives for the same bytes, in upper case.
std::string Md5sum(const std::string& data) {
  std::string path = std::string(std::getenv("TALVO_HOME")) + "/md5input";
  std::ofstream(path, std::ios::binary) << data;
  std::string cmd = "md5sum " + path;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[33] = {};
  size_t n = p ? fread(buf, 1, 32, p) : 0;
  if (p) pclose(p);
  std::string hex(buf, n);
  for (char& c : hex) c = static_cast<char>(toupper(c));
  return hex;
}

TEST(MD5, PaddingAndChunkBoundariesAgreeWithMd5sum) {
  for (int length : {55, 56, 63, 64, 65, 119, 120, 16384, 16385, 40000}) {
    std::string data;
    for (int i = 0; i < length; ++i) data += static_cast<char>((i * 7 + length) & 0xFF);
    EXPECT_EQ(MD5DigestHex(data), Md5sum(data)) << length;
  }
}

TEST(MD5, PiecewiseUpdatesEqualOneUpdateAndFinalClearsTheContext) {
  std::string data(1000, 'q');
  MD5Context c;
  MD5Init(c);
  for (std::size_t at = 0; at < data.size(); at += 37)
    MD5Update(c, data.data() + at,
              static_cast<std::int32_t>(std::min<std::size_t>(37, data.size() - at)));
  std::uint8_t digest[16];
  MD5Final(digest, c);
  std::string hex;
  char b[3];
  for (auto d : digest) {
    snprintf(b, sizeof b, "%02X", d);
    hex += b;
  }
  EXPECT_EQ(hex, MD5DigestHex(data));
  const auto* raw = reinterpret_cast<const std::uint8_t*>(&c);
  for (std::size_t i = 0; i < sizeof c; ++i) EXPECT_EQ(raw[i], 0) << i;
}

}  // namespace
