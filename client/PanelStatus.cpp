#include "client/PanelStatus.h"

#include <cmath>
#include <exception>
#include <optional>

#include "common/ModeGroup.h"
#include "text/Text.h"

void TFrontPanelStatus::ShowStatus(TServerWord word, const std::string& value) {
  switch (word) {
    case TServerWord::Display:
      ShowDisplay(value);
      return;
    case TServerWord::SMeter:
      view_.ShowMeter(ParseInt32(value).value_or(0));
      return;
    case TServerWord::Freq: {
      double khz = 0;
      if (ParseReportedFrequency(value, khz)) view_.ShowFrequency(value);
      return;
    }
    case TServerWord::KSpeed:
      ShowKeyer(value);
      return;
    case TServerWord::Pwr:
      ShowPower(value);
      return;
    case TServerWord::Rit:
      ShowRit(value);
      return;
    case TServerWord::Squelch:
      ShowSquelch(value);
      return;
    default:
      return;
  }
}

void TFrontPanelStatus::Reset() {
  lit_ = {};
  blink_ = {};
  view_.ShowAnnunciators(lit_);
}

void TFrontPanelStatus::RefreshAnnunciators() {
  view_.ShowAnnunciators(blinkPhase_ == 0 ? lit_ : blink_);
  blinkPhase_ ^= 1;
}

void TFrontPanelStatus::LowerHolds() {
  for (int* hold : {&keyerHold_, &powerHold_, &squelchHold_})
    if (*hold > 0) --*hold;
  keyerEcho_ = false;
  powerEcho_ = false;
}

void TFrontPanelStatus::ShowDisplay(const std::string& value) {
  TDisplayReport report;
  if (!DecodeDisplayReport(value, report)) return;
  if (!IsStartupText(value)) session_.SetDisplayLive(true);
  if (!session_.DisplayLive()) return;  // the panel keeps the "ELECRAFT" of the connect
  view_.ShowDisplayText(report.Text);
  lit_ = report.Lit;
  blink_ = report.Blink;
  if (!report.HasPoint) return;
  resolutionIndex_ = report.ResolutionIndex;
  if (report.ModeGroup != kModeGroupNone) SetModeGroup(report.ModeGroup);
}

void TFrontPanelStatus::SetModeGroup(std::uint8_t group) {
  const std::uint8_t from = session_.ModeGroup();
  if (group == from) return;
  try {
    view_.ChangeModeGroup(from, group);
  } catch (const std::exception&) {
    return;  // tried again with the next report
  }
  session_.SetModeGroup(group);
}

// The echo flag is up only while the knob is being set: a report that leaves the knob where it
// was must not swallow the operator's next turn of it.
void TFrontPanelStatus::ShowKeyer(const std::string& value) {
  if (keyerHold_ > 0) return;
  const std::optional<std::int32_t> wpm = ParseInt32(value);
  if (!wpm) return;
  keyerEcho_ = true;
  view_.MoveKnob(TPanelKnob::Keyer, *wpm);
  keyerEcho_ = false;
}

void TFrontPanelStatus::ShowPower(const std::string& value) {
  if (powerHold_ > 0) return;
  int position = 0;
  if (value.find('.') != std::string::npos) {
    double watts = 0;
    if (!ParseKilohertz(value, watts) || std::fabs(watts) > 1e6) return;
    position = static_cast<int>(std::nearbyint(watts * 10));  // halves to even
  } else {
    const std::optional<std::int32_t> watts = ParseInt32(value);
    if (!watts) return;
    position = *watts;
  }
  powerEcho_ = true;
  view_.MoveKnob(TPanelKnob::Power, position);
  powerEcho_ = false;
}

// No echo flag: a report that moves the knob is sent back as "SQ" by the knob's handler, which
// holds the knob against the reports for a while.
void TFrontPanelStatus::ShowSquelch(const std::string& value) {
  if (squelchHold_ > 0) return;
  const std::int32_t level = ParseInt32(value).value_or(0);
  if (level < -1000000 || level > 1000000) return;
  view_.MoveKnob(TPanelKnob::RFGain, 10 - level);
}

void TFrontPanelStatus::ShowRit(const std::string& value) {
  if (const std::optional<std::int32_t> offset = ParseInt32(value))
    view_.MoveKnob(TPanelKnob::RIT, *offset);
}
