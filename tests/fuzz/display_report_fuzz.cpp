// The client's decoding of the radio's display reports: any bytes, any length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "client/DisplayReport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string value(reinterpret_cast<const char*>(data), size);
  TDisplayReport report;
  const bool decoded = DecodeDisplayReport(value, report);
  if (decoded != (size == 10)) std::abort();
  if (!decoded) return 0;
  if (report.Text != value.substr(0, 8)) std::abort();
  if (report.ResolutionIndex < 0 || report.ResolutionIndex > 3) std::abort();
  if (report.ModeGroup > 3) std::abort();
  // The two marks of the VFO pair: exactly one is lit.
  if (report.Lit[4] == report.Lit[5]) std::abort();
  if (report.Blink[4] && report.Blink[5]) std::abort();
  return 0;
}
