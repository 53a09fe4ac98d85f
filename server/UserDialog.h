#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "server/SettingsModel.h"

class QLineEdit;
class QRadioButton;

// The user dialog, "User Settings": a user's callsign, password (shown as "*") and privileges
// ("Receive only", "Receive and transmit", "Full access": the access level 0, 1 or 2).
//
// OK hands the entry to OnCheck, which stores it or says why not; a refusal is shown in a message
// box and the dialog stays open, so nothing typed is lost. Without OnCheck, OK only checks the
// callsign and password rules.
class TUsrDlg : public QDialog {
 public:
  using TCheck = std::function<std::string(const TSettingsModel::TUser& user)>;

  explicit TUsrDlg(QWidget* owner);

  TSettingsModel::TUser User() const;
  void SetUser(const TSettingsModel::TUser& user);

  TCheck OnCheck;

  QLineEdit* edCall;
  QLineEdit* edPassword;
  QRadioButton* rgPrivs[3];

  void accept() override;
};

// A line of 8-bit text from an edit: characters beyond Latin-1 become DEL (127), which no
// callsign or password may hold, rather than a "?" that would pass unnoticed.
std::string EditText(const QString& text);
