#include "tests/support/k2sim/K2Radio.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace k2sim {

namespace {

struct Band {
  std::int64_t low, high, home;
};

// The K2's amateur bands, with the frequency each one starts at.
constexpr Band kBands[] = {
    {1800000, 2000000, 1820000},    {3500000, 4000000, 3560000},    {7000000, 7300000, 7030000},
    {10100000, 10150000, 10116000}, {14000000, 14350000, 14060000}, {18068000, 18168000, 18086000},
    {21000000, 21450000, 21060000}, {24890000, 24990000, 24906000}, {28000000, 29700000, 28060000},
};
constexpr int kBandCount = sizeof(kBands) / sizeof(kBands[0]);

constexpr std::int64_t kLowestHz = 500000;
constexpr std::int64_t kHighestHz = 30000000;

// Crystal filter bandwidths FL1..FL4 by mode family (CW, SSB, RTTY).
constexpr int kFilterHz[3][4] = {
    {1500, 700, 400, 200}, {2200, 2000, 1800, 1600}, {1500, 1000, 500, 250}};

int BandOf(std::int64_t hz) {
  for (int i = 0; i < kBandCount; ++i)
    if (hz >= kBands[i].low && hz <= kBands[i].high) return i;
  return -1;
}

bool IsDigits(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int ToInt(const std::string& s) {
  return std::atoi(s.c_str());
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::string Upper(std::string s) {
  for (char& c : s) c = Upper(c);
  return s;
}

std::string Format(const char* format, long long value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool IsMorseMode(int mode) {
  return mode == 3 || mode == 7;
}

}  // namespace

int K2State::ModeFamily() const {
  switch (mode) {
    case 1:
    case 2:
      return 1;
    case 6:
    case 9:
      return 2;
    default:
      return 0;
  }
}

int K2State::FilterBandwidth() const {
  int f = std::clamp(filter[ModeFamily()], 1, 4);
  return kFilterHz[ModeFamily()][f - 1];
}

// What automatic reports are judged on.
struct K2Radio::Snapshot {
  std::int64_t vfoA, vfoB, shownHz;
  int rxVfo, txVfo, shownVfo, mode, ritOffset, antenna, nb, agc, filter, bandwidth, audioFilter;
  int power, keyerWpm, squelch;
  bool rit, xit, preamp, attenuator, highRange, locked, transmitting;
};

K2Radio::K2Radio(K2State initial) : state_(std::move(initial)) {
  for (int i = 0; i < kBandCount; ++i) bandMemory_[i] = kBands[i].home;
}

K2Radio::Snapshot K2Radio::Take() const {
  const K2State& s = state_;
  return Snapshot{s.vfoA,
                  s.vfoB,
                  s.Vfo(s.ShownVfo()),
                  s.rxVfo,
                  s.txVfo,
                  s.ShownVfo(),
                  s.mode,
                  s.ritOffset,
                  s.antenna,
                  s.nbLevel * 10 + s.nbMarker,
                  s.agcSpeed * 10 + (s.agcOn ? 1 : 0),
                  s.filter[s.ModeFamily()],
                  s.FilterBandwidth(),
                  s.audioFilter,
                  s.power,
                  s.keyerWpm,
                  s.squelch,
                  s.rit,
                  s.xit,
                  s.preamp,
                  s.attenuator,
                  s.highRange,
                  s.locked,
                  s.Transmitting()};
}

void K2Radio::Report(const Snapshot& b, Clock::time_point now) {
  if (!state_.powered || state_.autoInfo == 0) return;
  Snapshot a = Take();
  bool ifChanged = a.shownHz != b.shownHz || a.rit != b.rit || a.xit != b.xit ||
                   a.ritOffset != b.ritOffset || a.transmitting != b.transmitting ||
                   a.mode != b.mode || a.shownVfo != b.shownVfo ||
                   (a.rxVfo != a.txVfo) != (b.rxVfo != b.txVfo);
  if (state_.autoInfo >= 2) {
    if (a.vfoA != b.vfoA) Reply(ReplyFor("FA"));
    if (a.vfoB != b.vfoB) Reply(ReplyFor("FB"));
    if (a.rxVfo != b.rxVfo) Reply(ReplyFor("FR"));
    if (a.txVfo != b.txVfo || a.rxVfo != b.rxVfo) Reply(ReplyFor("FT"));
    if (a.mode != b.mode) Reply(ReplyFor("MD"));
    if (a.rit != b.rit) Reply(ReplyFor("RT"));
    if (a.xit != b.xit) Reply(ReplyFor("XT"));
    if (a.preamp != b.preamp) Reply(ReplyFor("PA"));
    if (a.attenuator != b.attenuator) Reply(ReplyFor("RA"));
    if (a.antenna != b.antenna) Reply(ReplyFor("AN"));
    if (a.nb != b.nb) Reply(ReplyFor("NB"));
    if (a.agc != b.agc) Reply(ReplyFor("GT"));
    if (a.filter != b.filter || a.bandwidth != b.bandwidth || a.audioFilter != b.audioFilter)
      Reply(ReplyFor("FW"));
    if (a.keyerWpm != b.keyerWpm) Reply(ReplyFor("KS"));
    if (a.power != b.power || a.highRange != b.highRange) Reply(ReplyFor("PC"));
    if (a.locked != b.locked) Reply(ReplyFor("LK"));
    if (a.squelch != b.squelch) Reply(ReplyFor("SQ"));
    // The transmit state and the offset have no reply of their own.
    if (state_.autoInfo == 2 && (a.transmitting != b.transmitting || a.ritOffset != b.ritOffset))
      Reply(IfReply());
  }
  if ((state_.autoInfo == 1 || state_.autoInfo == 3) && ifChanged && !ifDue_)
    ifDue_ = now + autoInfoDelay_;
}

void K2Radio::Receive(std::string_view bytes, Clock::time_point now) {
  for (char c : bytes) {
    if (c == ';') {
      std::string command = std::move(input_);
      input_.clear();
      if (discarding_) {
        discarding_ = false;
        if (state_.powered) Reply("?;");
        continue;
      }
      if (command.empty()) continue;  // a stray ";" is ignored
      if (OnCommand) OnCommand(*this, command + ";");
      if (state_.powered) Execute(command, now);
    } else if (static_cast<unsigned char>(c) < 32) {
      continue;  // line ends and other control characters between commands
    } else if (!discarding_) {
      input_ += c;
      if (input_.size() > kMaxCommand) {
        input_.clear();
        discarding_ = true;
      }
    }
  }
  Advance(now);
}

void K2Radio::Execute(const std::string& command, Clock::time_point now) {
  if (command.size() < 2) {
    Reply("?;");
    return;
  }
  std::string name = Upper(command.substr(0, 2));
  std::string args = Upper(command.substr(2));
  // SW, UP and DN stand for the operator's hands at the panel: their changes are reported.
  bool panel = name == "SW" || name == "UP" || name == "DN";
  Snapshot before = Take();
  if (!Handle(name, args, now)) Reply("?;");
  if (panel || reportCommands_) Report(before, now);
}

std::string K2Radio::ReplyFor(const std::string& name) const {
  const K2State& s = state_;
  if (name == "FA" || name == "FB") return name + Format("%011lld", s.Vfo(name == "FB")) + ";";
  if (name == "MD") return "MD" + std::to_string(s.mode) + ";";
  if (name == "FR") return "FR" + std::to_string(s.rxVfo) + ";";
  if (name == "FT") return "FT" + std::to_string(s.txVfo) + ";";
  if (name == "PA") return std::string("PA") + (s.preamp ? "1" : "0") + ";";
  if (name == "RA") return std::string("RA0") + (s.attenuator ? "1" : "0") + ";";
  if (name == "AN") return "AN" + std::to_string(s.antenna) + ";";
  if (name == "NB") {
    std::string r = "NB" + std::to_string(s.nbLevel);
    if (s.Extended()) r += std::to_string(s.nbMarker);
    return r + ";";
  }
  if (name == "GT") {
    std::string r = Format("GT%03lld", s.agcSpeed);
    if (s.Extended()) r += s.agcOn ? "1" : "0";
    return r + ";";
  }
  if (name == "FW") {
    std::string r = Format("FW%04lld", s.FilterBandwidth());
    if (s.Extended()) r += std::to_string(s.filter[s.ModeFamily()]) + std::to_string(s.audioFilter);
    return r + ";";
  }
  if (name == "KS") return Format("KS%03lld", s.keyerWpm) + ";";
  if (name == "PC") {
    std::string r = Format("PC%03lld", s.power);
    if (s.Extended()) r += s.highRange ? "1" : "0";
    return r + ";";
  }
  if (name == "LK") return std::string("LK") + (s.locked ? "1" : "0") + ";";
  if (name == "RT") return std::string("RT") + (s.rit ? "1" : "0") + ";";
  if (name == "XT") return std::string("XT") + (s.xit ? "1" : "0") + ";";
  if (name == "SQ") return Format("SQ%03lld", s.squelch) + ";";
  if (name == "AI") return "AI" + std::to_string(s.autoInfo) + ";";
  if (name == "K2") return "K2" + std::to_string(s.k2Mode) + ";";
  if (name == "KY")
    return std::string("KY") + (s.keyerBuffer.size() >= kKeyerFullAt ? "1" : "0") + ";";
  if (name == "PS") return "PS1;";
  if (name == "ID") return "ID017;";
  if (name == "BG") {
    int bars = s.sMeter;
    if (s.Transmitting()) {
      // On the air the bar graph shows the output power against the range's full scale.
      int full = s.highRange ? 100 : 150;
      bars = (s.power * 10 + full / 2) / full;
    }
    bars = std::clamp(bars, 0, 10) + (s.meterDots ? 12 : 0);
    return Format("BG%02lld", bars) + ";";
  }
  return {};
}

std::string K2Radio::IfReply() {
  const K2State& s = state_;
  int vfo = s.ShownVfo();
  std::string r = "IF" + Format("%011lld", s.Vfo(vfo)) + "     ";
  r += s.ritOffset < 0 ? '-' : '+';
  r += Format("%04lld", std::abs(s.ritOffset));
  r += s.rit ? '1' : '0';
  r += s.xit ? '1' : '0';
  r += " 00";
  r += s.Transmitting() ? '1' : '0';
  r += static_cast<char>('0' + s.mode);
  r += static_cast<char>('0' + vfo);
  r += '0';  // not scanning
  r += s.Split() ? '1' : '0';
  r += s.bandChanged ? '1' : '0';
  r += "01 ;";
  state_.bandChanged = false;
  return r;
}

std::string K2Radio::DsReply() const {
  const K2State& s = state_;
  std::string text(8, '@');  // '@' is the K2's blank
  if (!s.displayText.empty()) {
    for (std::size_t i = 0; i < 8 && i < s.displayText.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(s.displayText[i]);
      text[i] = c < 32 || c == ';' ? '@' : static_cast<char>(c);
    }
  } else {
    // The frequency in kilohertz in the first seven places, shown to the tuning rate; the point
    // lights on the character after the kilohertz digits.
    std::int64_t hz = s.Vfo(s.ShownVfo());
    int decimals = s.tuningRate >= 1000 ? 0 : s.tuningRate >= 100 ? 1 : 2;
    std::int64_t shown = hz / (decimals == 2 ? 10 : decimals == 1 ? 100 : 1000);
    std::string digits = std::to_string(shown);
    int width = 5 + decimals;  // kHz digits end at place 5
    if (static_cast<int>(digits.size()) > width) digits = digits.substr(digits.size() - width);
    std::size_t start = static_cast<std::size_t>(width) - digits.size();
    for (std::size_t i = 0; i < digits.size(); ++i) text[start + i] = digits[i];
    text[5] = static_cast<char>(text[5] | 0x80);
    static const char kModeChar[10] = {'@', '<', 'V', 'X', '@', '@', 'R', 'Z', '@', '['};
    text[7] = kModeChar[std::clamp(s.mode, 0, 9)];
  }
  unsigned char icons = 0x80;
  icons |= (s.nbLevel > 0 ? 0x40 : 0) | (s.antenna == 2 ? 0x20 : 0) | (s.preamp ? 0x10 : 0);
  icons |= (s.attenuator ? 0x08 : 0) | (s.ShownVfo() == 1 ? 0x04 : 0) | (s.rit ? 0x02 : 0);
  icons |= s.xit ? 0x01 : 0;
  unsigned char flash = 0x80 | (s.nbLevel == 2 ? 0x40 : 0) | (s.Split() ? 0x04 : 0);
  return "DS" + text + static_cast<char>(icons) + static_cast<char>(flash) + ";";
}

bool K2Radio::SetFrequency(int vfo, std::int64_t hz) {
  if (hz < kLowestHz || hz > kHighestHz) return false;
  std::int64_t& f = state_.Vfo(vfo);
  int from = BandOf(f), to = BandOf(hz);
  if (from != to) {
    if (from >= 0) bandMemory_[from] = f;
    state_.bandChanged = true;
  }
  f = hz;
  return true;
}

void K2Radio::StepNoiseBlanker() {
  state_.nbLevel = (state_.nbLevel + 1) % 3;
}

bool K2Radio::Handle(const std::string& name, const std::string& args, Clock::time_point now) {
  K2State& s = state_;
  const bool query = args.empty();
  const bool digits = IsDigits(args);
  if (query) {
    std::string answer = name == "IF" ? IfReply() : name == "DS" ? DsReply() : ReplyFor(name);
    if (!answer.empty()) {
      Reply(answer);
      return true;
    }
  }
  auto flag = [&](bool& value) {
    if (args != "0" && args != "1") return false;
    value = args == "1";
    return true;
  };

  if (name == "FA" || name == "FB") {
    if (args.size() != 11 || !digits) return false;
    return SetFrequency(name == "FB", std::atoll(args.c_str()));
  }
  if (name == "MD") {
    if (args.size() != 1 || std::string("123679").find(args[0]) == std::string::npos) return false;
    s.mode = args[0] - '0';
    return true;
  }
  if (name == "FR" || name == "FT") {
    if (args != "0" && args != "1") return false;
    if (name == "FR")
      s.rxVfo = s.txVfo = ToInt(args);  // selecting the receive VFO ends split
    else
      s.txVfo = ToInt(args);
    return true;
  }
  if (name == "PA") return flag(s.preamp);
  if (name == "RT") return flag(s.rit);
  if (name == "XT") return flag(s.xit);
  if (name == "LK") return flag(s.locked);
  if (name == "RA") {
    if (args != "00" && args != "01") return false;
    s.attenuator = args == "01";
    return true;
  }
  if (name == "AN") {
    if (args != "1" && args != "2") return false;
    s.antenna = ToInt(args);
    return true;
  }
  if (name == "NB") {
    if (args.size() != 1 || !digits) return false;
    StepNoiseBlanker();  // the K2 steps its blanker as a tap of the NB switch does
    return true;
  }
  if (name == "GT") {
    if ((args.size() != 3 && args.size() != 4) || !digits) return false;
    int speed = ToInt(args.substr(0, 3));
    if (speed != 0 && speed != 2 && speed != 4) return false;
    if (args.size() == 4 && args[3] > '1') return false;
    if (speed != 0) s.agcSpeed = speed;  // 000 keeps the speed
    if (args.size() == 4) s.agcOn = args[3] == '1';
    return true;
  }
  if (name == "FW") {
    if (args.size() < 4 || args.size() > 6 || !digits) return false;
    int family = s.ModeFamily();
    int chosen = args.size() >= 5 ? args[4] - '0' : 0;
    if (chosen > 4) return false;
    if (args.size() == 6 && args[5] > '2') return false;
    if (chosen == 0) {
      // A bandwidth alone selects the filter closest to it.
      int want = ToInt(args.substr(0, 4));
      chosen = 1;
      for (int f = 2; f <= 4; ++f)
        if (std::abs(kFilterHz[family][f - 1] - want) <
            std::abs(kFilterHz[family][chosen - 1] - want))
          chosen = f;
    }
    s.filter[family] = chosen;
    if (args.size() == 6) s.audioFilter = args[5] - '0';
    return true;
  }
  if (name == "KS") {
    if (args.size() != 3 || !digits || ToInt(args) < 8 || ToInt(args) > 50) return false;
    s.keyerWpm = ToInt(args);
    return true;
  }
  if (name == "PC") {
    if ((args.size() != 3 && args.size() != 4) || !digits) return false;
    bool high = args.size() == 4 ? args[3] == '1' : s.highRange;
    if (args.size() == 4 && args[3] > '1') return false;
    if (high && !s.highRangeInstalled) return false;
    int value = ToInt(args.substr(0, 3));
    if (value > (high ? 110 : 150)) return false;
    s.highRange = high;
    s.power = value;
    return true;
  }
  if (name == "SQ") {
    if (args.size() != 3 || !digits || ToInt(args) > 255) return false;
    s.squelch = ToInt(args);
    return true;
  }
  if (name == "AI" || name == "K2") {
    if (args.size() != 1 || args[0] < '0' || args[0] > '3') return false;
    (name == "AI" ? s.autoInfo : s.k2Mode) = args[0] - '0';
    if (name == "AI" && s.autoInfo == 0) ifDue_.reset();
    return true;
  }
  if (name == "PS") {
    if (args != "0" && args != "1") return false;
    if (args == "0") SetPowered(false, now);
    return true;
  }
  if (name == "RX" || name == "TX") {
    if (!query) return false;
    s.ptt = name == "TX";
    return true;
  }
  if (name == "RC" || name == "RU" || name == "RD") {
    if (!query) return false;
    if (name == "RC")
      s.ritOffset = 0;
    else
      s.ritOffset = std::clamp(s.ritOffset + (name == "RU" ? 10 : -10), -9990, 9990);
    return true;
  }
  if (name == "UP" || name == "DN") {
    static const int kStepHz[5] = {1, 10, 50, 100, 1000};
    if (!query && (args.size() != 1 || args[0] < '0' || args[0] > '4')) return false;
    if (s.locked) return true;
    int step = query ? s.tuningRate : kStepHz[args[0] - '0'];
    std::int64_t hz = s.Vfo(s.rxVfo) + (name == "UP" ? step : -step);
    SetFrequency(s.rxVfo, std::clamp(hz, kLowestHz, kHighestHz));
    return true;
  }
  if (name == "SW") {
    if (args.size() != 2 || !digits) return false;
    return Switch(ToInt(args));
  }
  if (name == "KY") {
    if (args[0] != ' ' || args.size() > 25 || !IsMorseMode(s.mode)) return false;
    for (char c : args.substr(1)) {
      if (c == '@') {
        // "@" cancels what is waiting and, at the next Advance, what is on the air.
        s.keyerBuffer.clear();
        abortKeyer_ = true;
      } else if (s.keyerBuffer.size() < kKeyerCapacity) {
        s.keyerBuffer += c;
      }
    }
    return true;
  }
  return false;
}

bool K2Radio::PressSwitch(int code, Clock::time_point now) {
  if (!state_.powered) return code >= 1 && code <= 40;
  Snapshot before = Take();
  bool known = Switch(code);
  Report(before, now);
  Advance(now);
  return known;
}

bool K2Radio::Switch(int code) {
  if (code < 1 || code > 40) return false;
  K2State& s = state_;
  switch (code) {
    case 1:    // BAND+
    case 2: {  // BAND-
      std::int64_t& f = s.Vfo(s.rxVfo);
      int band = BandOf(f), next;
      if (band >= 0) {
        next = (band + (code == 1 ? 1 : kBandCount - 1)) % kBandCount;
      } else {
        next = code == 1 ? 0 : kBandCount - 1;
        for (int i = 0; i < kBandCount; ++i) {
          if (code == 1 && kBands[i].low > f) {
            next = i;
            break;
          }
          if (code == 2 && kBands[i].high < f) next = i;
        }
      }
      SetFrequency(s.rxVfo, bandMemory_[next]);
      break;
    }
    case 3:
      s.preamp = !s.preamp;
      break;
    case 19:
      s.attenuator = !s.attenuator;
      break;
    case 4:
      s.agcSpeed = s.agcSpeed == 2 ? 4 : 2;
      break;
    case 20:
      s.agcOn = !s.agcOn;
      break;
    case 6:
      StepNoiseBlanker();
      break;
    case 22:
      s.nbMarker ^= 1;
      break;
    case 7:
      s.tuningRate = s.tuningRate == 10 ? 100 : s.tuningRate == 100 ? 1000 : 10;
      break;
    case 23:
      s.locked = !s.locked;
      break;
    case 8:  // MODE: CW, then the sideband of the band, then RTTY
      s.mode = IsMorseMode(s.mode)   ? (s.Vfo(s.rxVfo) < 10000000 ? 1 : 2)
               : s.ModeFamily() == 1 ? 6
                                     : 3;
      break;
    case 24:  // reverse: CW-R, RTTY-R, the other sideband
      s.mode = s.mode == 3 ? 7 : s.mode == 7 ? 3 : s.mode == 6 ? 9 : s.mode == 9 ? 6 : 3 - s.mode;
      break;
    case 9:
      s.rxVfo ^= 1;
      s.txVfo ^= 1;
      break;  // A/B
    case 25:
      s.Vfo(s.rxVfo ^ 1) = s.Vfo(s.rxVfo);
      break;  // A=B
    case 10:
      s.txVfo = s.Split() ? s.rxVfo : s.rxVfo ^ 1;
      break;  // SPLIT
    case 11:
      s.rit = !s.rit;
      break;
    case 27:
      s.ritOffset = 0;
      break;
    case 12:
      s.xit = !s.xit;
      break;
    case 13:
      s.filter[s.ModeFamily()] = s.filter[s.ModeFamily()] % 4 + 1;
      break;
    case 14:
      s.antenna = s.antenna == 1 ? 2 : 1;
      break;
    case 16:  // XMIT
    case 32:  // TUNE
      s.ptt = !s.ptt;
      break;
    case 37:
      s.audioFilter = (s.audioFilter + 1) % 3;
      break;
    default:
      break;  // menu, message and memory switches change nothing the interface can see
  }
  return true;
}

void K2Radio::PanelChange(const std::function<void(K2State&)>& change, Clock::time_point now) {
  Snapshot before = Take();
  change(state_);
  Report(before, now);
  Advance(now);
}

void K2Radio::TurnDial(int steps, Clock::time_point now) {
  if (!state_.powered || state_.locked) return;
  Snapshot before = Take();
  std::int64_t hz = state_.Vfo(state_.rxVfo) + static_cast<std::int64_t>(steps) * state_.tuningRate;
  SetFrequency(state_.rxVfo, std::clamp(hz, kLowestHz, kHighestHz));
  Report(before, now);
  Advance(now);
}

void K2Radio::SetPowered(bool on, Clock::time_point now) {
  if (on == state_.powered) return;
  state_.powered = on;
  (void)now;
  if (!on) {
    StopKeyer();
    state_.ptt = false;
    output_.clear();
    ifDue_.reset();
  }
}

void K2Radio::StopKeyer() {
  state_.keyerBuffer.clear();
  state_.keying = false;
  sending_ = 0;
}

void K2Radio::StartKeyer(Clock::time_point now) {
  charEnds_ = now;
  state_.keying = true;
  sending_ = 0;
}

std::string K2Radio::MorseFor(char c) {
  static const char* const kLetters[26] = {".-",   "-...", "-.-.", "-..",  ".",    "..-.", "--.",
                                           "....", "..",   ".---", "-.-",  ".-..", "--",   "-.",
                                           "---",  ".--.", "--.-", ".-.",  "...",  "-",    "..-",
                                           "...-", ".--",  "-..-", "-.--", "--.."};
  static const char* const kDigits[10] = {"-----", ".----", "..---", "...--", "....-",
                                          ".....", "-....", "--...", "---..", "----."};
  c = Upper(c);
  if (c >= 'A' && c <= 'Z') return kLetters[c - 'A'];
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  switch (c) {
    case '.':
      return ".-.-.-";
    case ',':
      return "--..--";
    case '?':
      return "..--..";
    case '/':
      return "-..-.";
    case '-':
      return "-....-";
    case '\'':
      return ".----.";
    case '"':
      return ".-..-.";
    case ':':
      return "---...";
    case '$':
      return "...-..-";
    // The K2's prosign characters.
    case '(':
      return "-.--.";  // KN
    case '+':
      return ".-.-.";  // AR
    case '=':
      return "-...-";  // BT
    case '%':
      return ".-...";  // AS
    case '*':
      return "...-.-";  // SK
    default:
      return {};
  }
}

int K2Radio::MorseUnits(char c) {
  if (c == ' ') return 4;  // with the 3 after the previous character: a word gap of 7
  std::string code = MorseFor(c);
  if (code.empty()) return 0;
  int units = static_cast<int>(code.size()) - 1 + 3;  // gaps inside, and after the character
  for (char e : code) units += e == '.' ? 1 : 3;
  return units;
}

void K2Radio::Advance(Clock::time_point now) {
  K2State& s = state_;
  if (!s.powered) return;
  Snapshot before = Take();
  if (abortKeyer_ && s.keying) {
    s.keying = false;
    sending_ = 0;
  }
  abortKeyer_ = false;
  if ((s.keying || !s.keyerBuffer.empty()) && !IsMorseMode(s.mode)) StopKeyer();
  if (!s.keying && !s.keyerBuffer.empty()) StartKeyer(now);
  while (s.keying && now >= charEnds_) {
    if (sending_ != 0) keyed_ += sending_;
    sending_ = 0;
    // Take the next character the keyer knows; the others are passed over.
    while (!s.keyerBuffer.empty() && sending_ == 0) {
      char c = Upper(s.keyerBuffer.front());
      s.keyerBuffer.erase(0, 1);
      int units = MorseUnits(c);
      if (units == 0) continue;
      sending_ = c;
      charEnds_ += std::chrono::microseconds(static_cast<long long>(units) * 1200000 / s.keyerWpm);
    }
    if (sending_ == 0) s.keying = false;
  }
  Report(before, now);
  if (ifDue_ && now >= *ifDue_) {
    ifDue_.reset();
    if (s.autoInfo == 1 || s.autoInfo == 3) Reply(IfReply());
  }
}

std::optional<Clock::time_point> K2Radio::NextDeadline() const {
  std::optional<Clock::time_point> next;
  if (state_.keying) next = charEnds_;
  if (ifDue_ && (!next || *ifDue_ < *next)) next = ifDue_;
  return next;
}

std::string K2Radio::TakeOutput() {
  std::string out;
  out.swap(output_);
  return out;
}

}  // namespace k2sim
