#pragma once

#include <QWidget>
#include <array>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "client/MacroFile.h"
#include "client/MorseKeyboard.h"
#include "client/RxCopy.h"
#include "logbook/ContactLog.h"
#include "logbook/Eqsl.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class TClientSession;
class TMacroDlg;
class TTAMemo;

// The contact window: the details of the contact in progress, its times in UTC and the buttons
// that log it. The logic lives in TContactLog; the handlers copy the fields into it, call it and
// show the result. It reads the session's frequency, mode group, own call and eQSL account, and
// sends "LOG" through the session. Its Morse keyboard and text macros (QSOKeyboard.cpp) send
// "CW" lines straight to the connection.
class TQSOPanel : public QWidget, public IContactFields {
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

  bool EditContactFields(const std::function<void(TContactFields&)>& edit) override;
  // The radio's mode group changed: Morse shows the macro and keyboard groups, voice and data
  // hide them; the window's height ends 16 pixels below the last group shown.
  void ShowModeGroups(bool morse);

  // Shows or hides the window for the connection. What showing or hiding asks about the contact
  // (abandon it, save it) comes afterwards, from the event loop, and after any question about
  // the contact that is open: a step of the connection never waits for an answer, and no
  // question opens over another. Later showings and hidings keep their order behind it.
  void SetVisibleAskLater(bool visible);
  // A question about the contact is open (New's, Save's eQSL question, showing's or hiding's),
  // or still to come.
  bool Asking() const { return running_ || questions_ > 0 || !steps_.empty(); }
  // A question box about the contact is open now.
  bool QuestionOpen() const { return questions_ > 0; }
  // Runs then at once when no question about the contact is open or to come, else after them.
  void AfterQuestions(std::function<void()> then);
  // The program is closing: the open question about the contact, and every later one, is
  // answered so that the contact is kept (saved, not abandoned).
  void KeepContact();

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

  // The Morse keyboard and the text macros.
  TMorseKeyboard& Keyboard() { return keyboard_; }
  TMacroSet& Macros() { return macros_; }
  // The macro editor the front panel created; without one, the window makes its own.
  void SetMacroDlg(TMacroDlg* dlg) { macroDlg_ = dlg; }
  void TypeAheadKeyPress(char& key);
  void TypeAheadKeyUp(unsigned virtualKey);
  void SendBtnClick();
  void ClearBtnClick();
  void SendMacro(const std::string& text);
  void MacroClick(QPushButton* sender);
  void MacroMouseUp(QPushButton* sender, Qt::MouseButton button);
  void PasteText();
  bool LoadMacros(const std::string& fileName);
  bool SaveMacros(const std::string& fileName);
  void LoadBtnClick();
  void SaveBtnClick();
  // The button of macro 1 to 16 ("Macro01" to "Macro16"); its Tag property is the number.
  QPushButton* MacroButton(int number) const;

  QWidget* TypeAheadPanel = nullptr;
  TTAMemo* TypeAhead = nullptr;
  QPushButton* SendBtn = nullptr;
  QPushButton* ClearBtn = nullptr;
  QPushButton* LoadBtn = nullptr;
  QPushButton* SaveBtn = nullptr;
  QLabel* pnShowMacro = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow
  void hideEvent(QHideEvent* event) override;  // FormHide
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class TContactStep { Shown, Hidden };
  TContactLinks Links();
  // The contact's part of showing (New) and hiding (the offer to save it): now, or queued.
  void ContactStep(TContactStep step);
  void PostContactSteps();
  void RunContactSteps();
  std::optional<std::string> UploadEQSL(const std::string& text);
  void PullFields();
  void PushFields();
  void ShowFields(const TContactFields& fields);
  // Runs a handler's action; an exception is shown instead of leaving the event handler.
  template <class Action>
  void Run(Action action);
  void CreateKeyboard();
  void KeyboardShown();
  void ShowKeyboard();
  void ShowMacro(int number);
  void ShowMacroFile(const std::string& path);
  TMacroLinks MacroLinks();

  TClientSession& session_;
  TEqslUpload eqsl_;
  TContactLog log_;
  bool pushing_ = false;
  TMorseKeyboard keyboard_;
  TMacroSet macros_;
  std::array<QPushButton*, TMacroSet::kCount> macroButtons_{};
  TMacroDlg* macroDlg_ = nullptr;
  std::string openPath_;  // offered by the next open and save dialogs
  std::string savePath_;
  std::deque<TContactStep> steps_;
  std::vector<std::function<void()>> afterQuestions_;
  bool askLater_ = false;  // the window is shown or hidden for the connection
  bool stepsPosted_ = false;
  bool running_ = false;  // the steps run; their question may be open
  int questions_ = 0;     // question boxes about the contact open now, one inside another
};
