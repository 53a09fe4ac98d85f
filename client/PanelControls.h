#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "client/PanelStatus.h"

// What the panel's controls need of the session.
class IControlSession {
 public:
  // The one way a line goes to the server.
  virtual void SendCommand(const std::string& line) = 0;
  // "FREQ " + (the reported frequency + stepKhz); false, sending nothing, before the first report.
  virtual bool SendFreqStep(double stepKhz) = 0;
  virtual std::int32_t AccessLevel() const = 0;
  virtual bool DisplayLive() const = 0;
  // Text for the "Message" box that the 1-second tick shows.
  virtual void SetPendingMessage(std::string text) = 0;
  // The tick's last steps: the pending message, then the keep-alive.
  virtual void OneSecondTick() = 0;

 protected:
  ~IControlSession() = default;
};

// The hot keys, by what they do.
enum class TPanelHotKey { StepDown, StepUp, Rate };

// The front panel's controls without widgets: the sixteen switches (a tap, or a hold of half a
// second or more, under the access table), the dial and the RIT knob with their shared repeat,
// the knobs' change handlers, the hot keys and the order of the 1-second tick. Every action
// becomes one line through the session; what the radio makes of it comes back as status lines.
// Main thread only.
class TFrontPanelControls {
 public:
  using TClock = std::function<std::int64_t()>;  // milliseconds, monotonic
  static constexpr std::int64_t kHoldMs = 500;
  static constexpr int kSwitches = 16;
  static constexpr const char* kNotAllowed = "Action not allowed.";

  // clock: nullptr for the steady clock.
  TFrontPanelControls(IControlSession& session, TFrontPanelStatus& status, TClock clock = nullptr);

  // The code a switch press sends: its number, plus 16 for a hold; and whether the access level
  // allows it.
  static int SwitchCode(int tag, std::int64_t heldMs) { return heldMs >= kHoldMs ? tag + 16 : tag; }
  static bool SwitchAllowed(int code, std::int32_t accessLevel);
  static std::string SwitchCommand(int code);  // "CAT SW07;"

  // A left-button press and release of switch tag (1..16).
  void ButtonDown(int tag);
  void ButtonUp(int tag);

  // The dial: -1 for the left button, +1 for the right, 0 for another (which leaves the
  // direction as it is). True when the repeat is to run (one step was made at once).
  bool DialDown(int direction);
  void DialUp();
  bool RitDown(int direction);
  void RitUp();
  void RitClear();
  // One step of the shared 250 ms repeat: the dial's frequency step, then the RIT step.
  void TimerStep();
  int DialDirection() const { return dialDirection_; }
  int DialCount() const { return dialCount_; }
  int RitDirection() const { return ritDirection_; }
  // The step in kHz for a resolution (1..3) and a speed (1..4); 0 for others.
  static double DialStep(int resolutionIndex, int size);

  // The knobs' change handlers.
  void KeyerKnobChange(int position);
  void PowerKnobChange(int position);
  void RFGainKnobChange(int position);

  // A hot key; nothing until the radio's display has started to report.
  void HotKeyPressed(TPanelHotKey key);
  // The line a hot key sends at a resolution: "CAT UP3;", "CAT DN0;", "CAT SW07;".
  static std::string HotKeyCommand(TPanelHotKey key, int resolutionIndex);

  // "MODE " + the item's caption without its first "&".
  void ModeMenuClick(const std::string& caption);

  // The 1-second tick, in its order: the annunciators and their blink, the holds and echo flags,
  // the pending message, the keep-alive.
  void OneSecondTick();

 private:
  void Refuse() { session_.SetPendingMessage(kNotAllowed); }

  IControlSession& session_;
  TFrontPanelStatus& status_;
  TClock clock_;
  std::int64_t pressTime_ = 0;
  int pressedTag_ = 0;
  int dialDirection_ = 0;
  int dialCount_ = 0;
  int ritDirection_ = 0;
};

// Binds any session object with the members IControlSession names.
template <class Session>
class ControlSessionFor : public IControlSession {
 public:
  explicit ControlSessionFor(Session& session) : session_(session) {}
  void SendCommand(const std::string& line) override { session_.SendCommand(line); }
  bool SendFreqStep(double stepKhz) override { return session_.SendFreqStep(stepKhz); }
  std::int32_t AccessLevel() const override { return session_.AccessLevel(); }
  bool DisplayLive() const override { return session_.DisplayLive(); }
  void SetPendingMessage(std::string text) override { session_.SetPendingMessage(std::move(text)); }
  void OneSecondTick() override { session_.OneSecondTick(); }

 private:
  Session& session_;
};
