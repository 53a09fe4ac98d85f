// A macro file of any content: reading it never fails or overruns, every text stays within the
// INI value's size, and what was read is written and read back the same.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "client/MacroFile.h"

static std::string TempPath(const char* name) {
  char templ[64];
  std::snprintf(templ, sizeof templ, "/tmp/talvo-%s-XXXXXX", name);
  int fd = mkstemp(templ);
  if (fd >= 0) close(fd);
  return templ;
}

// Texts that the INI file keeps exactly: no quotes or blanks at the ends (the reader takes them
// off), no "|" (it would join a written line break), control bytes only as line breaks, and short
// enough to be read back whole.
static bool Plain(const std::string& text, bool breaks) {
  if (text.find_first_of("\"'|") != std::string::npos) return false;
  if (!text.empty() && (static_cast<unsigned char>(text.front()) <= ' ' ||
                        static_cast<unsigned char>(text.back()) <= ' '))
    return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) < ' ' && !(breaks && (c == '\r' || c == '\n'))) return false;
  return TMacroSet::ToFileValue(text).size() < 2048;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string in = TempPath("macro-fuzz");
  static const std::string out = TempPath("macro-fuzz-out");
  {
    std::ofstream file(in, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TMacroSet set;
  if (!set.Load(in)) __builtin_trap();
  for (int n = 1; n <= TMacroSet::kCount; ++n) {
    const TMacro& m = set.Macro(n);
    if (m.Caption.size() > 2047 || m.Hint.size() > 2047 || m.Text.size() > 2047) __builtin_trap();
  }
  ::unlink(out.c_str());
  for (int n = 1; n <= TMacroSet::kCount; ++n) set.Edit(n, set.Macro(n));
  if (!set.Save(out)) return 0;
  TMacroSet back;
  if (!back.Load(out)) __builtin_trap();
  for (int n = 1; n <= TMacroSet::kCount; ++n) {
    const TMacro& a = set.Macro(n);
    const TMacro& b = back.Macro(n);
    if (Plain(a.Caption, false) && a.Caption != b.Caption) __builtin_trap();
    if (Plain(a.Text, true) && TMacroSet::FromFileValue(TMacroSet::ToFileValue(a.Text)) != b.Text)
      __builtin_trap();
  }
  return 0;
}
