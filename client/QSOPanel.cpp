#include "client/QSOPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "client/ClientSession.h"
#include "common/ScopeExit.h"
#include "common/Utils.h"
#include "platform/Application.h"
#include "platform/Latin1.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"
#include "text/Text.h"

namespace {

std::string Text(const QLineEdit* edit) {
  return ToLatin1(edit->text());
}

QLineEdit* Field(QWidget* parent, const char* hint) {
  auto* edit = new QLineEdit(parent);
  edit->setToolTip(QString::fromLatin1(hint));
  edit->setPlaceholderText(QString::fromLatin1(hint));
  return edit;
}

}  // namespace

TQSOPanel::TQSOPanel(TClientSession& session, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      session_(session),
      log_(platform::ProgramFolder() + "qso.log", Links()),
      keyboard_({[this](const std::string& line) { session_.SendRaw(line); },
                 [this](const std::string& text) { session_.Trace(text); },
                 [] { platform::ProcessMessages(); }}) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font

  DetailsGroup = new QGroupBox(QStringLiteral(" QSO Details "), this);
  edCall = Field(DetailsGroup, "Callsign");
  edName = Field(DetailsGroup, "Name");
  edRSTS = Field(DetailsGroup, "Report sent");
  edSerS = Field(DetailsGroup, "Serial number (optional)");
  edRSTR = Field(DetailsGroup, "Report received");
  edSerR = Field(DetailsGroup, "Serial number received");
  edQTH = Field(DetailsGroup, "QTH");
  edGrid = Field(DetailsGroup, "QTH");
  edGrid->setPlaceholderText(QStringLiteral("Grid"));
  edComment = Field(DetailsGroup, "Other information");
  lbTimeNow = new QLabel(DetailsGroup);
  Lookup = new QLabel(QStringLiteral("<a href=\"#\">?</a>"), DetailsGroup);
  Lookup->setToolTip(QStringLiteral("Look the call up"));
  NewBtn = new QPushButton(QStringLiteral("New"), DetailsGroup);
  NewBtn->setToolTip(QStringLiteral("Clear QSO details"));
  LogBtn = new QPushButton(QStringLiteral("Save"), DetailsGroup);
  LogBtn->setToolTip(QStringLiteral("Save QSO details to log and clear"));
  LogStartBtn = new QPushButton(QStringLiteral("Log start"), DetailsGroup);
  LogEndBtn = new QPushButton(QStringLiteral("Log end"), DetailsGroup);

  auto* grid = new QGridLayout(DetailsGroup);
  grid->addWidget(edCall, 0, 0);
  grid->addWidget(Lookup, 0, 1);
  grid->addWidget(edName, 0, 2);
  grid->addWidget(lbTimeNow, 0, 3);
  grid->addWidget(edRSTS, 1, 0);
  grid->addWidget(edSerS, 1, 2);
  grid->addWidget(LogStartBtn, 1, 3);
  grid->addWidget(edRSTR, 2, 0);
  grid->addWidget(edSerR, 2, 2);
  grid->addWidget(LogEndBtn, 2, 3);
  grid->addWidget(edQTH, 3, 0);
  grid->addWidget(edGrid, 3, 2);
  grid->addWidget(NewBtn, 3, 3);
  grid->addWidget(edComment, 4, 0, 1, 3);
  grid->addWidget(LogBtn, 4, 3);

  MacroGroup = new QGroupBox(QStringLiteral(" Text macros "), this);
  SendGroup = new QGroupBox(QStringLiteral(" Send Text "), this);
  cbUpperCase = new QCheckBox(QStringLiteral("Uppercase"), SendGroup);
  CreateKeyboard();
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(DetailsGroup);
  layout->addWidget(MacroGroup);
  layout->addWidget(SendGroup);

  QSOTimer = new QTimer(this);
  QSOTimer->setInterval(1000);
  connect(QSOTimer, &QTimer::timeout, this, [this] { QSOTimerTimer(); });
  connect(edCall, &QLineEdit::textChanged, this, [this] { Run([this] { edCallChange(); }); });
  connect(NewBtn, &QPushButton::clicked, this, [this] { Run([this] { NewBtnClick(); }); });
  connect(LogBtn, &QPushButton::clicked, this, [this] { Run([this] { LogBtnClick(); }); });
  connect(LogStartBtn, &QPushButton::clicked, this,
          [this] { Run([this] { LogStartBtnClick(); }); });
  connect(LogEndBtn, &QPushButton::clicked, this, [this] { Run([this] { LogEndBtnClick(); }); });
  connect(Lookup, &QLabel::linkActivated, this, [this] { Run([this] { LookupClick(); }); });
  edCall->installEventFilter(this);
  edGrid->installEventFilter(this);

  // Creation: position, keyboard setting, worked-before list.
  const TClientSettings& settings = session_.Settings();
  move(settings.QsoLeft(), settings.QsoTop());
  cbUpperCase->setChecked(settings.QsoUpperCase());
  log_.WorkedBefore().Load();
  QSOTimer->start();
  QSOTimerTimer();
  PushFields();
}

TQSOPanel::~TQSOPanel() {
  session_.Settings().SetQsoWindow(x(), y(), cbUpperCase->isChecked());
}

TContactLinks TQSOPanel::Links() {
  TContactLinks links;
  links.CurrentFreq = [this] { return session_.CurrentFreq(); };
  links.ModeGroup = [this] { return session_.ModeGroup(); };
  links.OwnCall = [this] { return session_.OwnCall(); };
  links.Eqsl = [this] {
    return TEqslAccount{session_.EqslEnabled(), session_.StationName(), session_.EqslPassword()};
  };
  links.SendCommand = [this](const std::string& line) {
    if (session_.Connected()) session_.SendCommand(line);
  };
  links.Ask = [this](const std::string& text, const std::string& caption) {
    ++questions_;
    // However the question ends: what waited for the questions (the connection's steps, the
    // panel's close) follows from the event loop, after the caller has taken the answer.
    const TScopeExit closed([this] {
      if (--questions_ == 0 && !running_ && (!steps_.empty() || !afterQuestions_.empty()))
        PostContactSteps();
    });
    return platform::AskYesNo(text, caption, this);
  };
  links.Notice = [](const std::string& text, const std::string& caption, TNoticeIcon icon) {
    platform::MessageBox(
        text, caption,
        icon == TNoticeIcon::Error ? platform::BoxIcon::Error : platform::BoxIcon::Information);
  };
  links.Upload = [this](const std::string& text) { return UploadEQSL(text); };
  return links;
}

template <class Action>
void TQSOPanel::Run(Action action) {
  try {
    action();
  } catch (const std::exception& e) {
    platform::MessageBox(e.what(), TClientSession::kTitle, platform::BoxIcon::Error);
  }
}

void TQSOPanel::PullFields() {
  log_.Fields = {Text(edCall), Text(edName), Text(edRSTS), Text(edSerS),   Text(edRSTR),
                 Text(edSerR), Text(edQTH),  Text(edGrid), Text(edComment)};
}

void TQSOPanel::ShowFields(const TContactFields& f) {
  const std::pair<QLineEdit*, const std::string*> rows[] = {
      {edCall, &f.Call},    {edName, &f.Name},    {edRSTS, &f.RstSent},
      {edSerS, &f.SerSent}, {edRSTR, &f.RstRcvd}, {edSerR, &f.SerRcvd},
      {edQTH, &f.Qth},      {edGrid, &f.Grid},    {edComment, &f.Comment}};
  for (const auto& [edit, text] : rows)
    if (Text(edit) != *text) edit->setText(Latin1(*text));
}

// The receive window's copies arrive as if typed: a copied call is checked like a typed one.
bool TQSOPanel::EditContactFields(const std::function<void(TContactFields&)>& edit) {
  if (!isVisible()) return false;
  if (!edit) return true;
  PullFields();
  TContactFields fields = log_.Fields;
  edit(fields);
  ShowFields(fields);
  return true;
}

void TQSOPanel::ShowModeGroups(bool morse) {
  MacroGroup->setVisible(morse);
  SendGroup->setVisible(morse);
  const int w = width();
  adjustSize();  // the groups at their natural heights, none stretched
  layout()->activate();
  const QGroupBox* last = morse ? SendGroup : DetailsGroup;
  resize(w, last->y() + last->sizeHint().height() + 16);
}

void TQSOPanel::PushFields() {
  pushing_ = true;
  ShowFields(log_.Fields);
  pushing_ = false;
  const bool enabled = log_.LogButtonsEnabled();
  LogBtn->setEnabled(enabled);
  LogStartBtn->setEnabled(enabled);
  LogEndBtn->setEnabled(enabled);
}

void TQSOPanel::QSOTimerTimer() {
  lbTimeNow->setText(Latin1(FormatDateTime("tt", Now() + UtcOffset())));
}

void TQSOPanel::edCallChange() {
  if (pushing_) return;
  PullFields();
  log_.CallChanged();
  PushFields();
}

void TQSOPanel::CheckWorkedBefore(const std::string& call) {
  log_.CheckWorkedBefore(call);
}

void TQSOPanel::NewBtnClick() {
  PullFields();
  log_.NewContact();
  PushFields();
}

void TQSOPanel::LogStartBtnClick() {
  PullFields();
  log_.LogStart();
  PushFields();
}

void TQSOPanel::LogEndBtnClick() {
  PullFields();
  log_.LogEnd();
  PushFields();
}

void TQSOPanel::LogBtnClick() {
  if (log_.Busy()) return;
  PullFields();
  log_.Save();
  PushFields();
}

std::optional<std::string> TQSOPanel::UploadEQSL(const std::string& text) {
  // The details stay as they are until the request has ended; events keep running meanwhile.
  DetailsGroup->setEnabled(false);
  const TScopeExit enable([this] { DetailsGroup->setEnabled(true); });
  return eqsl_.Upload(session_.Settings().EqslServer(), text);
}

void TQSOPanel::LookupClick() {
  ShellRun("open", std::string(kCallBook) + "/call?entry=" + UpperAscii(Text(edCall)), "", false,
           "");
}

void TQSOPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored from minimised: the contact goes on
  Run([this] { KeyboardShown(); });
  ContactStep(TContactStep::Shown);
}

void TQSOPanel::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;  // minimised with the desktop, not hidden by the client
  ContactStep(TContactStep::Hidden);
}

void TQSOPanel::SetVisibleAskLater(bool visible) {
  askLater_ = true;
  setVisible(visible);
  askLater_ = false;
}

void TQSOPanel::ContactStep(TContactStep step) {
  steps_.push_back(step);
  if (askLater_ || running_ || stepsPosted_) return PostContactSteps();
  RunContactSteps();
}

void TQSOPanel::PostContactSteps() {
  if (stepsPosted_) return;
  stepsPosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        stepsPosted_ = false;
        RunContactSteps();
      },
      Qt::QueuedConnection);
}

void TQSOPanel::RunContactSteps() {
  // The steps under way take these after their question; an open question, when it closes.
  if (running_ || questions_ > 0) return;
  running_ = true;
  while (!steps_.empty()) {
    const TContactStep step = steps_.front();
    steps_.pop_front();
    Run([this, step] {
      PullFields();
      if (step == TContactStep::Shown)
        log_.NewContact();
      else
        log_.Hiding();
      PushFields();
    });
  }
  running_ = false;
  for (std::function<void()>& then : std::exchange(afterQuestions_, {})) then();
}

void TQSOPanel::AfterQuestions(std::function<void()> then) {
  if (!Asking()) return then();
  afterQuestions_.push_back(std::move(then));
}

void TQSOPanel::KeepContact() {
  log_.KeepContact();
  if (questions_ > 0) platform::AnswerOpenQuestion(log_.KeepingAnswer());
}

bool TQSOPanel::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || (watched != edCall && watched != edGrid))
    return QWidget::eventFilter(watched, event);
  // edCallKeyPress and edGridKeyPress: typed letters in upper case (in the grid square only
  // its first two, the field letters).
  auto* key = static_cast<QKeyEvent*>(event);
  const QString typed = key->text();
  if (typed.size() != 1 || typed[0] < QLatin1Char('a') || typed[0] > QLatin1Char('z')) return false;
  auto* edit = static_cast<QLineEdit*>(watched);
  if (edit == edGrid && edGrid->text().size() >= 2) return false;
  edit->insert(typed.toUpper());
  return true;
}
