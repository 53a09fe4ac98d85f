#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// INI ("private profile") files: "[Section]" lines, then "Key=Value" lines. Section and key names
// match without regard to ASCII case; values are 8-bit text, with surrounding blanks and one pair
// of surrounding quotes removed on reading.

// The key's value cut to size - 1 characters, or def (cut likewise) when the file, the section
// or the key is absent. A key that is present with nothing after "=" reads as the empty text.
std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, const std::string& file,
                                    std::size_t size = 2048);

// Writes the key, adding the section and the file as needed. The file is replaced as a whole
// (written beside it, then renamed over it), so a reader never sees half a file; a file this
// creates is readable by its owner only. The value ends at a NUL; CR and LF in it become blanks,
// as a value is one line. False when the file cannot be written.
bool WritePrivateProfileString(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& file);

struct IniEntry {
  std::string section;
  std::string key;
  std::string value;
};

// Writes every entry, in order, as WritePrivateProfileString would one after the other, but
// replaces the file once: a reader sees either none of the entries or all of them, and a failure
// leaves the file as it was. False, writing nothing, when an entry has an empty section or key or
// the file cannot be written.
bool WritePrivateProfileStrings(const std::vector<IniEntry>& entries, const std::string& file);

}  // namespace platform
