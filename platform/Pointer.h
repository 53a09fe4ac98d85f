#pragma once

namespace platform {

// The pointer and the keyboard as they are now (not as they were when some event was queued).

struct CursorPoint {
  int x = 0;
  int y = 0;
};

// The pointer's position in screen coordinates; false when it cannot be read.
bool GetCursorPos(CursorPoint& point);

struct KeyModifiers {
  bool shift = false;
  bool alt = false;
  bool ctrl = false;
};

// Which of Shift, Alt and Ctrl are held down right now.
KeyModifiers AsyncKeyModifiers();

// The longest time between two clicks of a double click, in milliseconds.
unsigned GetDoubleClickTime();
// Changes it for the whole application (tests use a short one).
void SetDoubleClickTime(unsigned ms);

}  // namespace platform
