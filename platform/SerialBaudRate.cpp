#include "platform/SerialBaudRate.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <errno.h>
#include <sys/ioctl.h>

namespace platform::detail {

int SetAnyBaudRate(int fd, std::uint32_t baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) < 0) return errno;
  t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  t.c_ispeed = baud;
  t.c_ospeed = baud;
  if (ioctl(fd, TCSETS2, &t) < 0) return errno;
  return 0;
}

int GetAnyBaudRate(int fd, std::uint32_t& baud) {
  struct termios2 t {};
  if (ioctl(fd, TCGETS2, &t) < 0) return errno;
  baud = t.c_ospeed;
  return 0;
}

}  // namespace platform::detail
