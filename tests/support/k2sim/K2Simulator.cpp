#include "tests/support/k2sim/K2Simulator.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace k2sim {

namespace {

// One byte on a 4800 baud line with 8 data bits and 2 stop bits: 11 bits.
constexpr auto kByteTime = std::chrono::nanoseconds(11 * 1000000000LL / 4800);

[[noreturn]] void Fail(const std::string& what) {
  throw K2SimError("k2sim: " + what + ": " + std::strerror(errno));
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
    char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

}  // namespace

K2Simulator::K2Simulator(K2State initial) : radio_(std::move(initial)) {
  radio_.OnCommand = [this](K2Radio&, const std::string& command) {
    // Runs inside radio_.Receive, under mutex_.
    log_.push_back(command);
    if (OnCommand) pendingCallbacks_.push_back(command);
  };
}

K2Simulator::~K2Simulator() {
  Stop();
  for (int fd : {master_, slave_, wake_[0], wake_[1]})
    if (fd >= 0) ::close(fd);
}

void K2Simulator::Open() {
  std::lock_guard lock(mutex_);
  if (master_ >= 0) return;
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) Fail("posix_openpt");
  char name[256];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, name, sizeof name) != 0) {
    int saved = errno;
    ::close(master);
    errno = saved;
    Fail("pseudo-terminal set-up");
  }
  // Holding the slave open keeps the master readable while no program has the port open.
  int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    int saved = errno;
    ::close(master);
    errno = saved;
    Fail(std::string("open ") + name);
  }
  termios tio{};
  if (::tcgetattr(slave, &tio) == 0) {
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(PARENB | CSIZE);
    tio.c_cflag |= CS8 | CSTOPB | CREAD | CLOCAL;
    ::cfsetispeed(&tio, B4800);
    ::cfsetospeed(&tio, B4800);
    ::tcsetattr(slave, TCSANOW, &tio);
  }
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  int wake[2];
  if (::pipe2(wake, O_NONBLOCK | O_CLOEXEC) != 0) {
    int saved = errno;
    ::close(master);
    ::close(slave);
    errno = saved;
    Fail("pipe2");
  }
  master_ = master;
  slave_ = slave;
  wake_[0] = wake[0];
  wake_[1] = wake[1];
  slavePath_ = name;
}

void K2Simulator::Start() {
  Open();
  std::lock_guard lock(mutex_);
  if (running_) return;
  running_ = true;
  stopping_ = false;
  thread_ = std::thread([this] { Run(); });
}

void K2Simulator::Stop() {
  {
    std::lock_guard lock(mutex_);
    if (!running_) return;
    stopping_ = true;
  }
  Wake();
  thread_.join();
  std::lock_guard lock(mutex_);
  running_ = false;
}

void K2Simulator::Run() {
  for (;;) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
    }
    Step(1000);
  }
}

bool K2Simulator::Pump(int timeoutMs) {
  {
    std::lock_guard lock(mutex_);
    if (running_ || master_ < 0) return false;
  }
  Step(timeoutMs);
  return true;
}

bool K2Simulator::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return done();
    if (!Pump(static_cast<int>(std::min<long long>(left.count(), 10)))) {
      std::unique_lock lock(mutex_);
      changed_.wait_for(lock, std::chrono::milliseconds(10));
    }
  }
}

void K2Simulator::Wake() {
  int fd;
  {
    std::lock_guard lock(mutex_);
    fd = wake_[1];
  }
  if (fd >= 0) {
    char b = 1;
    [[maybe_unused]] ssize_t ignored = ::write(fd, &b, 1);
  }
}

int K2Simulator::TimeoutMs(Clock::time_point now, int limitMs) const {
  auto next = now + std::chrono::milliseconds(limitMs);
  if (auto radio = radio_.NextDeadline()) next = std::min(next, *radio);
  if (!timed_.empty()) next = std::min(next, timed_.front().due);
  if (!line_.empty() && !blocked_) next = std::min(next, pacing_ ? lineFreeAt_ : now);
  if (next <= now) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
  return static_cast<int>(std::min<long long>(ms, limitMs));
}

void K2Simulator::Step(int timeoutMs) {
  pollfd fds[2];
  {
    std::lock_guard lock(mutex_);
    fds[0] = {master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0};
    fds[1] = {wake_[0], POLLIN, 0};
    timeoutMs = TimeoutMs(Clock::now(), timeoutMs);
  }
  ::poll(fds, 2, timeoutMs);

  std::vector<std::string> callbacks;
  {
    std::lock_guard lock(mutex_);
    char buffer[512];
    if (fds[1].revents & POLLIN)
      while (::read(wake_[0], buffer, sizeof buffer) > 0) {
      }
    auto now = Clock::now();
    if (fds[0].revents & POLLOUT) blocked_ = false;
    for (;;) {
      ssize_t n = ::read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      received_.append(buffer, static_cast<std::size_t>(n));
      radio_.Receive(std::string_view(buffer, static_cast<std::size_t>(n)), now);
    }
    radio_.Advance(now);
    QueueRadioOutput(now);
    Flush(now);
    callbacks.swap(pendingCallbacks_);
  }
  changed_.notify_all();
  if (OnCommand)
    for (const std::string& command : callbacks) OnCommand(*this, command);
}

void K2Simulator::AddToLine(Segment segment, Clock::time_point now) {
  if (line_.empty()) lineFreeAt_ = std::max(lineFreeAt_, now);
  line_.push_back(std::move(segment));
}

void K2Simulator::AddTimed(Segment segment) {
  auto at = std::upper_bound(timed_.begin(), timed_.end(), segment.due,
                             [](Clock::time_point due, const Segment& s) { return due < s.due; });
  timed_.insert(at, std::move(segment));
}

void K2Simulator::QueueRadioOutput(Clock::time_point now) {
  std::string out = radio_.TakeOutput();
  if (out.empty()) return;
  if (chunkBytes_ == 0) {
    AddToLine(Segment{std::move(out), now, false}, now);
    return;
  }
  auto gap = std::chrono::milliseconds(chunkGapMs_);
  auto due = std::max(now, lastChunkDue_ + gap);
  for (std::size_t at = 0; at < out.size(); at += chunkBytes_, due += gap) {
    AddTimed(Segment{out.substr(at, chunkBytes_), due, false});
    lastChunkDue_ = due;
  }
}

void K2Simulator::Flush(Clock::time_point now) {
  while (!timed_.empty() && timed_.front().due <= now) {
    AddToLine(std::move(timed_.front()), now);
    timed_.pop_front();
  }
  while (!line_.empty() && !blocked_) {
    Segment& segment = line_.front();
    std::size_t n = segment.bytes.size() - lineOffset_;
    if (pacing_) {
      if (now < lineFreeAt_) break;
      auto budget = static_cast<std::size_t>((now - lineFreeAt_) / kByteTime) + 1;
      n = std::min(n, budget);
    }
    ssize_t written = ::write(master_, segment.bytes.data() + lineOffset_, n);
    if (written < 0) {
      if (errno == EAGAIN || errno == EINTR) {
        blocked_ = errno == EAGAIN;
        break;
      }
      written = static_cast<ssize_t>(n);  // nobody can receive it: the bytes are lost on the line
    } else {
      sent_.append(segment.bytes, lineOffset_, static_cast<std::size_t>(written));
    }
    lineOffset_ += static_cast<std::size_t>(written);
    if (pacing_) lineFreeAt_ += kByteTime * written;
    if (lineOffset_ >= segment.bytes.size()) {
      line_.pop_front();
      lineOffset_ = 0;
    } else if (static_cast<std::size_t>(written) < n) {
      blocked_ = true;  // the terminal's buffer is full; wait until it drains
    }
  }
}

std::string K2Simulator::SlavePath() const {
  std::lock_guard lock(mutex_);
  return slavePath_;
}

K2State K2Simulator::State() const {
  std::lock_guard lock(mutex_);
  return radio_.State();
}

void K2Simulator::Panel(const std::function<void(K2State&)>& change) {
  {
    std::lock_guard lock(mutex_);
    radio_.PanelChange(change, Clock::now());
  }
  Wake();
}

bool K2Simulator::PressSwitch(int code) {
  bool known;
  {
    std::lock_guard lock(mutex_);
    known = radio_.PressSwitch(code, Clock::now());
  }
  Wake();
  return known;
}

void K2Simulator::TurnDial(int steps) {
  {
    std::lock_guard lock(mutex_);
    radio_.TurnDial(steps, Clock::now());
  }
  Wake();
}

void K2Simulator::SetSMeter(int dots) {
  Panel([dots](K2State& s) { s.sMeter = std::clamp(dots, 0, 10); });
}

void K2Simulator::SetReportCommandChanges(bool on) {
  std::lock_guard lock(mutex_);
  radio_.SetReportCommandChanges(on);
}

void K2Simulator::SetAutoInfoDelay(int ms) {
  std::lock_guard lock(mutex_);
  radio_.SetAutoInfoDelay(std::chrono::milliseconds(ms));
}

std::string K2Simulator::KeyedText() const {
  std::lock_guard lock(mutex_);
  return radio_.KeyedText();
}

std::vector<std::string> K2Simulator::CommandLog() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::size_t K2Simulator::CommandCount() const {
  std::lock_guard lock(mutex_);
  return log_.size();
}

void K2Simulator::ClearCommandLog() {
  std::lock_guard lock(mutex_);
  log_.clear();
}

bool K2Simulator::WaitForCommand(const std::string& command, int timeoutMs, std::size_t from) {
  auto found = [&] {
    for (std::size_t i = from; i < log_.size(); ++i)
      if (EqualNoCase(log_[i], command)) return true;
    return false;
  };
  return WaitFor(found, timeoutMs);
}

bool K2Simulator::WaitForCommandCount(std::size_t count, int timeoutMs) {
  return WaitFor([&] { return log_.size() >= count; }, timeoutMs);
}

bool K2Simulator::WaitFor(const std::function<bool()>& done, int timeoutMs) {
  bool threaded;
  {
    std::lock_guard lock(mutex_);
    threaded = running_;
  }
  if (!threaded) {
    return PumpUntil(
        [&] {
          std::lock_guard lock(mutex_);
          return done();
        },
        timeoutMs);
  }
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
}

std::string K2Simulator::ReceivedBytes() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::string K2Simulator::SentBytes() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

void K2Simulator::Inject(const std::string& bytes, int delayMs) {
  {
    std::lock_guard lock(mutex_);
    AddTimed(Segment{bytes, Clock::now() + std::chrono::milliseconds(delayMs), true});
  }
  Wake();
}

void K2Simulator::InjectBytewise(const std::string& bytes, int gapMs, int delayMs) {
  {
    std::lock_guard lock(mutex_);
    auto due = Clock::now() + std::chrono::milliseconds(delayMs);
    for (char c : bytes) {
      AddTimed(Segment{std::string(1, c), due, true});
      due += std::chrono::milliseconds(gapMs);
    }
  }
  Wake();
}

void K2Simulator::SetSilent(bool silent) {
  {
    std::lock_guard lock(mutex_);
    radio_.SetPowered(!silent, Clock::now());
    if (silent) {
      // What the radio had not yet put on the line dies with it.
      auto fromRadio = [](const Segment& s) { return !s.injected; };
      if (!line_.empty() && lineOffset_ > 0 && !line_.front().injected) {
        line_.pop_front();
        lineOffset_ = 0;
      }
      line_.erase(std::remove_if(line_.begin(), line_.end(), fromRadio), line_.end());
      timed_.erase(std::remove_if(timed_.begin(), timed_.end(), fromRadio), timed_.end());
    }
  }
  Wake();
}

bool K2Simulator::Silent() const {
  std::lock_guard lock(mutex_);
  return !radio_.State().powered;
}

void K2Simulator::SetPacing(bool on) {
  {
    std::lock_guard lock(mutex_);
    pacing_ = on;
  }
  Wake();
}

void K2Simulator::SetChunking(std::size_t bytes, int gapMs) {
  std::lock_guard lock(mutex_);
  chunkBytes_ = bytes;
  chunkGapMs_ = std::max(gapMs, 0);
}

}  // namespace k2sim
