#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A number that stands for a name, shared by everything in the process.
using ATOM = std::uint16_t;

// The process's table of named atoms. Adding a name gives its number (from 0xC000 up; numbers
// are reused once freed) and counts one more reference; deleting drops one, and the last
// deletion frees the number. Names match exactly and are 1 to 255 bytes long. Thread-safe.

// 0 for an empty or too long name, or when all 16384 numbers are taken.
ATOM AddGlobalAtom(const std::string& name);
// False for a number that names no atom.
bool DeleteGlobalAtom(ATOM atom);
// The number of the name, 0 when it has none.
ATOM FindGlobalAtom(const std::string& name);
// The name of the number, empty when it names no atom.
std::string GlobalAtomName(ATOM atom);

}  // namespace platform
