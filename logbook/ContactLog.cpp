#include "logbook/ContactLog.h"

#include "common/Adif.h"
#include "common/ModeGroup.h"
#include "common/Utils.h"

TContactLog::TContactLog(std::string qsoLogPath, TContactLinks links)
    : links_(std::move(links)), worked_(std::move(qsoLogPath)) {}

TDateTime TContactLog::UtcNow() const {
  return links_.UtcNow ? links_.UtcNow() : Now() + UtcOffset();
}

bool TContactLog::Ask(const std::string& text, const std::string& caption, bool keeps) {
  keepingAnswer_ = keeps;
  if (keep_) return keeps;
  return links_.Ask && links_.Ask(text, caption);
}

void TContactLog::Notice(const std::string& text, const std::string& caption,
                         TNoticeIcon icon) const {
  if (links_.Notice) links_.Notice(text, caption, icon);
}

TContact TContactLog::Contact() const {
  TContact c = contact_;
  c.Fields = Fields;
  return c;
}

void TContactLog::Capture() {
  contact_.FreqKhz = links_.CurrentFreq ? links_.CurrentFreq() : 0;
  contact_.ModeGroup = links_.ModeGroup ? links_.ModeGroup() : std::uint8_t{kModeGroupNone};
  unsaved_ = true;
}

void TContactLog::CallChanged() {
  if (busy_ || Fields.Call.size() <= 2) return;
  contact_.Start = UtcNow();
  contact_.End = contact_.Start;
  contact_.ModeGroup = links_.ModeGroup ? links_.ModeGroup() : std::uint8_t{kModeGroupNone};
  buttons_ = true;
  CheckWorkedBefore(Fields.Call);
}

bool TContactLog::NewContact() {
  if (busy_) return false;
  if (unsaved_ && !Ask("Abandon contact with " + Fields.Call + "?", kCaption, false)) return false;
  const bool voice = links_.ModeGroup && links_.ModeGroup() == kModeGroupVoice;
  Fields.Call.clear();
  Fields.Name = "OM";
  Fields.RstRcvd = Fields.RstSent = voice ? "59" : "599";
  Fields.Qth.clear();
  Fields.Grid.clear();
  Fields.Comment.clear();
  contact_.Start = contact_.End = 0;
  // A frequency captured for the last contact must not be logged with the next one.
  contact_.FreqKhz = 0;
  unsaved_ = false;
  buttons_ = false;
  return true;
}

void TContactLog::LogStart() {
  if (busy_) return;
  contact_.Start = UtcNow();
  contact_.End = contact_.Start;
  Capture();
}

void TContactLog::LogEnd() {
  if (busy_) return;
  contact_.End = UtcNow();
  if (contact_.Start == 0) contact_.Start = contact_.End;
  Capture();
}

bool TContactLog::Save() {
  const std::string call = ContactCall(Fields.Call);
  if (call.empty() || busy_) return false;
  if (contact_.FreqKhz == 0 && links_.CurrentFreq) contact_.FreqKhz = links_.CurrentFreq();
  const TDateTime now = UtcNow();
  if (contact_.Start == 0) contact_.Start = now;
  if (contact_.End == 0) contact_.End = now;
  const TContact contact = Contact();
  const std::string band = BandOf(contact.FreqKhz);

  const bool written = links_.AppendAdif ? links_.AppendAdif(LocalRecord(contact))
                                         : ::AppendAdif(LocalRecord(contact));
  // Saved from here on: a question while the rest runs (the upload's, a hiding's) must not
  // offer to save it again.
  unsaved_ = false;
  if (!written)
    Notice("The contact with " + call + " could not be written to " + AdifPath() + ".", kCaption,
           TNoticeIcon::Error);
  if (links_.SendCommand)
    links_.SendCommand("LOG " + call + " " +
                       ServerRecord(contact, links_.OwnCall ? links_.OwnCall() : ""));
  worked_.Add(TWorkedBefore::LineOf(call, band, contact.Start));

  const TEqslAccount account = links_.Eqsl ? links_.Eqsl() : TEqslAccount{};
  if (account.Enabled && Ask("eQSL contact with " + call + "?", "eQSL contact?", false))
    Upload(contact, account);

  NewContact();
  Fields.SerSent = NextSerial(Fields.SerSent);
  return true;
}

void TContactLog::Upload(const TContact& contact, const TEqslAccount& account) {
  if (!links_.Upload) return;
  busy_ = true;
  struct TIdle {
    bool& busy;
    ~TIdle() { busy = false; }
  } idle{busy_};
  std::optional<std::string> error = links_.Upload(EqslUploadText(account, contact));
  if (error) Notice(*error, kEqslErrorCaption, TNoticeIcon::Error);
}

void TContactLog::Hiding() {
  if (busy_ || !unsaved_) return;
  if (Ask("Save unsaved contact with " + Fields.Call + "?", kCaption, true)) Save();
}

void TContactLog::CheckWorkedBefore(const std::string& call) {
  const std::string band = BandOf(links_.CurrentFreq ? links_.CurrentFreq() : 0);
  const std::string key = ContactCall(call);
  if (std::optional<std::string> when = worked_.Find(key, band))
    Notice(TWorkedBefore::Message(key, band, *when), "Worked before", TNoticeIcon::Information);
}
