#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Process.h"

namespace platform {

// The main window of another program, found by its window class.
//
// With an X display, a window is a top-level window whose WM_CLASS class name is the class asked
// for. Without one, another program's windows cannot be seen: a program that the caller started
// itself then stands for its window while its process lives.
struct ProgramWindow {
  enum class Kind { X11, Process };
  Kind kind = Kind::X11;
  std::uint64_t window = 0;  // the X window id (Kind::X11)
  ProcessId process;         // the process that stands for the window (Kind::Process)

  bool operator==(const ProgramWindow&) const = default;
};

// True when an X display can be opened (the DISPLAY environment variable names one that answers).
bool WindowSystemAvailable();

// Every top-level window of the class, in the display's stacking order (bottom first). Without a
// display: the window that the started process stands for, if it still runs.
std::vector<ProgramWindow> FindProgramWindows(const std::string& windowClass,
                                              const ProcessId& started);

// True while the window exists.
bool ProgramWindowExists(const ProgramWindow& window);

// Asks the window to close, as its close box does, and returns without waiting for the program:
// the X close-window request (WM_DELETE_WINDOW) when the window takes it, otherwise the
// display disconnects its program, as a window manager does; a process is asked to end
// (SIGTERM). False when the window is gone.
bool CloseProgramWindow(const ProgramWindow& window);

}  // namespace platform
