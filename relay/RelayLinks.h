#pragma once

#include <string>

// The two narrow paths of the relay: radio commands out to the K2 and lines out to the client.
// The server binds them to its serial port and client socket; tests bind recorders (see
// tests/relay/LinkBindings.h).

// The K2's serial port.
class IRadioPort {
 public:
  virtual ~IRadioPort() = default;
  // Writes the text as one write. False when the port did not take it (a write still pending,
  // port closed); the text is then lost and the caller may keep what it wanted to send.
  virtual bool WriteText(const std::string& text) = 0;
};

// The client's connection.
class IClientLink {
 public:
  virtual ~IClientLink() = default;
  // Sends the text as it is (lines carry their own CR LF).
  virtual void SendText(const std::string& text) = 0;
};
