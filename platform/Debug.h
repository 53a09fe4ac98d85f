#pragma once

#include <string>

namespace platform {

// True when the environment variable TALVO_DEBUG is set to a non-empty value.
bool DebugEnabled();

// Writes text and a line break to standard error when DebugEnabled(); otherwise does nothing.
void OutputDebugString(const std::string& text);

}  // namespace platform
