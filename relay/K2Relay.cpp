#include "relay/K2Relay.h"

#include "relay/K2Text.h"

TK2Relay::TK2Relay(IRadioPort* radio) : radio_(radio) {}

void TK2Relay::ResetSession() {
  state_ = TRelayState();
  accessLevel_ = kAccessRxOnly;
  replyBuffer_.clear();
}

void TK2Relay::ClearSessionDuties() {
  state_.DisplayPolling = false;
  state_.SMeterPolling = false;
  state_.MorseQueue.clear();
}

std::string TK2Relay::AccessDeniedText() const {
  return ::AccessDeniedText(accessLevel_);
}

bool TK2Relay::WriteRadio(const std::string& text) {
  if (text.empty() || radio_ == nullptr) return false;
  return radio_->WriteText(text);
}

void TK2Relay::PollK2() {
  std::string text;
  std::string piece;
  const std::int32_t keyerBefore = state_.KeyerState;
  if (!state_.MorseQueue.empty()) {
    std::size_t size = 0;
    if (state_.KeyerState == 2) size = 24;
    if (state_.KeyerState == 0) size = 6;
    if (size > 0) {
      piece = state_.MorseQueue.substr(0, size);
      state_.MorseQueue.erase(0, piece.size());
      text = "KY " + piece + ";";
      state_.KeyerState = 1;
    } else {
      text = "KY;";
    }
  }
  if (state_.DisplayPolling) text += "DS;IF;";
  if (state_.SMeterPolling) text += "BG;";
  if (text.empty()) return;
  if (!WriteRadio(text) && !piece.empty()) {
    // The port refused the write: the piece goes back so that no Morse text is lost.
    state_.MorseQueue.insert(0, piece);
    state_.KeyerState = keyerBefore;
  }
}

void TK2Relay::ReleaseK2() {
  // Emptying the keyer does not end a transmission that "TX" began: receive follows in any mode.
  WriteRadio(state_.Mode == 3 || state_.Mode == 7 ? "KY @;RX;" : "RX;");
}
