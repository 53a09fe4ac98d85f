#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "sockets/Base64.h"
#include "web/Ntlm.h"

namespace {

const TNtlmChallenge kChallenge = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
  std::string out;
  char b[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", bytes[i]);
    out += b;
  }
  return out;
}

std::string Hex(const TNtlmResponse& r) {
  return Hex(r.data(), r.size());
}

unsigned Get16(const std::string& m, std::size_t at) {
  return static_cast<unsigned char>(m[at]) | (static_cast<unsigned char>(m[at + 1]) << 8);
}

unsigned Get32(const std::string& m, std::size_t at) {
  return Get16(m, at) | (Get16(m, at + 2) << 16);
}

std::string Le16(unsigned v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string Le32(unsigned v) {
  return Le16(v & 0xFFFF) + Le16(v >> 16);
}

// A challenge message: header, target name field, flags, challenge, context, target information
// field, then the payload.
std::string Type2(const std::string& target, const std::string& info, unsigned type = 2) {
  std::string m = std::string("NTLMSSP", 8) + Le32(type);
  m += Le16(target.size()) + Le16(target.size()) + Le32(48);
  m += Le32(0x00810201) + std::string("\x01\x23\x45\x67\x89\xab\xcd\xef", 8);
  m += std::string(8, '\0');
  m += Le16(info.size()) + Le16(info.size()) + Le32(48 + target.size());
  return m + target + info;
}

std::string Entry(unsigned type, const std::string& value) {
  return Le16(type) + Le16(value.size()) + value;
}

std::u16string U16(const std::string& s) {
  return std::u16string(s.begin(), s.end());
}

TEST(Ntlm, PublishedResponses) {
  EXPECT_EQ(Hex(NtlmLmResponse("Password", kChallenge)),
            "98def7b87f88aa5dafe2df779688a172def11c7d5ccdef13");
  EXPECT_EQ(Hex(NtlmNtResponse("Password", kChallenge)),
            "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");
  // The LM hash of the empty password is that of fourteen zero bytes, aad3b435b51404ee twice;
  // the response was worked out from it with OpenSSL's DES.
  EXPECT_EQ(Hex(NtlmLmResponse("", kChallenge)),
            "bada4716c630d691180e163fbdd87cde5f3231384d879388");
}

TEST(Ntlm, LmResponseUsesFourteenCharactersUpperCasedAsAscii) {
  const auto lm = [](const std::string& p) { return Hex(NtlmLmResponse(p, kChallenge)); };
  EXPECT_EQ(lm("password"), lm("PASSWORD"));
  EXPECT_EQ(lm("abcdefghijklmnXYZ"), lm("ABCDEFGHIJKLMN"));
  EXPECT_NE(lm("abcdefghijklm"), lm("ABCDEFGHIJKLMN"));
  EXPECT_NE(lm("p\xe4ss"), lm("P\xc4SS"));  // Latin-1 letters are left alone
  EXPECT_EQ(lm("P\xe4SS"), lm("p\xe4ss"));
  EXPECT_NE(Hex(NtlmNtResponse("password", kChallenge)),
            Hex(NtlmNtResponse("PASSWORD", kChallenge)));
}

TEST(Ntlm, NegotiateMessage) {
  EXPECT_EQ(NtlmType1Message("", ""), "TlRMTVNTUAABAAAAB4IAAAAAAAAAAAAAAAAAAAAAAAA=");
  const std::string m = Base64Decode(NtlmType1Message("ws1", "dom"));
  ASSERT_EQ(m.size(), 38u);
  EXPECT_EQ(Get32(m, 12), 0x8207u | 0x2000u | 0x1000u);
  EXPECT_EQ(Get16(m, 16), 3u);  // domain
  EXPECT_EQ(Get16(m, 18), 3u);
  EXPECT_EQ(Get32(m, 20), 35u);
  EXPECT_EQ(Get16(m, 24), 3u);  // workstation
  EXPECT_EQ(Get32(m, 28), 32u);
  EXPECT_EQ(m.substr(32), "WS1DOM");
  EXPECT_EQ(Get32(Base64Decode(NtlmType1Message("", "d")), 12), 0x9207u);
}

TEST(Ntlm, AuthenticateMessage) {
  const std::string m =
      Base64Decode(NtlmType3Message("", "Shack-PC", "dl1xyz", kChallenge, "Password"));
  const std::string user("d\0l\0001\0x\0y\0z\0", 12), ws("S\0h\0a\0c\0k\0-\0P\0C\0", 16);
  ASSERT_EQ(m.size(), 64u + 12 + 16 + 48);
  EXPECT_EQ(m.substr(0, 12), std::string("NTLMSSP\0\3\0\0\0", 12));
  struct Field {
    std::size_t at;
    unsigned length, offset;
  } fields[] = {
      {12, 24, 92}, {20, 24, 116}, {28, 0, 64}, {36, 12, 64}, {44, 16, 76}, {52, 0, 0},
  };
  for (const Field& f : fields) {
    EXPECT_EQ(Get16(m, f.at), f.length) << f.at;
    EXPECT_EQ(Get16(m, f.at + 2), f.length) << f.at;
    EXPECT_EQ(Get32(m, f.at + 4), f.offset) << f.at;
  }
  EXPECT_EQ(Get32(m, 60), 0x8205u);
  EXPECT_EQ(m.substr(64, 12), user);
  EXPECT_EQ(m.substr(76, 16), ws);
  EXPECT_EQ(Hex(reinterpret_cast<const std::uint8_t*>(m.data()) + 92, 24),
            Hex(NtlmLmResponse("Password", kChallenge)));
  EXPECT_EQ(Hex(reinterpret_cast<const std::uint8_t*>(m.data()) + 116, 24),
            "67c43011f30298a2ad35ece64f16331c44bdbed927841f94");

  const std::string d = Base64Decode(NtlmType3Message("Dom", "", "u", kChallenge, ""));
  EXPECT_EQ(Get16(d, 28), 6u);
  EXPECT_EQ(Get32(d, 40), 70u);  // user after the domain
  EXPECT_EQ(Get32(d, 48), 72u);  // empty workstation after the user
  EXPECT_EQ(Get32(d, 16), 72u);  // LM response after the workstation
}

TEST(Ntlm, ChallengeFromAServer) {
  // A challenge with target "DOMAIN" and the domain, server and DNS entries, all in Unicode.
  const TNTLM_Msg2_Info info = NtlmParseType2(
      " TlRMTVNTUAACAAAADAAMADAAAAABAoEAASNFZ4mrze8AAAAAAAAAAGIAYgA8AAAARABPAE0AQQBJAE4AAgAMAEQATw"
      "BNAEEASQBOAAEADABTAEUAUgBWAEUAUgAEABQAZABvAG0AYQBpAG4ALgBjAG8AbQADACIAcwBlAHIAdgBlAHIALgBk"
      "AG8AbQBhAGkAbgAuAGMAbwBtAAAAAAA= ");
  ASSERT_TRUE(info.Valid);
  EXPECT_EQ(info.Challenge, kChallenge);
  EXPECT_EQ(info.Target, U16(std::string("D\0O\0M\0A\0I\0N\0", 12)));
  EXPECT_EQ(info.Domain, U16(std::string("D\0O\0M\0A\0I\0N\0", 12)));
  EXPECT_EQ(info.Server, U16(std::string("S\0E\0R\0V\0E\0R\0", 12)));
}

TEST(Ntlm, ChallengeMessagesChecked) {
  const std::string info = Entry(2, "DOM") + Entry(1, "SRV") + Entry(0, "");
  struct Row {
    const char* what;
    std::string message;
    bool valid;
    const char* target;
    const char* domain;
    const char* server;
  } rows[] = {
      {"complete", Type2("T", info), true, "T", "DOM", "SRV"},
      {"no target information", Type2("", ""), true, "", "", ""},
      {"32 bytes only", Type2("", "").substr(0, 32), true, "", "", ""},
      {"no end entry", Type2("", Entry(1, "SRV")), true, "", "", "SRV"},
      {"entry cut at the end", Type2("", Entry(1, "SRV").substr(0, 6)), true, "", "", "SR"},
      {"entries after the end entry", Type2("", Entry(0, "") + Entry(1, "X")), true, "", "", ""},
      {"empty text", "", false, "", "", ""},
      {"31 bytes", Type2("", "").substr(0, 31), false, "", "", ""},
      {"wrong signature", "NTLMSSQ" + Type2("", "").substr(7), false, "", "", ""},
      {"type 3", Type2("", "", 3), false, "", "", ""},
      {"target past the end", Type2("T", "").substr(0, 48), true, "", "", ""},
      {"information past the end", Type2("", info).substr(0, 50), true, "", "", ""},
      {"information offset huge", Type2("", info).replace(44, 4, Le32(0xFFFFFFF0u)), true, "", "",
       ""},
      {"target offset huge", Type2("T", "").replace(16, 4, Le32(0xFFFFFFFFu)), true, "", "", ""},
      {"information inside the header", Type2("", info).replace(44, 4, Le32(8)), true, "", "", ""},
  };
  for (const Row& r : rows) {
    const TNTLM_Msg2_Info got = NtlmParseType2(Base64Encode(r.message));
    EXPECT_EQ(got.Valid, r.valid) << r.what;
    EXPECT_EQ(got.Target, U16(r.target)) << r.what;
    EXPECT_EQ(got.Domain, U16(r.domain)) << r.what;
    EXPECT_EQ(got.Server, U16(r.server)) << r.what;
    EXPECT_EQ(got.Challenge, r.valid ? kChallenge : TNtlmChallenge{}) << r.what;
  }
}

}  // namespace
