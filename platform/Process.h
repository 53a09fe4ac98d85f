#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A process of another program, named by its id and its start time, so that an id the system
// has handed on to a newer process is not taken for the old one.
struct ProcessId {
  std::int64_t pid = 0;
  std::uint64_t startTime = 0;  // clock ticks after boot, as /proc reports them

  explicit operator bool() const { return pid > 0; }
  bool operator==(const ProcessId&) const = default;
};

// Starts an executable file without parameters, detached: it is not waited for and outlives the
// caller. directory is its working folder (the caller's when empty). On failure the result is
// empty and *error (when given) says why.
ProcessId StartProgram(const std::string& file, const std::string& directory,
                       std::string* error = nullptr);

// True while the process lives (a process that has ended but not been reaped counts as ended).
bool ProcessRunning(const ProcessId& process);

// Asks the process to end (SIGTERM). False when it is not running.
bool TerminateProcess(const ProcessId& process);

}  // namespace platform
