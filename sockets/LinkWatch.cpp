#include "sockets/LinkWatch.h"

void WatchLink(TCustomWSocket& socket) {
  socket.SetKeepAliveOnOff(wsKeepAliveOnCustom);
  socket.SetKeepAliveTime(kLinkIdleMs);
  socket.SetKeepAliveInterval(kLinkProbeMs);
  socket.SetUserTimeout(kLinkTimeoutMs);
  socket.SetRetransmitMax(kLinkRetransmitMaxMs);
  socket.SetFitNoDelayToPath(true);
}

std::uint32_t BehindPathMs(TCustomWSocket& socket) {
  if (socket.State() != wsConnected) return 0;
  return socket.SendBacklog().BehindMs();
}

bool LinkGivenUp(std::uint16_t error) {
  namespace ws = platform::winsock;
  return error == ws::WSAETIMEDOUT || error == ws::WSAECONNABORTED ||
         error == ws::WSAEHOSTUNREACH || error == ws::WSAENETUNREACH;
}
