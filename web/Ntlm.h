#pragma once

#include <array>
#include <cstdint>
#include <string>

// NTLM (version 1) messages as they travel Base64-encoded after "NTLM " in the authorization
// lines and the authenticate fields of replies. Strings are 8-bit; "Unicode" text in a message is
// each byte followed by a zero byte.

using TNtlmChallenge = std::array<std::uint8_t, 8>;
using TNtlmResponse = std::array<std::uint8_t, 24>;

// What a challenge (type 2) message says.
struct TNTLM_Msg2_Info {
  // True for a challenge: the signature "NTLMSSP" and a zero byte, type 2, at least 32 bytes.
  // A name whose field points outside the message is left empty. When false, the other fields
  // are empty and the exchange must end.
  bool Valid = false;
  // Each received byte widened to one character, so a Unicode name keeps its zero bytes.
  std::u16string Target;
  std::u16string Domain;  // target information entry 2
  std::u16string Server;  // target information entry 1
  TNtlmChallenge Challenge{};
};

// The Base64 negotiate (type 1) message. The client passes both empty, which gives the 32-byte
// header with flags 0x8207 and no names. Names are upper-cased (ASCII) and cut to 65535 bytes.
std::string NtlmType1Message(const std::string& workstation, const std::string& domain);

// Reads the Base64 text after "NTLM " (surrounding blanks are ignored).
TNTLM_Msg2_Info NtlmParseType2(const std::string& base64);

// The Base64 authenticate (type 3) message with the LM and NT responses of password to
// challenge. The names keep their case and travel as Unicode; their lengths in the message are
// byte counts. Names are cut to 32767 characters.
std::string NtlmType3Message(const std::string& domain, const std::string& workstation,
                             const std::string& user, const TNtlmChallenge& challenge,
                             const std::string& password);

// The LM response: the password upper-cased (ASCII letters only), cut or padded with zero bytes
// to 14, hashed with DES, then the three-key step over the challenge.
TNtlmResponse NtlmLmResponse(const std::string& password, const TNtlmChallenge& challenge);
// The NT response: the MD4 digest of the password as Unicode, then the three-key step.
TNtlmResponse NtlmNtResponse(const std::string& password, const TNtlmChallenge& challenge);
