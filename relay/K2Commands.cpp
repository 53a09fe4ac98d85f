// The client's radio words turned into K2 commands.

#include <cstdint>
#include <string>

#include "relay/K2Relay.h"
#include "relay/K2Text.h"
#include "relay/RelayNumbers.h"
#include "text/Text.h"

namespace {

// Each radio word is known by its first two letters and their first position in this string.
const char kCommandWords[] = "MOFRXTXFIAFATANBAGVFSPRSMKSRIXIPWSQDICW";

enum Command {
  kMode = 1,
  kFrequency = 3,
  kReceive = 4,
  kTransmit = 6,
  kFilter = 8,
  kAudioFilter = 10,
  kAttenuator = 12,
  kAntenna = 14,
  kNoiseBlanker = 15,
  kAgc = 17,
  kVfo = 19,
  kSplit = 21,
  kPreamp = 22,
  kSMeter = 24,
  kKeyerSpeed = 26,
  kRit = 28,
  kXit = 30,
  kPower = 32,
  kSquelch = 34,
  kDisplay = 36,
  kMorse = 38,
};

// The highest hertz value that the K2's eleven frequency digits can carry.
constexpr std::int64_t kMaxHertz = 99999999999;

int PositionOfHead(const char* keywords, const std::string& text, std::size_t length) {
  return static_cast<int>(KeywordPosition(keywords, UpperAscii(text.substr(0, length))));
}

// Position of the whole argument in "OFFON": 0 ignored, 1 to 3 "OFF", 4 and 5 "ON".
int OnOffPosition(const std::string& argument) {
  return static_cast<int>(KeywordPosition("OFFON", UpperAscii(argument)));
}

std::string Digit(std::int64_t value) {
  return std::to_string(value);
}

}  // namespace

std::string TK2Relay::FrequencyCommand(const std::string& argument) const {
  const std::string query = state_.CurrentVfo == 0 ? "FA;" : "FB;";
  if (argument.size() < 2) return query;
  const auto number = relay::ParseNumber(argument);
  if (!number || *number == 0) return query;
  long double kHz = *number;
  if (argument[0] == '+' || argument[0] == '-') {
    // An offset needs the current VFO and its frequency; without them only the query makes sense.
    if (state_.CurrentVfo != 0 && state_.CurrentVfo != 1) return query;
    const long double current = state_.CurrentVfo == 0 ? state_.FreqA : state_.FreqB;
    if (current == 0) return query;
    kHz += current;
  } else if (kHz < 1500) {
    kHz *= 1000;
  }
  // Setting a VFO without knowing which one is current could retune the wrong one.
  if (state_.CurrentVfo != 0 && state_.CurrentVfo != 1) return query;
  const long double hertz = relay::RoundHalfEven(kHz * 1000);
  if (!(hertz > 0 && hertz <= kMaxHertz)) return std::string();
  return (state_.CurrentVfo == 0 ? "FA" : "FB") +
         relay::FormatDigits(static_cast<std::int64_t>(hertz), 11) + ";";
}

std::string TK2Relay::NoiseBlankerCommand(const std::string& argument) const {
  const std::int32_t level = state_.NoiseBlanker / 10;
  switch (PositionOfHead("OFONTH", argument, 2)) {
    case 1:
      if (level >= 2) return "NB0;";
      if (level == 1) return "NB0;NB0;";
      return std::string();
    case 3:
      return level == 2 ? "NB0;NB0;" : "NB0;";
    case 5:
      return "SW22;";
    default:
      return "NB0;";
  }
}

void TK2Relay::TranslateCommand(const std::string& word, const std::string& argument,
                                IClientLink& client) {
  const bool query = argument == "?";
  const int onOff = OnOffPosition(argument);
  const std::string on = onOff >= 4 ? "1" : "0";
  std::string k2;

  switch (PositionOfHead(kCommandWords, word, 2)) {
    case kMode: {
      state_.Mode = -1;
      if (query) {
        k2 = "MD;";
        break;
      }
      const std::string name = UpperAscii(argument);
      for (std::int32_t mode = 1; mode <= 9 && k2.empty(); ++mode) {
        if (!ModeName(mode).empty() && ModeName(mode) == name) k2 = "MD" + Digit(mode) + ";";
      }
      if (k2.empty()) {
        client.SendText("# Invalid mode\r\n");
        return;
      }
      break;
    }

    case kFrequency:
      state_.LastFreq = 0;
      k2 = FrequencyCommand(argument);  // "?" is too short to be a frequency: the query
      break;

    case kReceive:
      k2 = "RX;";
      break;

    case kTransmit:
      if (accessLevel_ < kAccessTxRx) {
        client.SendText(AccessDeniedText());
        return;
      }
      k2 = "TX;";
      break;

    case kFilter: {
      state_.Filter.clear();
      if (query) {
        k2 = "FW;";
        break;
      }
      // The K2 takes one digit here; a longer number would build a malformed command.
      const std::int32_t n = relay::IntegerOrZero(argument);
      if (n >= 1 && n <= 9) k2 = "FW0000" + Digit(n) + ";";
      break;
    }

    case kAudioFilter:
      k2 = "SW37;";
      break;

    case kAttenuator:
      if (query) {
        k2 = "RA;";
      } else if (onOff > 0) {
        k2 = "RA0" + on + ";";
      }
      if (!k2.empty()) state_.Attenuator = -1;
      break;

    case kAntenna:
      if (query) {
        k2 = "AN;";
      } else {
        const std::int32_t n = relay::IntegerOrZero(argument);
        if (n == 1 || n == 2) k2 = "AN" + Digit(n) + ";";
      }
      if (!k2.empty()) state_.Antenna = -1;
      break;

    case kNoiseBlanker:
      k2 = query ? "NB;" : NoiseBlankerCommand(argument);
      if (!k2.empty()) state_.NoiseBlanker = -1;
      break;

    case kAgc:
      state_.Agc = -1;
      if (query) {
        k2 = "GT;";
        break;
      }
      switch (PositionOfHead("OFONFASL", argument, 2)) {
        case 1:
          k2 = "GT0000;GT;";
          break;
        case 3:
          k2 = "GT0001;GT;";
          break;
        case 5:
          k2 = "GT0021;";
          break;
        case 7:
          k2 = "GT0041;";
          break;
        default:
          k2 = "GT;";
      }
      break;

    case kVfo:
      if (query) {
        k2 = "FR;";
        state_.CurrentVfo = -1;
        break;
      }
      switch (PositionOfHead("ABLU", argument, 1)) {
        case 1:
          k2 = "FR0;";
          break;
        case 2:
          k2 = "FR1;";
          break;
        case 3:
          k2 = "LK1;";
          break;
        case 4:
          k2 = "LK0;";
          break;
      }
      break;

    case kSplit:
      if (query) {
        k2 = "FT;";
      } else if (onOff > 0) {
        const std::int32_t vfo = state_.CurrentVfo;
        if (vfo != 0 && vfo != 1) {
          k2 = "FT;";  // the transmit VFO cannot be named while the current one is unknown
        } else {
          k2 = "FT" + Digit(onOff >= 4 ? ((vfo ^ 1) & 0x7F) : vfo) + ";";
        }
      }
      // Unknown, so that the radio's next split report reaches the client whatever it says.
      if (!k2.empty()) state_.Split = -1;
      break;

    case kPreamp:
      if (query) {
        k2 = "PA;";
      } else if (onOff > 0) {
        k2 = "PA" + on + ";";
      }
      if (!k2.empty()) state_.Preamp = -1;
      break;

    case kSMeter:
      if (query) {
        k2 = "BG;";
        state_.SMeter = -1;
      } else if (onOff > 0) {
        state_.SMeterPolling = onOff == 4;
      }
      break;

    case kKeyerSpeed:
      if (query) {
        k2 = "KS;";
      } else {
        const std::int32_t n = relay::IntegerOrZero(argument);
        if (n >= 9 && n <= 50) k2 = "KS" + relay::FormatDigits(n, 3) + ";";
      }
      break;

    case kRit:
      if (query) {
        k2 = "RT;";
        state_.RitOffset = -32000;
        break;
      }
      switch (PositionOfHead("OFONCL+-", argument, 2)) {
        case 1:
          k2 = "RT0;";
          break;
        case 3:
          k2 = "RT1;";
          state_.RitOffset = -999999;
          break;
        case 5:
          k2 = "RC;";
          break;
        case 7:
          k2 = "RU;";
          break;
        case 8:
          k2 = "RD;";
          break;
      }
      break;

    case kXit:
      if (query) {
        k2 = "XT;";
      } else if (onOff > 0) {
        k2 = "XT" + on + ";";
      }
      break;

    case kPower: {
      if (query) {
        k2 = "PC;";
        state_.Power = -1;
        break;
      }
      long double n = 10;
      if (const auto watts = relay::ParseNumber(argument)) {
        n = relay::RoundHalfEven(state_.HighPowerRange != 0 ? *watts : *watts * 10);
      }
      if (n >= 0 && n <= 150)
        k2 = "PC" + relay::FormatDigits(static_cast<std::int64_t>(n), 3) + ";";
      break;
    }

    case kSquelch: {
      if (query) {
        k2 = "SQ;";
        break;
      }
      const std::int64_t n = std::int64_t{relay::IntegerOrZero(argument)} * 25;
      if (n >= 0 && n <= 250) k2 = "SQ" + relay::FormatDigits(n, 3) + ";";
      break;
    }

    case kDisplay:
      if (query) {
        k2 = "DS;";
        state_.Display.clear();
      } else if (onOff > 0) {
        state_.DisplayPolling = onOff == 4;
      }
      break;

    case kMorse:
      if (accessLevel_ < kAccessTxRx) {
        client.SendText(AccessDeniedText());
        return;
      }
      if (argument == "*") {
        state_.MorseQueue.clear();
        k2 = "KY @;";
      } else {
        const std::string text = " " + CWTextToKeyer(argument);
        if (state_.MorseQueue.size() + text.size() > kMaxMorseQueueBytes) {
          client.SendText("# More than " + std::to_string(kMaxMorseQueueBytes) +
                          " characters of Morse text would wait for the keyer; this text was "
                          "not sent.\r\n");
          return;
        }
        state_.MorseQueue += text;
      }
      break;

    default:
      client.SendText("# Invalid command \"" + word + "\"\r\n");
      return;
  }

  WriteRadio(k2);
}
