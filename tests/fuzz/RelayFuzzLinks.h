#pragma once

// Links for the relay's fuzz targets: a radio that takes every write and a client that only
// counts, so the relay runs its whole path without a port or a socket.
#include <cstddef>
#include <string>

#include "relay/RelayLinks.h"

struct FuzzRadio : IRadioPort {
  std::size_t written = 0;
  bool WriteText(const std::string& text) override {
    written += text.size();
    return true;
  }
};

struct FuzzClient : IClientLink {
  std::size_t sent = 0;
  void SendText(const std::string& text) override { sent += text.size(); }
};
