// An exchange library that lacks the read function.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint8_t _DxsoftExchangeInit(std::int32_t) {
  return 1;
}
