#include "platform/MessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace platform {
namespace {
std::atomic<bool> g_terminated{false};

ExceptionReporter& Reporter() {
  static ExceptionReporter reporter;
  return reporter;
}
}  // namespace

void ProcessMessages() {
  if (!QCoreApplication::instance()) return;
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitMessages(std::uint32_t ms) {
  if (!QCoreApplication::instance()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return;
  }
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  timer.start(static_cast<int>(ms));
  loop.exec();
}

void WaitMessage(std::uint32_t maxMs) {
  if (!QCoreApplication::instance()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(maxMs));
    return;
  }
  // The timer only ends a wait in which nothing else arrives.
  QTimer guard;
  guard.setSingleShot(true);
  guard.start(static_cast<int>(maxMs));
  // Does not wait when something is pending already.
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

bool Terminated() {
  return g_terminated.load();
}
void SetTerminated(bool value) {
  g_terminated.store(value);
}

void ReportException(const std::string& text) {
  if (Reporter()) return Reporter()(text);
  std::fprintf(stderr, "%s\n", text.c_str());
}

void SetExceptionReporter(ExceptionReporter reporter) {
  Reporter() = std::move(reporter);
}

}  // namespace platform
