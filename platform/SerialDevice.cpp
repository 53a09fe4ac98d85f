#include "platform/SerialDevice.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <mutex>

#include "platform/SerialBaudRate.h"
#include "text/Text.h"

namespace platform {
namespace {

struct BaudCode {
  std::uint32_t baud;
  speed_t code;
};

constexpr BaudCode kBaudCodes[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool BaudToCode(std::uint32_t baud, speed_t& code) {
  for (const auto& b : kBaudCodes) {
    if (b.baud == baud) {
      code = b.code;
      return true;
    }
  }
  return false;
}

std::uint32_t CodeToBaud(speed_t code) {
  for (const auto& b : kBaudCodes)
    if (b.code == code) return b.baud;
  return 0;
}

class PosixSerialDevice : public SerialDevice {
 public:
  ~PosixSerialDevice() override {
    Close();
    if (wakeFd_ >= 0) ::close(wakeFd_);
  }

  int Init() override {
    if (wakeFd_ >= 0) return 0;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return wakeFd_ < 0 ? errno : 0;
  }

  int Open(const std::string& path) override {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) return EBUSY;
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    if (!isatty(fd)) {
      ::close(fd);
      return ENOTTY;
    }
    // The advisory lock first: root passes TIOCEXCL, and clearing exclusive mode must never undo
    // that of another owner.
    if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
      int e = errno == EWOULDBLOCK ? EBUSY : errno;
      ::close(fd);
      return e;
    }
    if (ioctl(fd, TIOCEXCL) < 0) {
      int e = errno;
      ::close(fd);
      return e;
    }
    fd_ = fd;
    return 0;
  }

  int Close() override {
    int result = 0;
    {
      std::lock_guard lock(mutex_);
      if (fd_ < 0) return EBADF;
      // Exclusive mode belongs to the terminal, not to the descriptor: it would outlive us while
      // someone else keeps the terminal open.
      ioctl(fd_, TIOCNXCL);
      if (::close(fd_) < 0 && errno != EINTR) result = errno;
      fd_ = -1;
    }
    Wake();
    return result;
  }

  bool IsOpen() const override {
    std::lock_guard lock(mutex_);
    return fd_ >= 0;
  }

  int Handle() const override {
    std::lock_guard lock(mutex_);
    return fd_;
  }

  int SetupQueues(std::uint32_t, std::uint32_t) override {
    std::lock_guard lock(mutex_);
    return fd_ < 0 ? EBADF : 0;
  }

  int GetSettings(SerialSettings& s) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    termios t{};
    if (tcgetattr(fd_, &t) < 0) return errno;
    std::uint32_t baud = 0;
    if (detail::GetAnyBaudRate(fd_, baud) != 0) baud = CodeToBaud(cfgetospeed(&t));
    s.baudRate = baud;
    switch (t.c_cflag & CSIZE) {
      case CS5:
        s.dataBits = 5;
        break;
      case CS6:
        s.dataBits = 6;
        break;
      case CS7:
        s.dataBits = 7;
        break;
      default:
        s.dataBits = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
      s.parity = 0;
    else if (t.c_cflag & CMSPAR)
      s.parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
      s.parity = (t.c_cflag & PARODD) ? 1 : 2;
    s.stopBits = (t.c_cflag & CSTOPB) ? (s.dataBits == 5 ? 1 : 2) : 0;
    s.replaceErrors = (t.c_iflag & INPCK) && !(t.c_iflag & (IGNPAR | PARMRK));
    s.ctsFlow = (t.c_cflag & CRTSCTS) != 0;
    s.xonXoffOut = (t.c_iflag & IXON) != 0;
    s.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    s.xonChar = static_cast<char>(t.c_cc[VSTART]);
    s.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
    return 0;
  }

  int SetSettings(const SerialSettings& s) override {
    tcflag_t size;
    switch (s.dataBits) {
      case 5:
        size = CS5;
        break;
      case 6:
        size = CS6;
        break;
      case 7:
        size = CS7;
        break;
      case 8:
        size = CS8;
        break;
      default:
        return EINVAL;
    }
    if (s.parity > 4 || s.stopBits > 2 || s.baudRate == 0) return EINVAL;
    // One and a half stop bits exist only with 5 data bits, where a UART's "two" means 1.5.
    if (s.stopBits == 1 && s.dataBits != 5) return EINVAL;

    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    termios t{};
    if (tcgetattr(fd_, &t) < 0) return errno;
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | size;
    switch (s.parity) {
      case 1:
        t.c_cflag |= PARENB | PARODD;
        break;
      case 2:
        t.c_cflag |= PARENB;
        break;
      case 3:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
      case 4:
        t.c_cflag |= PARENB | CMSPAR;
        break;
      default:
        break;
    }
    if (s.stopBits != 0) t.c_cflag |= CSTOPB;
    if (s.replaceErrors) t.c_iflag |= INPCK;
    if (s.ctsFlow) t.c_cflag |= CRTSCTS;
    if (s.xonXoffOut) t.c_iflag |= IXON;
    if (s.xonXoffIn) t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    speed_t code;
    bool standard = BaudToCode(s.baudRate, code);
    if (standard) {
      cfsetispeed(&t, code);
      cfsetospeed(&t, code);
    }
    if (tcsetattr(fd_, TCSANOW, &t) < 0) return errno;
    if (!standard) return detail::SetAnyBaudRate(fd_, s.baudRate);
    return 0;
  }

  int SetReadsReturnAtOnce() override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    termios t{};
    if (tcgetattr(fd_, &t) < 0) return errno;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd_, TCSANOW, &t) < 0) return errno;
    return 0;
  }

  int GetModemLines(std::uint32_t& status) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) < 0) return errno;
    status = 0;
    if (bits & TIOCM_CTS) status |= kModemCts;
    if (bits & TIOCM_DSR) status |= kModemDsr;
    if (bits & TIOCM_RNG) status |= kModemRing;
    if (bits & TIOCM_CAR) status |= kModemDcd;
    return 0;
  }

  int SetModemLine(ModemLine line, bool on) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    if (ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) < 0) return errno;
    return 0;
  }

  int SetBreak(bool on) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    if (ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) < 0) return errno;
    return 0;
  }

  int Purge(bool input, bool output) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    if (!input && !output) return 0;
    int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    if (tcflush(fd_, which) < 0) return errno;
    return 0;
  }

  int GetQueues(std::uint32_t& input, std::uint32_t& output) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    int in = 0, out = 0;
    if (ioctl(fd_, FIONREAD, &in) < 0) return errno;
    if (ioctl(fd_, TIOCOUTQ, &out) < 0) return errno;
    input = static_cast<std::uint32_t>(in < 0 ? 0 : in);
    output = static_cast<std::uint32_t>(out < 0 ? 0 : out);
    return 0;
  }

  int GetCounters(SerialCounters& c) override {
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    serial_icounter_struct ic{};
    if (ioctl(fd_, TIOCGICOUNT, &ic) < 0) return errno;
    auto u = [](int v) { return static_cast<std::uint32_t>(v); };
    c.cts = u(ic.cts);
    c.dsr = u(ic.dsr);
    c.ring = u(ic.rng);
    c.dcd = u(ic.dcd);
    c.rx = u(ic.rx);
    c.tx = u(ic.tx);
    c.frame = u(ic.frame);
    c.overrun = u(ic.overrun);
    c.parity = u(ic.parity);
    c.brk = u(ic.brk);
    c.bufOverrun = u(ic.buf_overrun);
    return 0;
  }

  int Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    ssize_t n = ::read(fd_, buffer, size);
    if (n < 0) return errno;
    done = static_cast<std::size_t>(n);
    return 0;
  }

  int Write(const void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    std::lock_guard lock(mutex_);
    if (fd_ < 0) return EBADF;
    if (size == 0) return 0;
    ssize_t n = ::write(fd_, buffer, size);
    if (n < 0) return errno;
    done = static_cast<std::size_t>(n);
    return 0;
  }

  int Wait(std::uint32_t ms, bool readable, bool writable) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    int fd;
    {
      std::lock_guard lock(mutex_);
      fd = fd_;
    }
    pollfd p[2] = {{wakeFd_, POLLIN, 0}, {fd, 0, 0}};
    nfds_t count = 1;
    bool hungUp = false;
    if (fd >= 0 && (readable || writable)) {
      p[1].events = static_cast<short>((readable ? POLLIN : 0) | (writable ? POLLOUT : 0));
      count = 2;
    }
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      int timeout = left.count() > 0 ? static_cast<int>(left.count()) : 0;
      int r = poll(p, count, timeout);
      if (r < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      if (r == 0) return hungUp ? EIO : 0;
      if (p[0].revents & POLLIN) {
        std::uint64_t value;
        [[maybe_unused]] ssize_t ignored = ::read(wakeFd_, &value, sizeof value);
        return 0;
      }
      if (count == 2 && (p[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        // A hung-up device stays "ready" for ever; sleep out the time instead of spinning.
        count = 1;
        hungUp = true;
        continue;
      }
      return 0;
    }
  }

  int Wake() override {
    if (wakeFd_ < 0) return EBADF;
    std::uint64_t one = 1;
    if (::write(wakeFd_, &one, sizeof one) < 0 && errno != EAGAIN) return errno;
    return 0;
  }

 private:
  mutable std::mutex mutex_;
  int fd_ = -1;
  int wakeFd_ = -1;
};

}  // namespace

std::string SerialDevicePath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  if (name.size() > 3 && name.size() <= 12 && SameTextAscii(name.substr(0, 3), "COM")) {
    const auto n = ParseUnsigned(std::string_view(name).substr(3), 10, 999999999);
    if (n && *n >= 1) return "/dev/ttyS" + std::to_string(*n - 1);
  }
  return "/dev/" + name;
}

std::unique_ptr<SerialDevice> CreateSerialDevice() {
  return std::make_unique<PosixSerialDevice>();
}

}  // namespace platform
