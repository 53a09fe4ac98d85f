#pragma once

#include <QWidget>
#include <string>

#include "logbook/ContactLog.h"
#include "logbook/Eqsl.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TClientSession;

// The contact window: the details of the contact in progress, its times in UTC and the buttons
// that log it. The logic lives in TContactLog; the handlers copy the fields into it, call it and
// show the result. It reads the session's frequency, mode group, own call and eQSL account, and
// sends "LOG" through the session.
class TQSOPanel : public QWidget {
 public:
  static constexpr const char* kCaption = "Contact Window";
  // The call-book service whose page "/call?entry=<call>" LookupClick opens.
  static constexpr const char* kCallBook = "https://www.qrzcq.com";

  explicit TQSOPanel(TClientSession& session, QWidget* parent = nullptr);
  ~TQSOPanel() override;

  TContactLog& Log() { return log_; }
  TEqslUpload& Eqsl() { return eqsl_; }

  // Handlers, named after their components.
  void QSOTimerTimer();
  void edCallChange();
  void NewBtnClick();
  void LogStartBtnClick();
  void LogEndBtnClick();
  void LogBtnClick();
  void LookupClick();
  void CheckWorkedBefore(const std::string& call);

  QLineEdit* edCall = nullptr;
  QLineEdit* edName = nullptr;
  QLineEdit* edRSTS = nullptr;
  QLineEdit* edSerS = nullptr;
  QLineEdit* edRSTR = nullptr;
  QLineEdit* edSerR = nullptr;
  QLineEdit* edQTH = nullptr;
  QLineEdit* edGrid = nullptr;
  QLineEdit* edComment = nullptr;
  QLabel* lbTimeNow = nullptr;
  QLabel* Lookup = nullptr;
  QPushButton* NewBtn = nullptr;
  QPushButton* LogBtn = nullptr;
  QPushButton* LogStartBtn = nullptr;
  QPushButton* LogEndBtn = nullptr;
  QTimer* QSOTimer = nullptr;
  QGroupBox* DetailsGroup = nullptr;
  QGroupBox* MacroGroup = nullptr;  // the text macros
  QGroupBox* SendGroup = nullptr;   // the Morse keyboard
  QCheckBox* cbUpperCase = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void hideEvent(QHideEvent* event) override;  // FormHide
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TContactLinks Links();
  std::optional<std::string> UploadEQSL(const std::string& text);
  void PullFields();
  void PushFields();
  // Runs a handler's action; an exception is shown instead of leaving the event handler.
  template <class Action>
  void Run(Action action);

  TClientSession& session_;
  TEqslUpload eqsl_;
  TContactLog log_;
  bool pushing_ = false;
};
