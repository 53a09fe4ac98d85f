#include "client/PanelControls.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/AccessLevel.h"

namespace {

// The dial's speed grows one step at these counts of repeats.
constexpr int kSpeedUpAt[] = {5, 20, 40};

// kHz per dial step, by resolution (1..3) and speed (1..4).
constexpr double kDialSteps[3][4] = {
    {0.01, 0.02, 0.05, 1},
    {0.1, 0.2, 0.5, 2},
    {1, 2, 5, 10},
};

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int Sign(int v) {
  return (v > 0) - (v < 0);
}

}  // namespace

TFrontPanelControls::TFrontPanelControls(IControlSession& session, TFrontPanelStatus& status,
                                         TClock clock)
    : session_(session), status_(status), clock_(clock ? std::move(clock) : TClock(SteadyMs)) {}

bool TFrontPanelControls::SwitchAllowed(int code, std::int32_t accessLevel) {
  // A code that needs no more than "RX only" is always allowed.
  const TAccessLevel needed = SwitchAccess(code);
  return needed == kAccessRxOnly || accessLevel >= needed;
}

std::string TFrontPanelControls::SwitchCommand(int code) {
  char text[16];
  std::snprintf(text, sizeof text, "CAT SW%02d;", code);
  return text;
}

void TFrontPanelControls::ButtonDown(int tag) {
  pressTime_ = clock_();
  pressedTag_ = tag;
}

void TFrontPanelControls::ButtonUp(int tag) {
  // A release without its press on this switch (the press went to another one) sends nothing.
  if (tag != pressedTag_ || tag < 1 || tag > kSwitches) return;
  pressedTag_ = 0;
  const int code = SwitchCode(tag, clock_() - pressTime_);
  if (SwitchAllowed(code, session_.AccessLevel()))
    session_.SendCommand(SwitchCommand(code));
  else
    Refuse();
}

double TFrontPanelControls::DialStep(int resolutionIndex, int size) {
  if (resolutionIndex < 1 || resolutionIndex > 3 || size < 1 || size > 4) return 0;
  return kDialSteps[resolutionIndex - 1][size - 1];
}

bool TFrontPanelControls::DialDown(int direction) {
  if (direction != 0) dialDirection_ = Sign(direction);
  dialCount_ = 1;
  if (dialDirection_ == 0) return false;
  TimerStep();
  return true;
}

void TFrontPanelControls::DialUp() {
  dialDirection_ = 0;
  dialCount_ = 0;
}

bool TFrontPanelControls::RitDown(int direction) {
  if (direction != 0) ritDirection_ = Sign(direction);
  if (ritDirection_ == 0) return false;
  TimerStep();
  return true;
}

void TFrontPanelControls::RitUp() {
  ritDirection_ = 0;
}

void TFrontPanelControls::RitClear() {
  ritDirection_ = 0;
  session_.SendCommand("RIT CLEAR");
}

void TFrontPanelControls::TimerStep() {
  const int resolution = status_.ResolutionIndex();
  if (dialDirection_ != 0 && resolution >= 1 && resolution <= 3) {
    ++dialCount_;
    for (int at : kSpeedUpAt)
      if (dialCount_ == at && std::abs(dialDirection_) < 4) dialDirection_ += Sign(dialDirection_);
    session_.SendFreqStep(Sign(dialDirection_) * DialStep(resolution, std::abs(dialDirection_)));
  }
  if (ritDirection_ > 0) session_.SendCommand("RIT +");
  if (ritDirection_ < 0) session_.SendCommand("RIT -");
}

void TFrontPanelControls::KeyerKnobChange(int position) {
  if (!status_.KeyerEcho()) {
    if (session_.AccessLevel() < kAccessTxRx) {
      Refuse();
    } else {
      session_.SendCommand("KS " + std::to_string(position));
      status_.RaiseKeyerHold();
    }
  }
  status_.ClearKeyerEcho();
}

void TFrontPanelControls::PowerKnobChange(int position) {
  if (!status_.PowerEcho()) {
    if (session_.AccessLevel() < kAccessTxRx) {
      Refuse();
    } else {
      char text[32];
      std::snprintf(text, sizeof text, "CAT PC%03d;", position);
      session_.SendCommand(text);
      status_.RaisePowerHold();
    }
  }
  status_.ClearPowerEcho();
}

void TFrontPanelControls::RFGainKnobChange(int position) {
  session_.SendCommand("SQ " + std::to_string(10 - position));
  status_.RaiseSquelchHold();
}

std::string TFrontPanelControls::HotKeyCommand(TPanelHotKey key, int resolutionIndex) {
  const int n = resolutionIndex > 1 ? resolutionIndex + 1 : resolutionIndex;
  switch (key) {
    case TPanelHotKey::StepUp:
      return "CAT UP" + std::to_string(n) + ";";
    case TPanelHotKey::StepDown:
      return "CAT DN" + std::to_string(n) + ";";
    case TPanelHotKey::Rate:
      return "CAT SW07;";
  }
  return {};
}

void TFrontPanelControls::HotKeyPressed(TPanelHotKey key) {
  if (!session_.DisplayLive()) return;
  session_.SendCommand(HotKeyCommand(key, status_.ResolutionIndex()));
}

void TFrontPanelControls::ModeMenuClick(const std::string& caption) {
  std::string name = caption;
  if (std::size_t amp = name.find('&'); amp != std::string::npos) name.erase(amp, 1);
  session_.SendCommand("MODE " + name);
}

void TFrontPanelControls::OneSecondTick() {
  status_.RefreshAnnunciators();
  status_.LowerHolds();
  session_.OneSecondTick();
}
