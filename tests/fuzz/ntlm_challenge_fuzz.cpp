// Reads arbitrary challenge messages, both as raw bytes (Base64-encoded here) and as the text
// after "NTLM " itself, and answers the valid ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sockets/Base64.h"
#include "web/Ntlm.h"

namespace {

void Check(const TNTLM_Msg2_Info& info, std::size_t decodedSize) {
  if (!info.Valid) {
    if (!info.Target.empty() || !info.Domain.empty() || !info.Server.empty()) std::abort();
    return;
  }
  if (decodedSize < 32) std::abort();
  if (info.Target.size() > decodedSize || info.Domain.size() > decodedSize ||
      info.Server.size() > decodedSize)
    std::abort();
  if (NtlmType3Message("", "ws", "user", info.Challenge, "pw").empty()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(NtlmParseType2(Base64Encode(bytes)), bytes.size());
  Check(NtlmParseType2(bytes), Base64Decode(bytes).size());
  return 0;
}
