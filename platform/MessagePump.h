#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Dispatches every message that is pending for the calling thread, once, without waiting.
void ProcessMessages();

// Waits up to ms milliseconds for messages and dispatches those that arrive, returning when the
// time is up. The wait sleeps in the event loop: it costs no CPU while nothing arrives.
void WaitMessages(std::uint32_t ms);

// Waits until at least one message arrives, or at most maxMs milliseconds, and dispatches what is
// pending. For loops that wait on an event without spinning.
void WaitMessage(std::uint32_t maxMs);

// The application's terminate flag: set when the program has been asked to end.
bool Terminated();
void SetTerminated(bool value = true);

// Reports an exception that reached an event's dispatch outside Qt's own (a socket's, say). The
// window side's application shows it (Application::ShowException, which installs itself as the
// reporter); without one it is written to standard error.
void ReportException(const std::string& text);
using ExceptionReporter = std::function<void(const std::string& text)>;
void SetExceptionReporter(ExceptionReporter reporter);

}  // namespace platform
