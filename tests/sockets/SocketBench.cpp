// Loopback throughput of one connection (send chain on one end, receive path on the other, both
// TWSocket on the main thread) and the CPU time that an idle connection costs.
//
//   socket_bench [megabytes] [idle seconds]

#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Application.h"
#include "platform/MessagePump.h"
#include "sockets/WSocket.h"
#include "tests/support/WaitFor.h"

namespace {

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

using testsupport::WaitFor;

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  platform::Application app(argc, argv);
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 256;
  const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
  const std::int64_t total = static_cast<std::int64_t>(megabytes) << 20;

  TWSocket server, receiver, sender;
  server.SetAddr("127.0.0.1");
  server.SetPort("0");
  server.Listen();
  server.OnSessionAvailable = [&](TCustomWSocket* l, std::uint16_t) { receiver.Dup(l->Accept()); };

  std::int64_t received = 0;
  std::vector<char> inbuf(65536);
  receiver.OnDataAvailable = [&](TCustomWSocket* s, std::uint16_t) {
    int n = s->Receive(inbuf.data(), static_cast<std::int32_t>(inbuf.size()));
    if (n > 0) received += n;
  };

  sender.SetAddr("127.0.0.1");
  sender.SetPort(server.GetBoundPort());
  sender.Connect();
  if (!WaitFor([&] { return sender.State() == wsConnected && receiver.State() == wsConnected; },
               10000)) {
    std::fprintf(stderr, "socket_bench: no connection\n");
    return 1;
  }
  platform::WaitMessages(100);

  // Each time the send chain has emptied (OnDataSent) the sender queues the next megabyte.
  const std::string block(256 * 1024, 'x');
  std::int64_t queued = 0;
  std::int64_t sendCalls = 0;
  auto feed = [&] {
    for (int i = 0; i < 4 && queued < total; ++i) {
      sender.Send(block.data(), static_cast<std::int32_t>(block.size()));
      queued += static_cast<std::int64_t>(block.size());
    }
  };
  sender.OnSendData = [&](TCustomWSocket*, std::int32_t) { ++sendCalls; };
  sender.OnDataSent = [&](TCustomWSocket*, std::uint16_t) { feed(); };

  double cpu0 = ProcessCpuSeconds();
  auto t0 = std::chrono::steady_clock::now();
  feed();
  if (!WaitFor([&] { return received >= total; }, 600000)) {
    std::fprintf(stderr, "socket_bench: transfer stalled at %lld bytes\n",
                 static_cast<long long>(received));
    return 1;
  }
  double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  double cpu = ProcessCpuSeconds() - cpu0;
  std::printf("throughput: %ld MB in %.2f s = %.1f MB/s (%.2f s CPU, %lld platform sends)\n",
              megabytes, secs, static_cast<double>(megabytes) / secs, cpu,
              static_cast<long long>(sendCalls));

  double idle0 = ProcessCpuSeconds();
  platform::WaitMessages(static_cast<std::uint32_t>(idleSeconds) * 1000u);
  double idle = ProcessCpuSeconds() - idle0;
  std::printf("idle: %d s with a connected pair and a listener cost %.3f s CPU\n", idleSeconds,
              idle);
  return 0;
}
