// Prints the TCP options that both programs give their connection (sockets/LinkWatch.h), one a
// line as "NAME OPTION VALUE" (the option's number at level IPPROTO_TCP), so that the link
// bench's scripted operator sets its socket up as the client does without a copy of the numbers.
#include <netinet/in.h>
#include <netinet/tcp.h>

#include <cstdio>

#include "platform/Sockets.h"
#include "sockets/LinkWatch.h"

int main() {
  std::printf("TCP_USER_TIMEOUT %d %d\n", TCP_USER_TIMEOUT, kLinkTimeoutMs);
  std::printf("TCP_RTO_MAX_MS %d %d\n", platform::winsock::kTcpRtoMaxMsOption,
              kLinkRetransmitMaxMs);
  return 0;
}
