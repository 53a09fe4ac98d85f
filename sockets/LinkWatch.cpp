#include "sockets/LinkWatch.h"

void WatchLink(TCustomWSocket& socket) {
  socket.SetKeepAliveOnOff(wsKeepAliveOnCustom);
  socket.SetKeepAliveTime(kLinkIdleMs);
  socket.SetKeepAliveInterval(kLinkProbeMs);
  socket.SetUserTimeout(kLinkTimeoutMs);
  socket.SetRetransmitMax(kLinkRetransmitMaxMs);
  socket.SetWatchPath(true);
}

TLinkState SampleLink(TCustomWSocket& socket) {
  if (socket.State() != wsConnected) return TLinkState::Carries;
  return socket.SamplePath();
}

bool LinkGivenUp(std::uint16_t error) {
  namespace ws = platform::winsock;
  return error == ws::WSAETIMEDOUT || error == ws::WSAECONNABORTED ||
         error == ws::WSAEHOSTUNREACH || error == ws::WSAENETUNREACH;
}
