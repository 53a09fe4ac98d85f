#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "client/ClientSettings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

// The settings of one station: call or name, comment, address, port, password, and the eQSL
// settings (written at once by their own dialog). The connect dialog fills the fields, shows it
// and stores the station after OK; OK refuses texts that the INI file could not keep.
class TPropsDlg : public QDialog {
 public:
  static constexpr const char* kDefaultPort = "6110";

  explicit TPropsDlg(const TClientSettings& settings, QWidget* parent = nullptr);

  // Fills the fields; the eQSL box is set without writing anything.
  void SetStation(const TClientSettings::TStation& station);
  // The fields as a station (without the eQSL settings).
  TClientSettings::TStation Station() const;

  void edChange();
  void DefPortBtnClick();
  // The operator clicked the eQSL box.
  void cbEQSLClick(bool checked);
  void accept() override;

  // The eQSL settings of a station were written: name, enabled, password.
  std::function<void(const std::string&, bool, const std::string&)> OnEqslChanged;

  QLineEdit* edCall() const { return call_; }
  QLineEdit* edComment() const { return comment_; }
  QLineEdit* edAddr() const { return addr_; }
  QLineEdit* edPort() const { return port_; }
  QLineEdit* edPasswd() const { return passwd_; }
  QPushButton* OKBtn() const { return ok_; }
  QPushButton* CancelBtn() const { return cancel_; }
  QPushButton* DefPortBtn() const { return defPort_; }
  QCheckBox* cbEQSL() const { return eqsl_; }

 private:
  const TClientSettings& settings_;
  QLineEdit* call_;
  QLineEdit* comment_;
  QLineEdit* addr_;
  QLineEdit* port_;
  QLineEdit* passwd_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QPushButton* defPort_;
  QCheckBox* eqsl_;
};
