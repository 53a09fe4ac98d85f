#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "web/DES.h"
#include "web/MD4.h"

namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[3];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02x", c);
    out += b;
  }
  return out;
}

std::string Bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

// The same bytes as tests of other digests use: (i * 7 + length) mod 256.
std::string Pattern(int length) {
  std::string data;
  for (int i = 0; i < length; ++i) data += static_cast<char>((i * 7 + length) & 0xFF);
  return data;
}

TEST(MD4, Rfc1320Suite) {
  struct Row {
    std::string text;
    const char* digest;
  } rows[] = {
      {"", "31d6cfe0d16ae931b73c59d7e0c089c0"},
      {"a", "bde52cb31de33e46245e05fbdbd6fb24"},
      {"abc", "a448017aaf21d8525fc10ae87aa6729d"},
      {"message digest", "d9130a8164549fe818874806e1c7014b"},
      {"abcdefghijklmnopqrstuvwxyz", "d79e1c308aa5bbcdeea8ed63df412da9"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "043f8582f241db351ce627e153e7f0e4"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "e33b4ddc9c38f2199c3e7b164fcc0536"},
  };
  for (const Row& r : rows) EXPECT_EQ(Hex(MD4String(r.text)), r.digest) << r.text;
}

TEST(MD4, PaddingBoundariesAgreeWithAnIndependentImplementation) {
  // Digests of Pattern(length) given by OpenSSL's MD4 (legacy provider).
  struct Row {
    int length;
    const char* digest;
  } rows[] = {
      {55, "c6a669a78b6813629ef693acb83030d1"},  {56, "7204c7f1a7b31c9bdd7faff410508295"},
      {63, "f8c76c93c3e44a284e4f0a4124f8eba2"},  {64, "fcbb886e8d1c3a29fe7486d79be0e879"},
      {65, "1990042fdccdd3c255180a8f2845bcc8"},  {119, "dd4da2d50f950173c6ade4abc04c9782"},
      {120, "8b553f43976cb6fca8929e94cad27355"}, {1000, "47f2194be3602f3335d75b5f16dc7794"},
  };
  for (const Row& r : rows) EXPECT_EQ(Hex(MD4String(Pattern(r.length))), r.digest) << r.length;
}

TEST(MD4, PiecewiseUpdatesEqualOneUpdate) {
  const std::string data = Pattern(1000);
  for (std::size_t piece : {1u, 3u, 63u, 64u, 65u, 999u}) {
    TMD4Context context;
    MD4Init(context);
    for (std::size_t at = 0; at < data.size(); at += piece)
      MD4UpdateText(context, data.substr(at, piece));
    std::uint8_t digest[16];
    MD4Final(context, digest);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), 16), MD4String(data)) << piece;
  }
}

TEST(MD4, UseWithoutInitialisingRaises) {
  TMD4Context context;
  std::uint8_t digest[16];
  EXPECT_THROW(MD4UpdateText(context, "x"), MD4Exception);
  MD4Init(context);
  MD4UpdateText(context, "abc");
  MD4Final(context, digest);
  EXPECT_FALSE(context.Initialized);
  EXPECT_EQ(context.State[0], 0u);
  try {
    MD4Final(context, digest);
    FAIL();
  } catch (const MD4Exception& e) {
    EXPECT_STREQ(e.what(), "MD4 not initialized");
  }
}

TEST(DES, PublishedVectors) {
  struct Row {
    const char* key;
    std::string plain;
    const char* cipher;
  } rows[] = {
      {"133457799bbcdff1", Bytes("0123456789abcdef"), "85e813540f0ab405"},
      {"0123456789abcdef", "Now is t", "3fa40e8a984d4815"},
      {"0000000000000000", Bytes("0000000000000000"), "8ca64de9c1b123a7"},
      // The parity bits do not count.
      {"0123456789abcdef", Bytes("0000000000000000"), "d5d44ff720683d0d"},
      {"0022446688aaccee", Bytes("0000000000000000"), "d5d44ff720683d0d"},
  };
  for (const Row& r : rows) {
    const std::string key = Bytes(r.key);
    std::uint8_t out[8], back[8];
    DesBlock(reinterpret_cast<const std::uint8_t*>(r.plain.data()),
             reinterpret_cast<const std::uint8_t*>(key.data()), TDesDirection::Encrypt, out);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(out), 8)), r.cipher) << r.key;
    DesBlock(out, reinterpret_cast<const std::uint8_t*>(key.data()), TDesDirection::Decrypt, back);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(back), 8), r.plain) << r.key;
  }
}

TEST(DES, SevenBytePiecesSpreadOverEightKeyBytes) {
  struct Row {
    const char* piece;
    const char* key;
  } rows[] = {
      {"ffffffffffffff", "fefefefefefefefe"},
      {"00000000000000", "0000000000000000"},
      {"80000000000001", "8000000000000002"},
      {"0123456789abcd", "0090d0ac784cae9a"},
  };
  for (const Row& r : rows) {
    const std::string piece = Bytes(r.piece);
    std::uint8_t key[8];
    DesKeyFrom7(reinterpret_cast<const std::uint8_t*>(piece.data()), key);
    EXPECT_EQ(Hex(std::string(reinterpret_cast<char*>(key), 8)), r.key) << r.piece;
  }
}

}  // namespace
