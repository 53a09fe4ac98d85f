#include "sockets/SocksWSocket.h"

void TCustomSocksWSocket::Connect() {
  TCustomWSocket::Connect();
}

void TCustomSocksWSocket::Listen() {
  TCustomWSocket::Listen();
}

std::int32_t TCustomSocksWSocket::RcvdCount() {
  return TCustomWSocket::RcvdCount();
}

void TCustomSocksWSocket::SetDefaults() {
  TCustomWSocket::SetDefaults();
}

bool TCustomSocksWSocket::TriggerDataAvailable(std::uint16_t error) {
  return TCustomWSocket::TriggerDataAvailable(error);
}

void TCustomSocksWSocket::TriggerSessionConnectedSpecial(std::uint16_t error) {
  TCustomWSocket::TriggerSessionConnectedSpecial(error);
}

void TCustomSocksWSocket::TriggerSessionClosed(std::uint16_t error) {
  TCustomWSocket::TriggerSessionClosed(error);
}

std::int32_t TCustomSocksWSocket::DoRecv(void* buffer, std::int32_t length, int flags) {
  return TCustomWSocket::DoRecv(buffer, length, flags);
}
