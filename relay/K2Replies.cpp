// The K2's ";"-ended replies turned into the client's status lines.

#include <cstdint>
#include <string>

#include "relay/K2Relay.h"
#include "relay/K2Text.h"
#include "relay/RelayNumbers.h"
#include "text/Text.h"

namespace {

// Each reply is known by its first two letters and their first position in this string.
const char kReplyWords[] = "PSK2MDIFRFTFAFBPARANBGTFWKSRTXTLKPCSQDSKY";

enum Reply {
  kPowerSwitch = 1,
  kExtended = 3,
  kModeReply = 5,
  kInformation = 7,
  kVfoReply = 8,
  kSplitReply = 10,
  kFreqA = 12,
  kFreqB = 14,
  kPreampReply = 16,
  kAttenuatorReply = 18,
  kAntennaReply = 19,
  kNoiseBlankerReply = 20,
  kBargraph = 21,
  kAgcReply = 22,
  kFilterReply = 24,
  kKeyerSpeedReply = 26,
  kRitReply = 28,
  kXitReply = 30,
  kLock = 32,
  kPowerReply = 34,
  kSquelchReply = 36,
  kDisplayReply = 38,
  kKeyer = 40,
};

// Reply fields counted from 1, the two letters being positions 1 and 2.
class Fields {
 public:
  explicit Fields(const std::string& reply) : reply_(reply) {}

  bool Has(std::size_t position) const { return reply_.size() >= position; }

  // The digit at the position; `otherwise` for any other character or a position past the end.
  std::int32_t Digit(std::size_t position, std::int32_t otherwise = 0) const {
    if (!Has(position)) return otherwise;
    const char c = reply_[position - 1];
    return c >= '0' && c <= '9' ? c - '0' : otherwise;
  }

  std::string Text(std::size_t first, std::size_t last) const {
    return reply_.substr(first - 1, last - first + 1);
  }

  std::int32_t Integer(std::size_t first, std::size_t last) const {
    return relay::IntegerOrZero(Text(first, last));
  }

 private:
  const std::string& reply_;
};

std::string OnOff(std::int32_t value) {
  return value == 1 ? "ON" : "OFF";
}

std::string FrequencyText(long double kHz) {
  return relay::FormatFixed(kHz, 3);
}

void SendLine(IClientLink& client, const std::string& line) {
  client.SendText(line + "\r\n");
}

int ReplyPosition(const std::string& reply) {
  return static_cast<int>(KeywordPosition(kReplyWords, UpperAscii(reply.substr(0, 2))));
}

}  // namespace

void TK2Relay::ParseK2Replies(std::string& buffer, IClientLink& client) {
  if (buffer.size() < 2) return;
  // The buffer is searched afresh for every reply: a decoder hook may parse the same buffer
  // while one of its replies is being handled.
  for (;;) {
    const auto end = buffer.find(';');
    if (end == std::string::npos) return;
    const std::string reply = buffer.substr(0, end);
    buffer.erase(0, end + 1);
    if (reply.empty()) return;
    if (reply.size() == 1) continue;
    HandleReply(reply, client);
  }
}

void TK2Relay::ReportMode(std::int32_t mode, IClientLink& client) {
  if (mode == state_.Mode) return;
  state_.Mode = mode;
  const std::uint8_t before = state_.ModeClass;
  const std::uint8_t now = ModeClass(mode);
  state_.ModeClass = now;  // stored before the hooks, which may dispatch further replies
  if (cwDecoderEnabled_ && now != before) {
    if (now == 2) {
      if (OnStartCwDecoder) OnStartCwDecoder(*this);
    } else if (before == 2) {
      if (OnStopCwDecoder) OnStopCwDecoder(*this);
    }
  }
  SendLine(client, "MODE " + ModeName(mode));
}

bool TK2Relay::HandleIfReply(const std::string& reply, IClientLink& client) {
  const Fields f(reply);
  if (!f.Has(33)) return false;
  const std::int32_t rit = f.Digit(24), xit = f.Digit(25), transmit = f.Digit(29);
  const std::int32_t vfo = f.Digit(31), split = f.Digit(33);
  if (rit > 1 || xit > 1 || transmit > 1 || vfo > 1 || split > 1) return false;

  if (rit != (state_.RitOn ? 1 : 0)) {
    state_.RitOn = rit == 1;
    SendLine(client, "RIT " + OnOff(rit));
  }
  if (xit != (state_.XitOn ? 1 : 0)) {
    state_.XitOn = xit == 1;
    SendLine(client, "XIT " + OnOff(xit));
  }
  if (transmit != (state_.Transmitting ? 1 : 0)) {
    state_.Transmitting = transmit == 1;
    SendLine(client, transmit == 1 ? "TX" : "RX");
  }
  if (vfo != state_.CurrentVfo) {
    state_.CurrentVfo = vfo;
    // Transmitting split, the K2 reports the transmit VFO: the client is shown the other one.
    const bool swapped = state_.Transmitting && state_.Split == 1;
    SendLine(client, std::string("VFO ") + ((vfo == 0) != swapped ? "A" : "B"));
  }
  if (split != state_.Split) {
    state_.Split = split;
    SendLine(client, "SPLIT " + OnOff(split));
  }

  const long double kHz = DigitsToKHz(f.Text(3, 13));
  const std::int32_t shown =
      state_.Transmitting && state_.Split == 1 ? 1 - state_.CurrentVfo : state_.CurrentVfo;
  long double& stored = shown == 0 ? state_.FreqA : state_.FreqB;
  if (kHz != stored || kHz != state_.LastFreq) {
    stored = kHz;
    state_.LastFreq = kHz;
    SendLine(client, "FREQ " + FrequencyText(kHz));
  }

  const std::int32_t offset = f.Integer(19, 23);
  if (offset != state_.RitOffset) {
    state_.RitOffset = offset;
    if (state_.RitOn || state_.XitOn) {
      const std::string text = std::to_string(offset);
      SendLine(client, "RIT " + (text[0] == '-' ? text : "+" + text));
    }
  }

  ReportMode(f.Digit(30), client);
  return true;
}

void TK2Relay::HandleReply(const std::string& reply, IClientLink& client) {
  const Fields f(reply);
  bool understood = true;

  switch (ReplyPosition(reply)) {
    case kPowerSwitch:
    case kExtended:
      break;

    case kModeReply:
      if (!f.Has(3)) {
        understood = false;
        break;
      }
      ReportMode(f.Digit(3), client);
      break;

    case kInformation:
      understood = HandleIfReply(reply, client);
      break;

    case kVfoReply: {
      const std::int32_t vfo = f.Digit(3);
      if (!f.Has(3) || vfo > 1) {
        understood = false;
        break;
      }
      if (vfo != state_.CurrentVfo) {
        state_.CurrentVfo = vfo;
        state_.Split = 0;
        SendLine(client, vfo == 0 ? "VFO A" : "VFO B");
        SendLine(client, "SPLIT OFF");
      }
      break;
    }

    case kSplitReply: {
      // Split means the transmit VFO differs from the current one; unknown without the latter.
      const std::int32_t vfo = f.Digit(3);
      if (!f.Has(3) || vfo > 1 || (state_.CurrentVfo != 0 && state_.CurrentVfo != 1)) {
        understood = false;
        break;
      }
      const std::int32_t split = vfo != state_.CurrentVfo ? 1 : 0;
      if (split != state_.Split) {
        state_.Split = split;
        SendLine(client, "SPLIT " + OnOff(split));
      }
      break;
    }

    case kFreqA:
    case kFreqB: {
      if (!f.Has(13)) {
        understood = false;
        break;
      }
      const std::int32_t vfo = ReplyPosition(reply) == kFreqA ? 0 : 1;
      const long double kHz = DigitsToKHz(f.Text(3, 13));
      long double& stored = vfo == 0 ? state_.FreqA : state_.FreqB;
      const bool current = state_.CurrentVfo == vfo;
      if (!(kHz == stored && (!current || kHz == state_.LastFreq))) {
        stored = kHz;
        if (current) {
          state_.LastFreq = kHz;
          SendLine(client, "FREQ " + FrequencyText(kHz));
        } else {
          SendLine(client, "ALTVFO " + FrequencyText(kHz));
        }
      }
      break;
    }

    case kPreampReply: {
      const std::int32_t preamp = f.Digit(3);
      if (!f.Has(3) || preamp > 1) {
        understood = false;
        break;
      }
      if (preamp != state_.Preamp) {
        state_.Preamp = preamp;
        SendLine(client, "PREAMP " + OnOff(preamp));
      }
      break;
    }

    case kAttenuatorReply: {
      const std::int32_t attenuator = f.Digit(4);
      if (!f.Has(4) || attenuator > 1) {
        understood = false;
        break;
      }
      if (attenuator != state_.Attenuator) {
        state_.Attenuator = attenuator;
        SendLine(client, "ATT " + OnOff(attenuator));
      }
      break;
    }

    case kAntennaReply: {
      if (!f.Has(3)) {
        understood = false;
        break;
      }
      const std::int32_t antenna = f.Digit(3);
      if (antenna != state_.Antenna) {
        state_.Antenna = antenna;
        SendLine(client, "ANT " + std::to_string(antenna));
      }
      break;
    }

    case kNoiseBlankerReply: {
      const std::int32_t level = f.Digit(3);
      // Without its own marker digit the reply keeps the marker last reported (1 when none).
      const std::int32_t marker = f.Digit(4, state_.NoiseBlanker & 1);
      if (!f.Has(3) || level > 2 || marker > 1) {
        understood = false;
        break;
      }
      if (level * 10 + marker != state_.NoiseBlanker) {
        state_.NoiseBlanker = level * 10 + marker;
        static const char* const kNames[] = {"NB OFF", "NB 1", "NB 2"};
        SendLine(client, std::string(kNames[level]) + (marker == 0 ? "*" : ""));
      }
      break;
    }

    case kBargraph: {
      if (!f.Has(4)) {
        understood = false;
        break;
      }
      std::int32_t level = f.Integer(3, 4);
      if (level >= 12) level -= 12;  // the transmit scale follows the receive one
      if (level != state_.SMeter) {
        state_.SMeter = level;
        SendLine(client, "SM " + std::to_string(level));
      }
      break;
    }

    case kAgcReply: {
      if (!f.Has(5)) {
        understood = false;
        break;
      }
      const std::int32_t speed = f.Digit(5);
      const std::int32_t on = f.Digit(6, 1);
      if (speed * 10 + on != state_.Agc) {
        state_.Agc = speed * 10 + on;
        SendLine(client, on != 1 ? "AGC OFF" : speed == 4 ? "AGC SLOW" : "AGC FAST");
      }
      break;
    }

    case kFilterReply: {
      if (!f.Has(8)) {
        understood = false;
        break;
      }
      const std::string filter = f.Text(3, 7);
      const std::int32_t audio = f.Digit(8);
      if (filter != state_.Filter) {
        state_.Filter = filter;
        SendLine(client, "FILTER " + filter.substr(4, 1) + " " +
                             std::to_string(relay::IntegerOrZero(filter.substr(0, 4))));
      }
      if (audio != state_.AudioFilter) {
        state_.AudioFilter = audio;
        SendLine(client, audio == 0 ? "AFIL OFF" : "AFIL " + std::to_string(audio));
      }
      break;
    }

    case kKeyerSpeedReply:
      if (!f.Has(5)) {
        understood = false;
        break;
      }
      SendLine(client, "KS " + std::to_string(f.Integer(3, 5)));
      break;

    case kRitReply:
    case kXitReply: {
      const std::int32_t on = f.Digit(3);
      if (!f.Has(3) || on > 1) {
        understood = false;
        break;
      }
      const bool rit = ReplyPosition(reply) == kRitReply;
      (rit ? state_.RitOn : state_.XitOn) = on == 1;
      SendLine(client, (rit ? "RIT " : "XIT ") + OnOff(on));
      break;
    }

    case kLock: {
      const std::int32_t locked = f.Digit(3);
      if (!f.Has(3) || locked > 1) {
        understood = false;
        break;
      }
      SendLine(client, locked == 1 ? "VFO LOCKED" : "VFO UNLOCKED");
      break;
    }

    case kPowerReply: {
      const std::int32_t range = f.Digit(6);
      if (!f.Has(6) || range > 1) {
        understood = false;
        break;
      }
      const std::int32_t power = f.Integer(3, 5);
      const long double watts = range == 0 ? power / 10.0L : power;
      if (range != state_.HighPowerRange) {
        state_.HighPowerRange = range;
        state_.Power = power;
        SendLine(client, "PA " + OnOff(range));
        SendLine(client, "PWR " + relay::FormatFixed(watts, 1));
      } else if (power != state_.Power) {
        state_.Power = power;
        SendLine(client, "PWR " + relay::FormatFixed(watts, range == 1 ? 0 : 1));
      }
      break;
    }

    case kSquelchReply: {
      if (!f.Has(5)) {
        understood = false;
        break;
      }
      const std::int32_t steps = f.Integer(3, 5) / 25;
      SendLine(client, steps == 0 ? "SQUELCH OFF" : "SQUELCH " + std::to_string(steps));
      break;
    }

    case kDisplayReply:
      // Only a whole display is shown; a reply of another length is dropped.
      if (reply.size() == 12 && f.Text(3, 12) != state_.Display) {
        state_.Display = f.Text(3, 12);
        SendLine(client, "DISPLAY " + state_.Display);
      }
      break;

    case kKeyer:
      if (!f.Has(3)) {
        understood = false;
        break;
      }
      state_.KeyerState = f.Digit(3, state_.KeyerState);
      break;

    default:
      understood = false;
  }

  if (!understood) SendLine(client, "## " + reply + ";");
}
