#pragma once

#include <QDialog>
#include <string>

#include "client/ClientSettings.h"

class QLineEdit;
class QListWidget;

// The station list: the stored stations ([Connections]) to pick one from, and the operator's own
// call ([Settings] Call, written when the dialog is confirmed). Editing stations is the station
// settings dialog's job.
class TConnectDlg : public QDialog {
 public:
  explicit TConnectDlg(const TClientSettings& settings, QWidget* parent = nullptr);

  // Fills the list and the call from the INI file; call before each showing.
  void Reload();
  // The chosen station's name; empty when none is chosen.
  std::string ChosenStation() const;
  std::string OwnCall() const;

  QListWidget* lbStations() const { return stations_; }
  QLineEdit* edCall() const { return call_; }

  void accept() override;

 private:
  const TClientSettings& settings_;
  QListWidget* stations_;
  QLineEdit* call_;
};
