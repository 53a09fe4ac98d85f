#pragma once

#include <string>

namespace platform {

// The program file's full path as the programs use it to name their INI, log and ADIF files:
// the running executable, or, when the environment variable TALVO_HOME names a folder, the
// executable's name inside that folder.
std::string ProgramFile();

// The folder of ProgramFile(), ending with "/".
std::string ProgramFolder();

// path with its extension (from the last "." of the last component) replaced by ext, which
// includes its dot; a path without an extension gets ext appended.
std::string ChangeFileExt(const std::string& path, const std::string& ext);

// True when path names a regular file (through symbolic links).
bool FileExists(const std::string& path);

}  // namespace platform
