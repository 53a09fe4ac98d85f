#pragma once

#include <QDialog>
#include <string>

#include "client/ClientSettings.h"
#include "client/StationList.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class TPropsDlg;

// The station list: the operator's own call ([Settings] Call, written whenever the dialog closes
// with a changed call) and the stored stations to pick one from, read once and kept for the run.
// New and Edit open the station dialog and write the station and the whole list after its OK;
// Delete only takes the station off the list, which is written at the next New or Edit.
class TConnectDlg : public QDialog {
 public:
  // props: the station dialog for New and Edit; without one they do nothing.
  explicit TConnectDlg(const TClientSettings& settings, QWidget* parent = nullptr,
                       TPropsDlg* props = nullptr);

  void SetPropsDlg(TPropsDlg* props) { props_ = props; }
  // Fills the call from the INI file and shows the list kept for the run; call before each
  // showing.
  void Reload();
  // Reads the list from the INI file, once.
  void FormCreate();
  // The chosen station's name; empty when none is chosen.
  std::string ChosenStation() const { return chosen_; }
  // The own call as last stored.
  std::string OwnCall() const { return ownCall_; }

  void BtnContext();
  void ShowProps(bool editing);
  void DeleteBtnClick();
  void ConnectBtnClick();
  // Every way of closing ends here: a changed own call is stored.
  void done(int result) override;

  QLineEdit* edCall() const { return call_; }
  QListWidget* lbConnections() const { return list_; }
  QPushButton* ConnectBtn() const { return connect_; }
  QPushButton* CancelBtn() const { return cancel_; }
  QPushButton* NewBtn() const { return new_; }
  QPushButton* EditBtn() const { return edit_; }
  QPushButton* DeleteBtn() const { return delete_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Stores a changed own call; false (with a message) when it cannot be stored.
  bool StoreOwnCall();
  void ShowList();
  int Selected() const;

  const TClientSettings& settings_;
  TStationList stations_;
  TPropsDlg* props_;
  std::string ownCall_;
  std::string chosen_;
  QLineEdit* call_;
  QListWidget* list_;
  QPushButton* connect_;
  QPushButton* cancel_;
  QPushButton* new_;
  QPushButton* edit_;
  QPushButton* delete_;
};
