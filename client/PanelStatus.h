#pragma once

#include <cstdint>
#include <string>

#include "client/DisplayReport.h"
#include "client/ServerLines.h"

// The knobs whose position the radio reports.
enum class TPanelKnob { Keyer, Power, RFGain, RIT };

// What the front panel shows of the radio's state; the panel binds its widgets, tests a recorder.
class IPanelIndicators {
 public:
  // The eight display characters (bit 7 carries the decimal point).
  virtual void ShowDisplayText(const std::string& text) = 0;
  // Which of the eight annunciator marks are visible.
  virtual void ShowAnnunciators(const TAnnunciatorRow& row) = 0;
  virtual void ShowMeter(int position) = 0;
  // Sets the knob; a knob that moves calls its change handler (TFrontPanelControls) at once.
  virtual void MoveKnob(TPanelKnob knob, int position) = 0;
  // The frequency the radio reported, for the frequency window.
  virtual void ShowFrequency(const std::string& text) = 0;
  // Shows and hides the tool windows of the mode groups (0 none, 1 Morse, 2 voice, 3 data). May
  // throw; the group then stays as it was and the next report tries again.
  virtual void ChangeModeGroup(std::uint8_t from, std::uint8_t to) = 0;

 protected:
  ~IPanelIndicators() = default;  // never owned through this path
};

// The session state that the display reads and sets.
class IDisplaySession {
 public:
  virtual bool DisplayLive() const = 0;
  virtual void SetDisplayLive(bool value) = 0;
  virtual std::uint8_t ModeGroup() const = 0;
  virtual void SetModeGroup(std::uint8_t group) = 0;

 protected:
  ~IDisplaySession() = default;
};

// The front panel's display side without widgets: the display reports, the annunciators and
// their blinking, the S-meter, the knobs the radio moves, and the flags that keep a knob the
// operator just turned from being moved back by a report already on its way. Main thread only.
class TFrontPanelStatus {
 public:
  TFrontPanelStatus(IDisplaySession& session, IPanelIndicators& view)
      : session_(session), view_(view) {}

  // A status line's value, by its word (Display, SMeter, Freq, KSpeed, Pwr, Rit, Squelch); other
  // words are not the display's and change nothing.
  void ShowStatus(TServerWord word, const std::string& value);

  // A connect: the rows cleared and the marks hidden (the panel shows "ELECRAFT").
  void Reset();
  // The 1-second tick's first two steps: the marks of the row BlinkPhase names, then the flip;
  // then the hold counts lowered and the echo flags cleared.
  void RefreshAnnunciators();
  void LowerHolds();

  const TAnnunciatorRow& AnnunciatorLit() const { return lit_; }
  const TAnnunciatorRow& AnnunciatorBlink() const { return blink_; }
  int BlinkPhase() const { return blinkPhase_; }
  // 0..3, read from the display's decimal point; used by the dial and the hot keys.
  int ResolutionIndex() const { return resolutionIndex_; }

  // Counts of the operator's recent changes of the keyer, power and RF gain knobs: while above 0
  // the radio's reports do not move the knob. Raised by the knobs' change handlers.
  int KeyerHold() const { return keyerHold_; }
  int PowerHold() const { return powerHold_; }
  int SquelchHold() const { return squelchHold_; }
  void RaiseKeyerHold() { ++keyerHold_; }
  void RaisePowerHold() { ++powerHold_; }
  void RaiseSquelchHold() { ++squelchHold_; }
  // Set while a report moves the keyer or power knob, so that its change handler sends nothing.
  bool KeyerEcho() const { return keyerEcho_; }
  bool PowerEcho() const { return powerEcho_; }
  void ClearKeyerEcho() { keyerEcho_ = false; }
  void ClearPowerEcho() { powerEcho_ = false; }

 private:
  void ShowDisplay(const std::string& value);
  void ShowKeyer(const std::string& value);
  void ShowPower(const std::string& value);
  void ShowSquelch(const std::string& value);
  void ShowRit(const std::string& value);
  void SetModeGroup(std::uint8_t group);

  IDisplaySession& session_;
  IPanelIndicators& view_;
  TAnnunciatorRow lit_{};
  TAnnunciatorRow blink_{};
  int blinkPhase_ = 0;
  int resolutionIndex_ = 0;
  int keyerHold_ = 0, powerHold_ = 0, squelchHold_ = 0;
  bool keyerEcho_ = false, powerEcho_ = false;
};

// Binds any session object with DisplayLive, SetDisplayLive, ModeGroup and SetModeGroup.
template <class Session>
class DisplaySessionFor : public IDisplaySession {
 public:
  explicit DisplaySessionFor(Session& session) : session_(session) {}
  bool DisplayLive() const override { return session_.DisplayLive(); }
  void SetDisplayLive(bool value) override { session_.SetDisplayLive(value); }
  std::uint8_t ModeGroup() const override { return session_.ModeGroup(); }
  void SetModeGroup(std::uint8_t group) override { session_.SetModeGroup(group); }

 private:
  Session& session_;
};
