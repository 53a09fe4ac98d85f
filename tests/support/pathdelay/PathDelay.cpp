// A long path for the tests and the link bench: every packet that the kernel routes into the tun
// device DEVICE is held for MS milliseconds and then written back, so that the kernel forwards it
// on as if it had crossed a path of that delay; with LOSS, that percentage of the packets, picked
// at random, is lost instead. The device must exist (ip tuntap add ... mode tun); the router's
// policy routing sends the forwarded packets into it. Nothing else is done to them: no
// reordering, no limit of rate. At most kMaxHeld bytes wait; beyond that a packet is dropped, as
// a router's full queue does. With AFTER and LATER, packets that arrive AFTER seconds or more
// after the start are held LATER milliseconds instead: a path whose round trip changes during a
// session (others' traffic filling a cell's queue); those held already keep their time, and none
// overtakes another. With "wander LOW HIGH" or "spikes LOW HIGH" the delay moves between LOW and
// HIGH milliseconds as tests/support/MovingDelay.h says; no packet overtakes another, so a delay
// that falls lets them out in a burst. The shape is drawn anew for each run; its seed goes to
// standard error.
//
// Usage: pathdelay DEVICE MS [LOSS [AFTER LATER | wander LOW HIGH | spikes LOW HIGH]]
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/MovingDelay.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxHeld = 64u << 20;

struct Held {
  Clock::time_point due;
  std::vector<char> packet;
};

int OpenTun(const char* name) {
  const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  ifreq ifr{};
  ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
  std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
  if (::ioctl(fd, TUNSETIFF, &ifr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  const bool moves =
      argc == 7 && (std::strcmp(argv[4], "wander") == 0 || std::strcmp(argv[4], "spikes") == 0);
  if (argc != 3 && argc != 4 && argc != 6 && !moves) {
    std::fprintf(stderr,
                 "usage: pathdelay DEVICE MS [LOSS [AFTER LATER | wander LOW HIGH | spikes LOW "
                 "HIGH]]\n");
    return 2;
  }
  const int fd = OpenTun(argv[1]);
  if (fd < 0) {
    std::perror("pathdelay: /dev/net/tun");
    return 1;
  }
  const auto delay = std::chrono::milliseconds(std::atol(argv[2]));
  std::bernoulli_distribution lost(argc >= 4 ? std::atof(argv[3]) / 100 : 0);
  const auto begun = Clock::now();
  const auto change = begun + std::chrono::seconds(argc == 6 ? std::atol(argv[4]) : 0);
  const auto later = argc == 6 ? std::chrono::milliseconds(std::atol(argv[5])) : delay;
  const std::uint32_t seed = std::random_device{}();
  std::mt19937 random(seed);
  std::unique_ptr<testsupport::TMovingDelay> moving;
  if (moves) {
    using testsupport::TMovingDelay;
    const auto shape =
        argv[4][0] == 's' ? TMovingDelay::TShape::Spikes : TMovingDelay::TShape::Wander;
    moving = std::make_unique<TMovingDelay>(shape, std::atof(argv[5]), std::atof(argv[6]), seed);
    std::fprintf(stderr, "pathdelay: %s %s to %s ms, seed %u\n", argv[4], argv[5], argv[6], seed);
  }
  std::deque<Held> held;
  std::size_t heldBytes = 0;
  std::vector<char> buffer(65536);
  for (;;) {
    int timeout = -1;
    if (!held.empty()) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(held.front().due - Clock::now());
      timeout = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeout) < 0 && errno != EINTR) return 1;
    if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return 1;
    if (p.revents & POLLIN) {
      const ssize_t n = ::read(fd, buffer.data(), buffer.size());
      if (n < 0 && errno != EAGAIN && errno != EINTR) return 1;
      if (n > 0 && !lost(random) && heldBytes + static_cast<std::size_t>(n) <= kMaxHeld) {
        const auto now = Clock::now();
        auto due = now + (now >= change ? later : delay);
        if (moving) {
          const double ms = moving->At(std::chrono::duration<double>(now - begun).count());
          due = now + std::chrono::microseconds(static_cast<std::int64_t>(ms * 1000));
        }
        if (!held.empty()) due = std::max(due, held.back().due);
        held.push_back({due, std::vector<char>(buffer.data(), buffer.data() + n)});
        heldBytes += static_cast<std::size_t>(n);
      }
    }
    const auto now = Clock::now();
    while (!held.empty() && held.front().due <= now) {
      // A packet the kernel refuses back is lost, as on a path.
      (void)!::write(fd, held.front().packet.data(), held.front().packet.size());
      heldBytes -= held.front().packet.size();
      held.pop_front();
    }
  }
}
