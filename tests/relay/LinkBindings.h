#pragma once

#include <string>
#include <type_traits>

#include "relay/RelayLinks.h"

// Binds the relay's two paths to any object of a test that has the method they need.

// Binds any port object with WriteText(text). A WriteText returning bool decides on its own: a
// port that queues writes takes a text while another write is pending, and only what it refuses
// is reported as not taken. Otherwise, when the object has SendInProgress(), a text offered while
// a write is pending is reported as not taken instead of being handed to a port that would drop it.
template <class Port>
class RadioPortFor : public IRadioPort {
 public:
  explicit RadioPortFor(Port& port) : port_(port) {}
  bool WriteText(const std::string& text) override {
    if constexpr (std::is_same_v<decltype(port_.WriteText(text)), bool>) {
      return port_.WriteText(text);
    } else {
      if constexpr (requires { port_.SendInProgress(); }) {
        if (port_.SendInProgress()) return false;
      }
      port_.WriteText(text);
      return true;
    }
  }

 private:
  Port& port_;
};

// Binds any socket object with SendText(text).
template <class Socket>
class ClientLinkFor : public IClientLink {
 public:
  explicit ClientLinkFor(Socket& socket) : socket_(socket) {}
  void SendText(const std::string& text) override { socket_.SendText(text); }

 private:
  Socket& socket_;
};
