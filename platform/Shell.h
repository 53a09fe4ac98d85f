#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Opens file with the desktop: a URL or a document in its default application, an executable
// program started with parameters (split at blanks, double quotes group) in directory. With wait,
// waits for a started program to end, dispatching messages every 100 ms, and gives its exit code.
// False when nothing could be started. Documents and URLs cannot be waited for: exitCode is 0.
bool ShellExecute(const std::string& verb, const std::string& file, const std::string& parameters,
                  const std::string& directory, bool wait, std::uint32_t* exitCode);

}  // namespace platform
