#include "platform/Debug.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace platform {

bool DebugEnabled() {
  static const bool enabled = [] {
    const char* v = std::getenv("TALVO_DEBUG");
    return v != nullptr && *v != '\0';
  }();
  return enabled;
}

void OutputDebugString(const std::string& text) {
  if (!DebugEnabled()) return;
  static std::mutex m;
  std::lock_guard lock(m);
  std::string line = text + "\n";
  ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
  (void)ignored;
}

}  // namespace platform
