#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/DateTime.h"
#include "logbook/AdifRecord.h"
#include "logbook/Eqsl.h"
#include "logbook/WorkedBefore.h"

// The contact in progress and what saving it does: the contact window's logic without its
// widgets. The window copies its fields into Fields before each action and shows Fields after
// it. Main thread only.

enum class TNoticeIcon { Information, Error };

// The paths from the contact log to the client's session, the user and the outside world. Every
// one may stay unbound; an unbound question is answered No.
struct TContactLinks {
  std::function<double()> CurrentFreq;      // kHz, live
  std::function<std::uint8_t()> ModeGroup;  // live
  std::function<std::string()> OwnCall;
  std::function<TEqslAccount()> Eqsl;  // the connected station's upload
  std::function<void(const std::string&)> SendCommand;
  std::function<bool(const std::string& text, const std::string& caption)> Ask;
  std::function<void(const std::string& text, const std::string& caption, TNoticeIcon)> Notice;
  // Uploads the text: nullopt on success, else the error text.
  std::function<std::optional<std::string>(const std::string& text)> Upload;
  std::function<bool(const std::string& record)> AppendAdif;  // the program's ADIF file
  std::function<TDateTime()> UtcNow;                          // default: local time + UtcOffset
};

class TContactLog {
 public:
  static constexpr const char* kCaption = "Talvo Client";

  TContactLog(std::string qsoLogPath, TContactLinks links);

  TContactFields Fields;

  TDateTime StartTime() const { return contact_.Start; }
  TDateTime EndTime() const { return contact_.End; }
  std::uint8_t CapturedModeGroup() const { return contact_.ModeGroup; }
  double CapturedFreq() const { return contact_.FreqKhz; }
  bool Unsaved() const { return unsaved_; }
  // Log, Log start and Log end may be pressed.
  bool LogButtonsEnabled() const { return buttons_; }
  // An upload is running: every action is refused until it ends.
  bool Busy() const { return busy_; }
  TWorkedBefore& WorkedBefore() { return worked_; }

  // The call's text changed: a call of 3 or more characters takes the times and the mode group,
  // enables the log buttons and is checked against the worked-before list.
  void CallChanged();
  // Starts a new contact; an unsaved one only after the operator agreed. False when the
  // operator kept the contact or an upload runs.
  bool NewContact();
  void LogStart();
  void LogEnd();
  // Saves the contact: ADIF file, "LOG" to the server, worked-before list, eQSL on request;
  // then a new contact and the next serial number. The contact is saved once its record is
  // written, before the eQSL question. False when nothing was saved (no call, or an upload runs).
  bool Save();
  // The window is being hidden: offers to save an unsaved contact.
  void Hiding();
  // Shows "Worked ... before ..." when the call was logged on the current band.
  void CheckWorkedBefore(const std::string& call);
  // The program is closing: from now on every question is answered, without asking, so that the
  // contact is kept: saved, not abandoned, and not uploaded (the upload would hold the close up).
  void KeepContact() { keep_ = true; }
  // The answer that keeps the contact, to the question asked last.
  bool KeepingAnswer() const { return keepingAnswer_; }

  // The contact as Save would log it now (times and frequency as captured).
  TContact Contact() const;

 private:
  TDateTime UtcNow() const;
  // keeps: the answer that keeps the contact.
  bool Ask(const std::string& text, const std::string& caption, bool keeps);
  void Notice(const std::string& text, const std::string& caption, TNoticeIcon icon) const;
  void Capture();
  void Upload(const TContact& contact, const TEqslAccount& account);

  TContactLinks links_;
  TWorkedBefore worked_;
  TContact contact_;
  bool unsaved_ = false;
  bool buttons_ = false;
  bool busy_ = false;
  bool keep_ = false;
  bool keepingAnswer_ = false;
};
