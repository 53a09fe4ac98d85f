#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "common/AccessLevel.h"
#include "relay/RelayLinks.h"

// What the relay last saw of the radio and last reported to the client, for one session.
// A default-constructed record holds the values of a fresh session.
struct TRelayState {
  long double FreqA = 0;     // kHz, last frequency seen for VFO A
  long double FreqB = 0;     // kHz, last frequency seen for VFO B
  long double LastFreq = 0;  // kHz, value of the last "FREQ" line
  bool Transmitting = false;
  bool RitOn = false;
  bool XitOn = false;
  std::int32_t RitOffset = -999999;
  std::int32_t CurrentVfo = 0;  // 0 A, 1 B, -1 unknown
  std::int32_t Split = -1;      // 0 off, 1 on, -1 unknown
  std::int32_t Mode = -1;       // K2 mode number, -1 unknown
  std::uint8_t ModeClass = 0;   // ModeClass() of the mode last reported
  std::int32_t Preamp = -1;
  std::int32_t Attenuator = -1;
  std::int32_t Antenna = -1;
  std::int32_t Power = -1;          // K2 units
  std::int32_t HighPowerRange = 0;  // range digit of the last power reply, 0 or 1
  std::int32_t NoiseBlanker = -1;   // level * 10 + marker digit
  std::int32_t Agc = -1;            // speed digit * 10 + on digit
  std::string Filter;               // five characters of the last filter reply
  std::int32_t AudioFilter = -1;
  std::int32_t SMeter = -1;
  std::string Display;          // last ten display characters
  bool SMeterPolling = false;   // PollK2 asks "BG;"
  bool DisplayPolling = false;  // PollK2 asks "DS;IF;"
  std::int32_t KeyerState = 2;  // 2 session start, 1 piece sent, else last "KY" digit
  std::string MorseQueue;       // keyer text waiting, each piece preceded by one space
};

// The server's knowledge of the K2: turns the client's radio words into K2 commands, the K2's
// replies into status lines, polls the radio, paces Morse text into the keyer and releases the
// radio at session end. One instance serves the server's one session; main thread only.
//
// The server calls, per session:
//   accept          ResetSession()
//   login           SetAccessLevel(level); radio.WriteText(K2StartupCommands())
//   client word     TranslateCommand(word, argument, client)   (CommandInProgress set around it)
//   radio chunk     ReplyBuffer() += chunk; ParseK2Replies(client)
//   500 ms tick     PollK2()   (session started, client connected, no command in progress)
//   session end     ReleaseK2(); ClearSessionDuties()   (only after a login)
class TK2Relay {
 public:
  // The most Morse text that may wait for the keyer (some 40 minutes at 20 words a minute);
  // a CW line that would pass it is refused whole with a "#" message.
  static constexpr std::size_t kMaxMorseQueueBytes = 4096;

  // Commands go to `radio`, which must outlive the relay; without one they are dropped.
  explicit TK2Relay(IRadioPort* radio = nullptr);

  void SetRadio(IRadioPort* radio) { radio_ = radio; }
  IRadioPort* Radio() const { return radio_; }

  // 0 "RX only", 1 "TX/RX", 2 "Full"; below 1 the client may neither transmit nor key Morse.
  std::int32_t AccessLevel() const { return accessLevel_; }
  void SetAccessLevel(std::int32_t level) { accessLevel_ = level; }

  // Whether the outside Morse decoder is to follow the radio into and out of the Morse modes.
  bool CwDecoderEnabled() const { return cwDecoderEnabled_; }
  void SetCwDecoderEnabled(bool enabled) { cwDecoderEnabled_ = enabled; }

  // Fired while enabled, when a reported mode enters (start) or leaves (stop) the Morse modes.
  // The handler may dispatch messages; a nested ParseK2Replies is safe.
  std::function<void(TK2Relay& sender)> OnStartCwDecoder;
  std::function<void(TK2Relay& sender)> OnStopCwDecoder;

  TRelayState& State() { return state_; }
  const TRelayState& State() const { return state_; }

  // Received K2 text not yet parsed.
  std::string& ReplyBuffer() { return replyBuffer_; }

  // At every accepted connection: the session state to its initial values, access level 0,
  // the reply buffer emptied.
  void ResetSession();

  // At session end, after ReleaseK2: both polls off and the Morse queue emptied.
  void ClearSessionDuties();

  // AccessDeniedText() of the current access level.
  std::string AccessDeniedText() const;

  // One client radio word (text before the first space of the line, trimmed, as received) and
  // its argument (the rest, trimmed). Writes at most one K2 text, or sends the client one "#"
  // message, and updates the session state.
  void TranslateCommand(const std::string& word, const std::string& argument, IClientLink& client);

  // Consumes every complete ";"-ended reply from `buffer` and sends the client one status line
  // (CR LF ended) per change; an incomplete reply stays in the buffer. A reply that is not
  // understood, too short for its fields, or holds a digit with no meaning in its place goes to
  // the client unchanged as "## " + reply + ";". An empty reply (";") ends the call.
  void ParseK2Replies(std::string& buffer, IClientLink& client);
  void ParseK2Replies(IClientLink& client) { ParseK2Replies(replyBuffer_, client); }

  // One timer tick: the next piece of Morse text or the keyer-buffer question, then the display
  // and S-meter polls that are on, all in one write.
  void PollK2();

  // Leaves the radio receiving: "KY @;RX;" in the Morse modes (the keyer emptied, then receive),
  // "RX;" otherwise.
  void ReleaseK2();

 private:
  bool WriteRadio(const std::string& text);
  void HandleReply(const std::string& reply, IClientLink& client);
  bool HandleIfReply(const std::string& reply, IClientLink& client);
  void ReportMode(std::int32_t mode, IClientLink& client);
  std::string FrequencyCommand(const std::string& argument) const;
  std::string NoiseBlankerCommand(const std::string& argument) const;

  IRadioPort* radio_;
  std::int32_t accessLevel_ = kAccessRxOnly;
  bool cwDecoderEnabled_ = false;
  TRelayState state_;
  std::string replyBuffer_;
};
