#include "sockets/LinkWatch.h"

void WatchLink(TCustomWSocket& socket) {
  socket.SetKeepAliveOnOff(wsKeepAliveOnCustom);
  socket.SetKeepAliveTime(kLinkIdleMs);
  socket.SetKeepAliveInterval(kLinkProbeMs);
  socket.SetUserTimeout(kLinkTimeoutMs);
  socket.SetRetransmitMax(kLinkRetransmitMaxMs);
}

std::uint64_t WaitingBehindPath(TCustomWSocket& socket) {
  if (socket.State() != wsConnected) return 0;
  const TSendBacklog backlog = socket.SendBacklog();
  if (backlog.Carries != socket.ComponentOptions().Contains(wsoTcpNoDelay))
    socket.ApplyNoDelay(backlog.Carries);
  return backlog.Behind();
}

bool LinkGivenUp(std::uint16_t error) {
  namespace ws = platform::winsock;
  return error == ws::WSAETIMEDOUT || error == ws::WSAECONNABORTED ||
         error == ws::WSAEHOSTUNREACH || error == ws::WSAENETUNREACH;
}
