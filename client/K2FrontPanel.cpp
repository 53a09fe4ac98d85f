#include "client/K2FrontPanel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "client/ConnectDlg.h"
#include "client/FreqCtrl.h"
#include "client/MacroDlg.h"
#include "client/PropsDlg.h"
#include "client/QSOPanel.h"
#include "client/RxWin.h"
#include "client/SSBPanel.h"
#include "common/ChatWin.h"
#include "platform/Application.h"
#include "platform/MessagePump.h"

namespace {

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

const char kDisplayStyle[] =
    "background: lime; color: rgb(0,74,0); font: bold 22px monospace; padding: 4px;";

}  // namespace

TK2FrontPanel::TK2FrontPanel(const std::string& iniFile, const std::string& traceFile,
                             QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), session_(iniFile, traceFile) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setFixedSize(600, 220);
  setStyleSheet(QStringLiteral("TK2FrontPanel { background: rgb(40,40,40); }"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(40, 40, 40));
  setPalette(pal);

  displayPanel_ = new QLabel(QStringLiteral("ELECRAFT"), this);
  displayPanel_->setGeometry(210, 28, 188, 44);
  displayPanel_->setAlignment(Qt::AlignCenter);
  displayPanel_->setStyleSheet(QString::fromLatin1(kDisplayStyle));
  displayPanel_->hide();
  controls_ = new QWidget(this);  // the buttons, dial and knobs go here
  controls_->setGeometry(0, 80, 500, 130);
  controls_->setEnabled(false);
  stnCall_ = new QLabel(this);
  stnCall_->setGeometry(20, 20, 180, 20);
  stnCall_->setStyleSheet(QStringLiteral("color: white;"));
  stnCall_->setToolTip(QStringLiteral("Double-click call to open chat window"));
  stnCall_->installEventFilter(this);
  stnCall_->hide();
  powerBtn_ = new QPushButton(QStringLiteral("Power"), this);
  powerBtn_->setGeometry(507, 160, 60, 24);
  powerBtn_->setToolTip(QStringLiteral("Power"));
  SetPowerLed(false);

  powerPopup_ = new QMenu(this);
  powerItem_ = powerPopup_->addAction(QStringLiteral("Power On"));
  rxOnlyItem_ = powerPopup_->addAction(QStringLiteral("RX Only"));
  rxOnlyItem_->setCheckable(true);
  QAction* closeItem = powerPopup_->addAction(QStringLiteral("Close"));
  powerBtn_->setContextMenuPolicy(Qt::CustomContextMenu);
  setContextMenuPolicy(Qt::CustomContextMenu);
  auto popup = [this](const QPoint&) { powerPopup_->popup(QCursor::pos()); };
  connect(powerBtn_, &QWidget::customContextMenuRequested, this, popup);
  connect(this, &QWidget::customContextMenuRequested, this, popup);
  connect(powerBtn_, &QPushButton::clicked, this, [this] { PowerBtnClick(); });
  connect(powerItem_, &QAction::triggered, this, [this] { PowerBtnClick(); });
  connect(rxOnlyItem_, &QAction::triggered, this,
          [this](bool checked) { session_.SetRxOnly(checked); });
  connect(closeItem, &QAction::triggered, this, [this] { close(); });

  annTimer_ = new QTimer(this);
  annTimer_->setInterval(1000);
  connect(annTimer_, &QTimer::timeout, this, [this] { AnnTimerTimer(); });
  timer_ = new QTimer(this);  // the dial's repeat
  timer_->setInterval(250);

  // Window creation.
  move(session_.Settings().MainLeft(), session_.Settings().MainTop());
  rxOnlyItem_->setChecked(session_.RxOnly());

  mic_ = std::make_unique<TSSBPanel>();
  connectDlg_ = std::make_unique<TConnectDlg>(session_.Settings(), this);
  propsDlg_ = std::make_unique<TPropsDlg>();
  qso_ = std::make_unique<TQSOPanel>(session_);
  macroDlg_ = std::make_unique<TMacroDlg>();
  qso_->SetMacroDlg(macroDlg_.get());
  freq_ = std::make_unique<TFreqCtrl>();
  chat_ = std::make_unique<TChatWin>();
  rx_ = std::make_unique<TRxWin>();
  chat_->SetIniFile(session_.ClientIniFile());
  chat_->SetCall(session_.OwnCall());
  chat_->OnSend = [this](TChatWin*, const std::string& line) { session_.SendCommand(line); };
  session_.SetViews({this, this, this, rx_.get(), this});
}

TK2FrontPanel::~TK2FrontPanel() {
  session_.SetViews({});
  chat_->OnSend = nullptr;
}

void TK2FrontPanel::SetPowerLed(bool on) {
  powerBtn_->setStyleSheet(on ? QStringLiteral("background: rgb(0,200,0);")
                              : QStringLiteral("background: rgb(0,60,0); color: white;"));
}

void TK2FrontPanel::PowerBtnClick() {
  powerBtn_->setEnabled(false);
  platform::ProcessMessages();
  if (session_.Connected()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
      session_.Disconnect();
    } catch (const std::exception&) {
    }
    QApplication::restoreOverrideCursor();
    std::string question = session_.PendingMessage();
    if (!question.empty()) question += "\r\r";
    question += std::string("Close ") + TClientSession::kTitle + "?";
    session_.SetPendingMessage("");
    if (platform::AskYesNo(question, TClientSession::kTitle)) close();
  } else {
    connectDlg_->Reload();
    if (connectDlg_->exec() == QDialog::Accepted) {
      session_.SetOwnCall(connectDlg_->OwnCall());
      chat_->SetCall(session_.OwnCall());
      QApplication::setOverrideCursor(Qt::WaitCursor);
      try {
        session_.ConnectTo(connectDlg_->ChosenStation());
      } catch (const std::exception&) {
      }
      QApplication::restoreOverrideCursor();
    }
  }
  powerBtn_->setEnabled(true);
}

void TK2FrontPanel::AnnTimerTimer() {
  session_.OneSecondTick();
}

void TK2FrontPanel::StnCallDblClick() {
  chat_->ChatText()->clear();
  chat_->SendText()->clear();
  chat_->show();
}

void TK2FrontPanel::AddText(const std::string& text) {
  chat_->show();
  chat_->AddText(text);
}

void TK2FrontPanel::PanelChanged(TPanelChange change) {
  switch (change) {
    case TPanelChange::PowerOn:
      powerItem_->setText(QStringLiteral("Power Off"));
      displayPanel_->setText(QStringLiteral("ELECRAFT"));
      displayPanel_->show();
      SetPowerLed(true);
      controls_->setEnabled(true);
      break;
    case TPanelChange::ShowToolWindows:
      if (session_.Settings().FreqWindowVisible()) freq_->show();
      if (!session_.RxOnly()) qso_->show();
      rxOnlyItem_->setEnabled(false);
      break;
    case TPanelChange::StartTimer:
      annTimer_->start();
      break;
    case TPanelChange::StopTimers:
      timer_->stop();
      annTimer_->stop();
      break;
    case TPanelChange::AccessKnown:  // the keyer and power knobs come with the panel's controls
      break;
    case TPanelChange::StationShown:
      stnCall_->setText(Latin1(session_.StationName()));
      stnCall_->show();
      break;
    case TPanelChange::HideTxWindows:
      qso_->hide();
      if (session_.ModeGroup() == 2) mic_->hide();
      break;
    case TPanelChange::RxOnlyLocked:
      rxOnlyItem_->setChecked(session_.RxOnly());
      rxOnlyItem_->setEnabled(false);
      break;
    case TPanelChange::StopAudio:  // the audio path comes with its own component
      break;
    case TPanelChange::PowerOff:
      if (!session_.RxOnly()) {
        qso_->hide();
        mic_->hide();
      }
      rx_->hide();
      session_.Settings().SetFreqWindowVisible(freq_->isVisible());
      freq_->hide();
      controls_->setEnabled(false);
      annTimer_->stop();
      SetPowerLed(false);
      displayPanel_->hide();
      chat_->ChatText()->clear();
      chat_->hide();
      rxOnlyItem_->setEnabled(true);
      stnCall_->hide();
      stnCall_->clear();
      powerItem_->setText(QStringLiteral("Power On"));
      break;
  }
}

void TK2FrontPanel::ShowStatus(TServerWord word, const std::string& value) {
  if (word == TServerWord::Display) ShowDisplayReport(value);
}

void TK2FrontPanel::ShowDisplayReport(const std::string& value) {
  // Eight display characters (bit 7 carries a decimal point), then the annunciator bytes.
  if (value.size() != 10) return;
  if (value[0] < 'A' || value[0] > 'Z') session_.SetDisplayLive(true);
  if (!session_.DisplayLive()) return;
  std::string text;
  for (int i = 0; i < 8; ++i) {
    unsigned char c = static_cast<unsigned char>(value[static_cast<std::size_t>(i)]);
    text += static_cast<char>(c & 0x7F);
    if (c & 0x80) text += '.';
  }
  displayPanel_->setText(Latin1(text));
}

void TK2FrontPanel::ShowNotice(const std::string& text, const std::string& caption) {
  platform::MessageBox(text, caption);
}

void TK2FrontPanel::closeEvent(QCloseEvent* event) {
  if (closing_) {
    event->accept();
    return;
  }
  closing_ = true;
  if (session_.Connected()) session_.Disconnect();
  session_.Settings().SetMainPosition(x(), y());
  session_.Settings().SetRxOnly(session_.RxOnly());
  event->accept();
  QCoreApplication::quit();
}

void TK2FrontPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragFrom_ = event->globalPosition().toPoint() - pos();
  QWidget::mousePressEvent(event);
}

void TK2FrontPanel::mouseMoveEvent(QMouseEvent* event) {
  if (event->buttons() & Qt::LeftButton) move(event->globalPosition().toPoint() - dragFrom_);
  QWidget::mouseMoveEvent(event);
}

bool TK2FrontPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == stnCall_ && event->type() == QEvent::MouseButtonDblClick) {
    StnCallDblClick();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
