// The reading of the eQSL service's reply on arbitrary bytes: no crash, no overflow; a reply that
// reports the record added is never shown as an error, and an error text never grows beyond the
// reply (but for the text shown when the reply says nothing).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "logbook/Eqsl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  const auto error = EqslReplyError(body);
  const std::string_view text = body.substr(0, body.find('\0'));
  const bool added = text.find("Result: 1 out of 1 records added") != std::string_view::npos;
  if (added == error.has_value()) std::abort();
  if (error && error->size() > text.size() + 2 &&
      *error != "The eQSL service gave no result for the contact.")
    std::abort();
  return 0;
}
