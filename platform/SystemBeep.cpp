#include "platform/SystemBeep.h"

#include <QApplication>

namespace platform {
namespace {
std::function<void()>& Hook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void SystemBeep() {
  if (Hook()) return Hook()();
  if (QApplication::instance()) QApplication::beep();
}

void SetSystemBeepHook(std::function<void()> hook) {
  Hook() = std::move(hook);
}

}  // namespace platform
