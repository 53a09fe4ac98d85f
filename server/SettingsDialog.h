#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "server/SettingsModel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QTabWidget;

// The server's settings dialog, "Talvo Server Settings": the station call, users, guests, address
// masks and the busy setting; the message texts; the listening port and the radio's serial port;
// the sound card and the receive squelch; the event log; the Morse decoder (a page shown only
// when the decoder's library is there). The widgets only show and collect: what the values mean,
// how they are checked and how they are stored is TSettingsModel's.
//
// OK writes every setting at once, in one replace of the INI file; a refused value or a failed
// write is shown and the dialog stays open, with nothing written. Cancel writes nothing. The
// squelch slider alone acts at once: every move goes to OnSquelchChange, and stays in force after
// Cancel (unwritten).
class TSettings : public QDialog {
 public:
  // Fills the serial port list (deviceRoot is put in front of /sys and /dev, for tests) and the
  // sound card list; shows the decoder page only when cwDecoderAvailable.
  TSettings(QWidget* owner, const std::string& iniPath, bool cwDecoderAvailable,
            const std::string& deviceRoot = "");
  ~TSettings() override;

  // Fills the controls from the file, from the running values and from the event log (whether
  // the decoder is available was given at creation).
  void Fill(const TRunningSettings& current, const std::vector<std::string>& eventLog);

  TSettingsModel& Model() { return model_; }

  // The squelch level (0 to 100) each time the slider moves.
  std::function<void(std::int32_t level)> OnSquelchChange;

  // --- Handlers
  // ------------------------------------------------------------------------------------
  void lbUsersClick();
  void lbAddrsClick();
  // "Add" (edit false) and "Edit" (edit true) of the users.
  void AddBtn1Click(bool edit);
  void DelBtn1Click();
  void AddBtn2Click();
  void DelBtn2Click();
  void tbSqlChange();
  void btnBrw1Click();
  void accept() override;

  // --- Controls
  // ------------------------------------------------------------------------------------
  QTabWidget* pages;
  QLineEdit* edCall;
  QListWidget* lbUsers;
  QPushButton* AddBtn1;
  QPushButton* EditBtn;
  QPushButton* DelBtn1;
  QCheckBox* cbGuests;
  QListWidget* lbAddrs;
  QPushButton* AddBtn2;
  QPushButton* DelBtn2;
  QCheckBox* cbBusy;
  QPlainTextEdit* edWelcome;
  QLineEdit* edBusy;
  QLineEdit* edLogOut;
  QLineEdit* edTerminate;
  QLineEdit* edShutDown;
  QLabel* Label9;
  QLineEdit* edServerPort;
  QComboBox* cbComPort;
  QComboBox* cbSoundCard;
  QSlider* tbSql;
  QListWidget* lbLog;
  QCheckBox* cbEnableCWDecoder = nullptr;
  QLineEdit* edCWGetPath = nullptr;
  QPushButton* btnBrw1 = nullptr;

 private:
  QWidget* AccessPage();
  QWidget* MessagesPage();
  QWidget* ConnectionsPage();
  QWidget* AudioPage();
  QWidget* LogPage();
  QWidget* DecoderPage();
  void ShowUsers(const std::string& select);
  void ShowMasks();
  void TakeControls();

  TSettingsModel model_;
  std::vector<std::string> serialPorts_;
  std::vector<std::string> soundCards_;
  bool cwDecoderAvailable_ = false;
  bool userDialogOpen_ = false;
};
