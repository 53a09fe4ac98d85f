#include "web/Ntlm.h"

#include <cstring>

#include "sockets/Base64.h"
#include "web/DES.h"
#include "web/MD4.h"

namespace {

const char kSignature[8] = {'N', 'T', 'L', 'M', 'S', 'S', 'P', '\0'};
constexpr std::size_t kMaxName16 = 0xFFFF;

std::string AsciiUpper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string Widen(const std::string& s) {
  std::string out;
  out.reserve(2 * s.size());
  for (char c : s) {
    out += c;
    out += '\0';
  }
  return out;
}

void Put16(std::string& m, std::size_t at, std::size_t v) {
  m[at] = static_cast<char>(v & 0xFF);
  m[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& m, std::size_t at, std::size_t v) {
  for (int i = 0; i < 4; ++i) m[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A security buffer: length, the same length again, offset.
void PutField(std::string& m, std::size_t at, std::size_t length, std::size_t offset) {
  Put16(m, at, length);
  Put16(m, at + 2, length);
  Put32(m, at + 4, offset);
}

std::uint32_t Get16(const std::string& m, std::size_t at) {
  return static_cast<std::uint8_t>(m[at]) | (static_cast<std::uint8_t>(m[at + 1]) << 8);
}

std::uint32_t Get32(const std::string& m, std::size_t at) {
  return Get16(m, at) | (Get16(m, at + 2) << 16);
}

std::u16string WidenBytes(const std::string& m, std::size_t at, std::size_t length) {
  std::u16string out;
  for (std::size_t i = 0; i < length; ++i)
    out += static_cast<char16_t>(static_cast<std::uint8_t>(m[at + i]));
  return out;
}

// Encrypts the challenge under the keys made from the 16-byte hash and five zero bytes.
TNtlmResponse ThreeKeyStep(const std::uint8_t hash[16], const TNtlmChallenge& challenge) {
  std::uint8_t padded[21] = {};
  std::memcpy(padded, hash, 16);
  TNtlmResponse response{};
  for (int i = 0; i < 3; ++i) {
    std::uint8_t key[8];
    DesKeyFrom7(padded + 7 * i, key);
    DesBlock(challenge.data(), key, TDesDirection::Encrypt, response.data() + 8 * i);
  }
  return response;
}

// Reads the target information entries of a challenge; false when the list does not fit.
bool ReadTargetInfo(const std::string& m, TNTLM_Msg2_Info& info) {
  if (m.size() < 48) return true;  // an old challenge without the list
  const std::size_t length = Get16(m, 40);
  const std::size_t offset = Get32(m, 44);
  if (length == 0) return true;
  if (offset < 48 || offset > m.size() || length > m.size() - offset) return false;
  const std::size_t end = offset + length;
  for (std::size_t at = offset; at + 4 <= end;) {
    const std::uint32_t type = Get16(m, at);
    std::size_t size = Get16(m, at + 2);
    at += 4;
    if (type == 0 && size == 0) break;
    if (size > end - at) size = end - at;  // an entry claiming more is cut at the end
    if (type == 1) info.Server = WidenBytes(m, at, size);
    if (type == 2) info.Domain = WidenBytes(m, at, size);
    at += size;
  }
  return true;
}

std::string Trimmed(const std::string& s) {
  std::size_t first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

std::string NtlmType1Message(const std::string& workstation, const std::string& domain) {
  const std::string ws = AsciiUpper(workstation.substr(0, kMaxName16));
  const std::string dom = AsciiUpper(domain.substr(0, kMaxName16));
  std::string m(32, '\0');
  std::memcpy(m.data(), kSignature, 8);
  Put32(m, 8, 1);
  Put32(m, 12, 0x8207 | (ws.empty() ? 0 : 0x2000) | (dom.empty() ? 0 : 0x1000));
  PutField(m, 16, dom.size(), dom.empty() ? 0 : 32 + ws.size());
  PutField(m, 24, ws.size(), ws.empty() ? 0 : 32);
  return Base64Encode(m + ws + dom);
}

TNTLM_Msg2_Info NtlmParseType2(const std::string& base64) {
  TNTLM_Msg2_Info info;
  const std::string m = Base64Decode(Trimmed(base64));
  if (m.size() < 32 || std::memcmp(m.data(), kSignature, 8) != 0 || Get32(m, 8) != 2) return info;
  // Only the challenge is needed: names whose fields point outside the message are left empty
  // (some servers send a challenge with a broken target name field).
  const std::size_t targetLength = Get16(m, 12);
  const std::size_t targetOffset = Get32(m, 16);
  info.Valid = true;
  std::memcpy(info.Challenge.data(), m.data() + 24, 8);
  if (targetLength > 0 && targetOffset <= m.size() && targetLength <= m.size() - targetOffset)
    info.Target = WidenBytes(m, targetOffset, targetLength);
  TNTLM_Msg2_Info names;
  if (ReadTargetInfo(m, names)) {
    info.Domain = names.Domain;
    info.Server = names.Server;
  }
  return info;
}

std::string NtlmType3Message(const std::string& domain, const std::string& workstation,
                             const std::string& user, const TNtlmChallenge& challenge,
                             const std::string& password) {
  const std::string dom = Widen(domain.substr(0, kMaxName16 / 2));
  const std::string usr = Widen(user.substr(0, kMaxName16 / 2));
  const std::string ws = Widen(workstation.substr(0, kMaxName16 / 2));
  const TNtlmResponse lm = NtlmLmResponse(password, challenge);
  const TNtlmResponse nt = NtlmNtResponse(password, challenge);
  const std::size_t userOffset = 64 + dom.size();
  const std::size_t wsOffset = userOffset + usr.size();
  const std::size_t lmOffset = wsOffset + ws.size();
  std::string m(64, '\0');
  std::memcpy(m.data(), kSignature, 8);
  Put32(m, 8, 3);
  PutField(m, 12, 24, lmOffset);
  PutField(m, 20, 24, lmOffset + 24);
  PutField(m, 28, dom.size(), 64);
  PutField(m, 36, usr.size(), userOffset);
  PutField(m, 44, ws.size(), wsOffset);
  PutField(m, 52, 0, 0);
  Put32(m, 60, 0x8205);
  m += dom + usr + ws;
  m.append(reinterpret_cast<const char*>(lm.data()), lm.size());
  m.append(reinterpret_cast<const char*>(nt.data()), nt.size());
  return Base64Encode(m);
}

TNtlmResponse NtlmLmResponse(const std::string& password, const TNtlmChallenge& challenge) {
  std::uint8_t text[14] = {};
  const std::string upper = AsciiUpper(password.substr(0, 14));
  std::memcpy(text, upper.data(), upper.size());
  static const std::uint8_t kMagic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  std::uint8_t hash[16];
  for (int i = 0; i < 2; ++i) {
    std::uint8_t key[8];
    DesKeyFrom7(text + 7 * i, key);
    DesBlock(kMagic, key, TDesDirection::Encrypt, hash + 8 * i);
  }
  return ThreeKeyStep(hash, challenge);
}

TNtlmResponse NtlmNtResponse(const std::string& password, const TNtlmChallenge& challenge) {
  const std::string digest = MD4String(Widen(password));
  return ThreeKeyStep(reinterpret_cast<const std::uint8_t*>(digest.data()), challenge);
}
