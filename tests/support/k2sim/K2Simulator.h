#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/k2sim/K2Radio.h"

namespace k2sim {

class K2SimError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A simulated K2 on a pseudo-terminal. Open() creates the terminal pair, sets it to raw
// 4800 baud 8N2 and keeps the slave side open itself, so a program may open, close and reopen
// SlavePath() as it would a serial port. The radio then answers what is written to the slave.
//
// Drive it either with Start() (a thread of its own) or by calling Pump() from the test's thread;
// every other member is thread-safe and may be called from any thread while the thread runs.
//
// Replies go out at the line's pace (11 bits a byte at 4800 baud) unless SetPacing(false).
// Test hooks: the log of commands received, raw byte injection (at once, later, or one byte at a
// time), reply chunking, and SetSilent(true) for a radio that is switched off.
class K2Simulator {
 public:
  explicit K2Simulator(K2State initial = {});
  ~K2Simulator();  // stops the thread and closes the terminal
  K2Simulator(const K2Simulator&) = delete;
  K2Simulator& operator=(const K2Simulator&) = delete;

  // Creates the pseudo-terminal; throws K2SimError when the system refuses.
  void Open();
  // Opens if needed and starts the thread.
  void Start();
  // Stops the thread; the terminal stays open. Idempotent.
  void Stop();
  // Without the thread: waits up to timeoutMs for input or a due timer and handles it.
  // False when the simulator is not open or its thread runs.
  bool Pump(int timeoutMs);
  // Pumps until `done` returns true or timeoutMs passes; returns the last result of `done`.
  bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

  std::string SlavePath() const;

  // The radio, read and changed under the simulator's lock.
  K2State State() const;
  // A change made at the radio's panel (reported by auto-info like one).
  void Panel(const std::function<void(K2State&)>& change);
  bool PressSwitch(int code);
  void TurnDial(int steps);
  void SetSMeter(int dots);
  void SetReportCommandChanges(bool on);
  void SetAutoInfoDelay(int ms);
  std::string KeyedText() const;

  // Every command received, as received (";" included), in order; kept also while silent.
  std::vector<std::string> CommandLog() const;
  std::size_t CommandCount() const;
  void ClearCommandLog();
  // Waits until the log, from entry `from` on, holds `command` (compared without regard to
  // case). True when it does.
  bool WaitForCommand(const std::string& command, int timeoutMs, std::size_t from = 0);
  bool WaitForCommandCount(std::size_t count, int timeoutMs);
  // All bytes received and all bytes written to the terminal so far.
  std::string ReceivedBytes() const;
  std::string SentBytes() const;

  // Writes raw bytes after delayMs, in one write of their own (pacing aside).
  void Inject(const std::string& bytes, int delayMs = 0);
  // Writes the bytes one at a time, gapMs apart, the first after delayMs.
  void InjectBytewise(const std::string& bytes, int gapMs, int delayMs = 0);
  // Silent: the radio is off; nothing is answered or reported (injections still go out).
  // Turning it back on keeps the state it had.
  void SetSilent(bool silent);
  bool Silent() const;
  void SetPacing(bool on);
  // Splits every reply into writes of at most `bytes` bytes, gapMs apart; 0 bytes: whole replies.
  void SetChunking(std::size_t bytes, int gapMs);

  // Called with every command received, on the thread that runs the simulator, under no lock.
  // Set it before Start().
  std::function<void(K2Simulator& sender, const std::string& command)> OnCommand;

 private:
  struct Segment {
    std::string bytes;
    Clock::time_point due;
    bool injected;
  };
  void Run();
  void Step(int timeoutMs);
  void Wake();
  void Flush(Clock::time_point now);
  void QueueRadioOutput(Clock::time_point now);
  void AddToLine(Segment segment, Clock::time_point now);
  void AddTimed(Segment segment);
  int TimeoutMs(Clock::time_point now, int limitMs) const;
  // Waits until done() (called under mutex_) holds, pumping when no thread runs.
  bool WaitFor(const std::function<bool()>& done, int timeoutMs);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  K2Radio radio_;
  int master_ = -1;
  int slave_ = -1;
  int wake_[2] = {-1, -1};
  std::string slavePath_;
  std::thread thread_;
  bool running_ = false;
  bool stopping_ = false;

  std::vector<std::string> log_;
  std::vector<std::string> pendingCallbacks_;
  std::string received_;
  std::string sent_;
  std::deque<Segment> timed_;   // injections and reply chunks waiting for their time
  std::deque<Segment> line_;    // due segments in line order
  std::size_t lineOffset_ = 0;  // bytes of line_.front() already written
  bool blocked_ = false;        // the terminal took no more; wait for POLLOUT
  bool pacing_ = true;
  Clock::time_point lineFreeAt_{};
  Clock::time_point lastChunkDue_{};
  std::size_t chunkBytes_ = 0;
  int chunkGapMs_ = 0;
};

}  // namespace k2sim
