#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace k2sim {

using Clock = std::chrono::steady_clock;

// Everything a K2 remembers that its serial interface can read or change. Frequencies in hertz.
struct K2State {
  std::int64_t vfoA = 7025000;
  std::int64_t vfoB = 14060000;
  int rxVfo = 0;  // 0 A, 1 B
  int txVfo = 0;  // split is on when it differs from rxVfo
  int mode = 3;   // 1 LSB, 2 USB, 3 CW, 6 RTTY, 7 CW-R, 9 RTTY-R
  bool rit = false;
  bool xit = false;
  int ritOffset = 0;  // hertz, shared by RIT and XIT, -9990..9990
  bool preamp = false;
  bool attenuator = false;
  int antenna = 1;   // 1 or 2
  int nbLevel = 0;   // 0 off, 1, 2
  int nbMarker = 1;  // threshold flag: 0 high ("*"), 1 normal
  int agcSpeed = 2;  // 2 fast, 4 slow
  bool agcOn = true;
  int filter[3] = {1, 1, 1};  // FL1..FL4 per mode family: CW, SSB, RTTY
  int audioFilter = 0;        // 0 off, 1 AF1, 2 AF2
  int power = 50;             // low range: tenths of a watt; high range: watts
  bool highRange = false;
  bool highRangeInstalled = false;  // the 100 W amplifier is fitted
  int keyerWpm = 20;
  int squelch = 0;  // 0..255
  bool locked = false;
  bool ptt = false;     // transmitting by TX; or the XMIT switch
  bool keying = false;  // the keyer is sending from its buffer
  int tuningRate = 10;  // hertz per dial step: 10, 100 or 1000
  int k2Mode = 0;       // K2 command level: 0, 1 basic; 2, 3 extended
  int autoInfo = 0;     // 0..3
  int sMeter = 2;       // bar graph dots, 0..10
  bool meterDots = false;
  bool bandChanged = false;  // a band change not yet reported by IF
  bool powered = true;
  std::string keyerBuffer;  // characters not yet started
  std::string displayText;  // eight characters shown instead of the frequency; empty: none

  bool Split() const { return rxVfo != txVfo; }
  bool Transmitting() const { return ptt || keying; }
  bool Extended() const { return k2Mode >= 2; }
  // The VFO that the display and IF show: the transmit VFO while transmitting split.
  int ShownVfo() const { return Transmitting() && Split() ? txVfo : rxVfo; }
  std::int64_t& Vfo(int v) { return v == 0 ? vfoA : vfoB; }
  std::int64_t Vfo(int v) const { return v == 0 ? vfoA : vfoB; }
  // 0 CW family (3, 7), 1 SSB (1, 2), 2 RTTY (6, 9).
  int ModeFamily() const;
  int FilterBandwidth() const;  // hertz of the selected filter
};

// A K2 with the KIO2 interface, without the wire: bytes from the computer go in through Receive,
// replies and automatic reports collect in the output, and time moves on through Advance. The
// keyer buffer drains at the keyer speed; automatic reports follow the AI mode:
//   AI0 none; AI1 an IF report a moment after any change of an IF field; AI2 the reply of each
//   changed item (FA, MD, ...; IF for the transmit state and the RIT/XIT offset) at once;
//   AI3 both.
// Changes made from the panel (switches, UP/DN, the dial, the keyer) are reported; changes made
// by a set command are reported only after SetReportCommandChanges(true).
// Not thread-safe; K2Simulator serialises access.
class K2Radio {
 public:
  static constexpr std::size_t kKeyerCapacity = 32;
  static constexpr std::size_t kKeyerFullAt = 25;  // KY reports 1 from this many characters
  static constexpr std::size_t kMaxCommand = 64;   // longer input without ";" is dropped

  explicit K2Radio(K2State initial = {});

  // Called with every command received (the bytes up to and including its ";", as received),
  // also while the radio is off.
  std::function<void(K2Radio& sender, const std::string& command)> OnCommand;

  void Receive(std::string_view bytes, Clock::time_point now);
  // Runs the keyer and the delayed reports up to now.
  void Advance(Clock::time_point now);
  // When Advance has something to do next, if anything.
  std::optional<Clock::time_point> NextDeadline() const;
  std::string TakeOutput();
  bool HasOutput() const { return !output_.empty(); }

  const K2State& State() const { return state_; }
  // Changes the state as an operator at the panel would; reported like a panel change.
  void PanelChange(const std::function<void(K2State&)>& change, Clock::time_point now);
  // A tap (1..16), a hold (17..32) or an extended code (33..40) of a front-panel switch (the
  // SWnn command). Modelled: 01 BAND+, 02 BAND-, 03 PRE, 19 ATT, 04 AGC speed, 20 AGC on/off,
  // 06 NB step, 22 NB threshold, 07 RATE, 23 LOCK, 08 MODE, 24 reverse, 09 A/B, 25 A=B, 10 SPLIT,
  // 11 RIT, 27 RIT clear, 12 XIT, 13 filter, 14 ANT, 16 XMIT, 32 TUNE, 37 audio filter; the other
  // codes are accepted and change nothing. False for codes the K2 does not have.
  bool PressSwitch(int code, Clock::time_point now);
  // Turns the VFO knob by steps of the tuning rate (negative: down). Ignored while locked.
  void TurnDial(int steps, Clock::time_point now);
  // Off: commands are logged but neither obeyed nor answered, the keyer stops, output is dropped.
  void SetPowered(bool on, Clock::time_point now);

  void SetReportCommandChanges(bool on) { reportCommands_ = on; }
  void SetAutoInfoDelay(std::chrono::milliseconds delay) { autoInfoDelay_ = delay; }
  // Characters the keyer has finished sending, in order (spaces included).
  const std::string& KeyedText() const { return keyed_; }

  // Reply texts as the K2 gives them, ";" included.
  std::string IfReply();  // clears the band-change flag
  // "DS", eight characters, the icon byte and the flash byte. Places 1-7 show the frequency in
  // kilohertz to the tuning rate ("@" is the blank), bit 7 set on the character after the
  // kilohertz digits (the decimal point); place 8 the mode: < LSB, V USB, X CW, Z CW-R, R RTTY,
  // [ RTTY-R. Icons, bit 7 always set: 6 NB, 5 ANT2, 4 PRE, 3 ATT, 2 VFO B, 1 RIT, 0 XIT.
  // Flash, bit 7 always set: 6 NB at level 2, 2 split.
  std::string DsReply() const;
  static std::string MorseFor(char c);  // ".-" patterns; empty for characters the keyer skips
  // Length of one character in dot units, its gap after it included (a space: the rest of a word
  // gap). 0 for characters the keyer skips.
  static int MorseUnits(char c);

 private:
  struct Snapshot;
  Snapshot Take() const;
  void Report(const Snapshot& before, Clock::time_point now);
  void Execute(const std::string& command, Clock::time_point now);
  bool Handle(const std::string& name, const std::string& args, Clock::time_point now);
  bool Switch(int code);
  bool SetFrequency(int vfo, std::int64_t hz);
  void StepNoiseBlanker();
  void StartKeyer(Clock::time_point now);
  void StopKeyer();
  void Reply(const std::string& text) { output_ += text; }
  std::string ReplyFor(const std::string& name) const;

  K2State state_;
  std::string input_;
  std::string output_;
  bool discarding_ = false;  // an over-long command is being skipped up to its ";"
  bool reportCommands_ = false;
  std::chrono::milliseconds autoInfoDelay_{1000};
  std::optional<Clock::time_point> ifDue_;
  Clock::time_point charEnds_{};
  char sending_ = 0;
  bool abortKeyer_ = false;  // the character on the air, 0 between characters
  std::string keyed_;
  std::int64_t bandMemory_[10] = {};
};

}  // namespace k2sim
