#pragma once

#include <functional>

namespace platform {

// Sounds the desktop's default alert (the X bell); silent without a display.
void SystemBeep();

// For tests: when set, SystemBeep calls this instead of sounding anything.
void SetSystemBeepHook(std::function<void()> hook);

}  // namespace platform
