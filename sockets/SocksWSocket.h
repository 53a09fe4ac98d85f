#pragma once

#include "sockets/CustomWSocket.h"

// The proxy layer of the socket chain. Without a proxy (the only case so far) every operation
// falls through to the core unchanged; the hooks it will intercept are in place.
class TCustomSocksWSocket : public TCustomWSocket {
 public:
  TCustomSocksWSocket() = default;
  ~TCustomSocksWSocket() override { DestroySocket(); }

  void Connect() override;
  void Listen() override;
  std::int32_t RcvdCount() override;

 protected:
  // True while an exchange with a proxy runs; the line layer leaves the data alone then.
  virtual bool SocksNegotiating() const { return false; }

  void SetDefaults() override;
  bool TriggerDataAvailable(std::uint16_t error) override;
  void TriggerSessionConnectedSpecial(std::uint16_t error) override;
  void TriggerSessionClosed(std::uint16_t error) override;
  std::int32_t DoRecv(void* buffer, std::int32_t length, int flags) override;
};
