#include "client/K2FrontPanel.h"

#include <QAction>
#include <QApplication>
#include <QBitmap>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QWindow>
#include <iterator>

#include "client/ConnectDlg.h"
#include "client/FreqCtrl.h"
#include "client/MacroDlg.h"
#include "client/PanelImage.h"
#include "client/PropsDlg.h"
#include "client/QSOPanel.h"
#include "client/RxWin.h"
#include "client/SSBPanel.h"
#include "common/AccessLevel.h"
#include "common/ChatWin.h"
#include "common/ModeGroup.h"
#include "controls/HotKeyManager.h"
#include "controls/KelmKnob.h"
#include "controls/LEDButton.h"
#include "controls/LEDDisplay.h"
#include "controls/LEDMeter.h"
#include "platform/Application.h"
#include "platform/Latin1.h"
#include "platform/MessagePump.h"
#include "platform/Tick.h"

namespace {

constexpr TColor kDisplayGreen = RGB(0, 74, 0);

// The hot keys: Ctrl with the keypad's minus and plus, and with R.
struct THotKeyRow {
  TPanelHotKey Key;
  std::uint16_t VirtualKey;
};
constexpr THotKeyRow kHotKeys[] = {
    {TPanelHotKey::StepDown, 0x6D}, {TPanelHotKey::StepUp, 0x6B}, {TPanelHotKey::Rate, 0x52}};

const char* const kModeItems[] = {"CW", "CW-R", "USB", "LSB", "RTTY", "RTTY-R"};

int FaceIndex(TSwitchFace face) {
  return static_cast<int>(face);
}

int MouseDirection(TMouseButton mouse) {
  return mouse == TMouseButton::mbLeft ? -1 : mouse == TMouseButton::mbRight ? 1 : 0;
}

}  // namespace

TK2FrontPanel::TK2FrontPanel(const std::string& iniFile, const std::string& traceFile,
                             QWidget* parent, bool hotKeys)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint),
      session_(iniFile, traceFile),
      hotKeys_(hotKeys) {
  setWindowTitle(QString::fromLatin1(kCaption));
  setFont(QApplication::font("QMessageBox"));
  CreatePicture();
  CreateDisplay();
  CreateControls();
  CreateMenus();

  annTimer_ = new QTimer(this);
  annTimer_->setInterval(1000);
  connect(annTimer_, &QTimer::timeout, this, [this] { AnnTimerTimer(); });
  timer_ = new QTimer(this);  // the dial's and the RIT knob's repeat
  timer_->setInterval(250);
  connect(timer_, &QTimer::timeout, this, [this] { TimerTimer(); });

  // Window creation.
  move(session_.Settings().MainLeft(), session_.Settings().MainTop());
  rxOnlyItem_->setChecked(session_.RxOnly());
  SetControlsEnabled(false);

  mic_ = std::make_unique<TSSBPanel>(audio_, session_.Settings());
  audio_.OnNotice = [](const std::string& text) {
    platform::MessageBox(text, TClientSession::kTitle, platform::BoxIcon::Warning);
  };
  connectDlg_ = std::make_unique<TConnectDlg>(session_.Settings(), this);
  propsDlg_ = std::make_unique<TPropsDlg>(session_.Settings(), this);
  propsDlg_->OnEqslChanged = [this](const std::string& name, bool on, const std::string& pw) {
    session_.StationEqslChanged(name, on, pw);
  };
  connectDlg_->SetPropsDlg(propsDlg_.get());
  qso_ = std::make_unique<TQSOPanel>(session_);
  macroDlg_ = std::make_unique<TMacroDlg>();
  qso_->SetMacroDlg(macroDlg_.get());
  freq_ = std::make_unique<TFreqCtrl>(session_);
  chat_ = std::make_unique<TChatWin>();
  rx_ = std::make_unique<TRxWin>(session_);
  rx_->SetContactFields(qso_.get());
  chat_->SetIniFile(session_.ClientIniFile());
  chat_->SetCall(session_.OwnCall());
  chat_->OnSend = [this](TChatWin*, const std::string& line) { session_.SendCommand(line); };
  session_.SetViews({this, this, this, rx_.get(), this});
}

TK2FrontPanel::~TK2FrontPanel() {
  session_.SetViews({});
  audio_.OnLevel = nullptr;
  audio_.OnTransmitChange = nullptr;
  audio_.OnNotice = nullptr;
  chat_->OnSend = nullptr;
  if (hotKeyManager_) hotKeyManager_->OnHotKeyPressed = nullptr;
}

void TK2FrontPanel::CreatePicture() {
  const TPanelLayout& l = PanelLayout();
  setFixedSize(l.Window.size());
  picture_ = DrawPanelPicture();
  const QImage& picture = picture_;
  // The fuchsia parts are not part of the window.
  setMask(QBitmap::fromImage(picture.createMaskFromColor(kPanelTransparent, Qt::MaskInColor)));
  k2Bitmap_ = new TPanelImage(this);
  k2Bitmap_->setObjectName(QStringLiteral("K2Bitmap"));
  k2Bitmap_->setGeometry(l.Window);
  k2Bitmap_->SetPicture(picture);
  k2Bitmap_->OnMouseDown = [this](TInstrumentControl*, TMouseButton mouse, TShiftState, int x,
                                  int y) { K2BitmapMouseDown(mouse, x, y); };
  k2Bitmap_->OnMouseMove = [this](TInstrumentControl*, TShiftState shift, int x, int y) {
    if (dragging_ && (shift & ssLeft)) move(mapToGlobal(QPoint(x, y)) - dragFrom_);
  };
  k2Bitmap_->OnMouseUp = [this](TInstrumentControl*, TMouseButton, TShiftState, int, int) {
    dragging_ = false;
  };
}

void TK2FrontPanel::CreateDisplay() {
  const TPanelLayout& l = PanelLayout();
  displayPanel_ = new QWidget(this);
  displayPanel_->setObjectName(QStringLiteral("DisplayPanel"));
  displayPanel_->setGeometry(l.Display);
  displayPanel_->setAutoFillBackground(true);
  QPalette lime = displayPanel_->palette();
  lime.setColor(QPalette::Window, ToQColor(clLime));
  displayPanel_->setPalette(lime);

  ledDisplay_ = new TLEDDisplayEx(displayPanel_);
  ledDisplay_->setGeometry(2, 2, l.Display.width() - 4, 32);
  ledDisplay_->SetNumDigits(8);
  ledDisplay_->SetDigitWidth(15);
  ledDisplay_->SetDigitHeight(26);
  ledDisplay_->SetSegmentStyle(TSegmentStyle::ssBeveled);
  ledDisplay_->SetDecSeperator(TDecSeperator::dsPoint);
  ledDisplay_->SetColorBackGround(clLime);
  ledDisplay_->SetOffColorLED(clLime);
  ledDisplay_->SetColorLED(clGreen);
  ledDisplay_->SetLEDContrast(7);
  ledDisplay_->SetBevelStyle(TBevelCut::bvNone);
  ledDisplay_->SetBorderStyle(TBorderStyle::bsNone);
  ledDisplay_->SetText("00000000");
  ledDisplay_->OnDblClick = [this](TInstrumentControl*) { DialDblClick(); };

  const QImage mark = DrawAnnunciatorMark();
  for (int k = 0; k < kAnnunciators; ++k) {
    auto* image = new TPanelImage(displayPanel_);
    image->setObjectName(QStringLiteral("Annunc%1").arg(k + 1));
    image->setGeometry(l.AnnunciatorLeft[k], l.AnnunciatorTop, mark.width(), mark.height());
    image->SetPicture(mark);
    image->hide();
    annunc_[static_cast<std::size_t>(k)] = image;
  }
  displayPanel_->hide();

  ledMeter_ = new TLEDMeter(this);
  ledMeter_->setGeometry(l.Meter);
  ledMeter_->SetMin(0);
  ledMeter_->SetMax(10);
  ledMeter_->SetNumDigits(10);
  ledMeter_->SetSingleLED(true);
  ledMeter_->SetDirection(TMeterDirection::mdRight);
  ledMeter_->SetColorLED1(clLime);
  ledMeter_->SetColorLED2(clYellow);
  ledMeter_->SetColorLED3(clRed);
  ledMeter_->SetStartColor2(5);
  ledMeter_->SetStartColor3(8);
  ledMeter_->SetColorSeperator(clBlack);
  ledMeter_->SetLEDContrast(6);
  ledMeter_->SetBevelStyle(TBevelCut::bvNone);

  stnCall_ = new QLabel(this);
  stnCall_->setGeometry(l.StationLabel);
  stnCall_->setAlignment(Qt::AlignCenter);
  stnCall_->setStyleSheet(
      QStringLiteral("color: rgb(236,236,230); font: bold 12px 'DejaVu Sans'; background: "
                     "transparent;"));
  stnCall_->setToolTip(QStringLiteral("Double-click call to open chat window"));
  stnCall_->installEventFilter(this);
  stnCall_->hide();
}

void TK2FrontPanel::CreateControls() {
  const TPanelLayout& l = PanelLayout();
  // One pair of faces for each kind, over the panel where the first switch of the kind sits.
  for (auto it = std::rbegin(l.Switches); it != std::rend(l.Switches); ++it) {
    const QImage under = picture_.copy(it->Rect);
    facesUp_[static_cast<std::size_t>(FaceIndex(it->Face))] =
        DrawSwitchFace(it->Face, under, false);
    facesDown_[static_cast<std::size_t>(FaceIndex(it->Face))] =
        DrawSwitchFace(it->Face, under, true);
  }
  for (const TSwitchPlace& s : l.Switches) {
    auto* button = new TPanelImage(this);
    button->setObjectName(QStringLiteral("Button%1").arg(s.Tag));
    button->setGeometry(s.Rect);
    button->SetTag(s.Tag);
    button->SetHint(std::string(s.Tap) + " (hold: " + s.Hold + ")");
    button->SetPicture(facesUp_[static_cast<std::size_t>(FaceIndex(s.Face))]);
    button->OnMouseDown = [this, button](TInstrumentControl*, TMouseButton mouse, TShiftState, int,
                                         int) { ButtonMouseDown(button, mouse); };
    button->OnMouseUp = [this, button](TInstrumentControl*, TMouseButton mouse, TShiftState, int,
                                       int) { ButtonMouseUp(button, mouse); };
    buttons_[static_cast<std::size_t>(s.Tag - 1)] = button;
  }

  dial_ = new TPanelImage(this);
  dial_->setObjectName(QStringLiteral("Dial"));
  dial_->setGeometry(l.Dial);
  dial_->SetPicture(DrawDialPicture(picture_.copy(l.Dial)));
  dial_->SetHint("Left button: down, right button: up; double-click: frequencies");
  dial_->OnMouseDown = [this](TInstrumentControl*, TMouseButton mouse, TShiftState shift, int,
                              int) {
    if (!(shift & ssDouble)) DialMouseDown(mouse);
  };
  dial_->OnMouseUp = [this](TInstrumentControl*, TMouseButton, TShiftState, int, int) {
    DialMouseUp();
  };
  dial_->OnDblClick = [this](TInstrumentControl*) { DialDblClick(); };

  struct TKnobRow {
    TKelmKnob** knob;
    const TLabelledPlace& place;
    int min, max, position;
    bool drag;
  };
  const TKnobRow knobs[] = {
      {&keyerKnob_, l.KeyerKnob, 8, 50, 9, true},    {&powerKnob_, l.PowerKnob, 0, 150, 0, true},
      {&afGainKnob_, l.AFGainKnob, 0, 5, 0, true},   {&rfGainKnob_, l.RFGainKnob, 0, 10, 100, true},
      {&ritKnob_, l.RITKnob, -1200, 1200, 0, false},
  };
  for (const TKnobRow& row : knobs) {
    auto* knob = new TKelmKnob(this);
    knob->setGeometry(row.place.Rect);
    knob->SetBitmap(DrawKnobPicture(picture_.copy(row.place.Rect)));
    knob->SetDiameter(row.place.Rect.width() - 4);
    knob->SetLineColor(RGB(236, 236, 230));
    knob->SetLineWidth(2);
    // The position first, as the window description stores it: the range does not re-clamp it,
    // so RF GAIN starts outside its range and the first squelch report moves it.
    knob->SetPosition(row.position);
    knob->SetMin(row.min);
    knob->SetMax(row.max);
    knob->SetAllowUserDrag(row.drag);
    knob->SetHint(row.place.Label);
    *row.knob = knob;
  }
  keyerKnob_->OnChange = [this](TKelmKnob*, int value) { controls_.KeyerKnobChange(value); };
  powerKnob_->OnChange = [this](TKelmKnob*, int value) { controls_.PowerKnobChange(value); };
  rfGainKnob_->OnChange = [this](TKelmKnob*, int value) { controls_.RFGainKnobChange(value); };
  afGainKnob_->OnChange = [this](TKelmKnob*, int value) { AFGainKnobChange(value); };
  ritKnob_->OnMouseDown = [this](TInstrumentControl*, TMouseButton mouse, TShiftState shift, int,
                                 int) {
    if (!(shift & ssDouble)) RITKnobMouseDown(mouse);
  };
  ritKnob_->OnMouseUp = [this](TInstrumentControl*, TMouseButton, TShiftState, int, int) {
    RITKnobMouseUp();
  };
  ritKnob_->OnDblClick = [this](TInstrumentControl*) { RITKnobDblClick(); };

  powerBtn_ = new TLEDButton(this);
  powerBtn_->setGeometry(l.Power.Rect);
  powerBtn_->SetHint("Power");
  powerBtn_->SetColor(RGB(40, 42, 46));
  powerBtn_->SetColorLED(clLime);
  powerBtn_->SetSwitching(false);
  powerBtn_->SetButtonDirection(TButtonDirection::bdNone);
  powerBtn_->SetDepth(2);
  powerBtn_->OnClick = [this](TInstrumentControl*) { PowerBtnClick(); };
}

void TK2FrontPanel::CreateMenus() {
  powerPopup_ = new QMenu(this);
  powerItem_ = powerPopup_->addAction(QStringLiteral("Power On"));
  QFont bold = powerItem_->font();
  bold.setBold(true);
  powerItem_->setFont(bold);  // the default item
  QAction* closeItem = powerPopup_->addAction(QStringLiteral("Close"));
  rxOnlyItem_ = powerPopup_->addAction(QStringLiteral("RX Only"));
  rxOnlyItem_->setCheckable(true);
  powerPopup_->addSeparator();
  QAction* aboutItem = powerPopup_->addAction(QStringLiteral("About Talvo"));
  powerBtn_->SetPopupMenu(powerPopup_);
  connect(powerItem_, &QAction::triggered, this, [this] { PowerBtnClick(); });
  connect(rxOnlyItem_, &QAction::triggered, this, [this] { RXOnlyMenuClick(); });
  connect(closeItem, &QAction::triggered, this, [this] { close(); });
  connect(aboutItem, &QAction::triggered, this, [] {
    platform::MessageBox(std::string(kCaption) +
                             "\r\rRemote operation of a K2 transceiver over TCP/IP.\rBy the "
                             "Talvo developers.",
                         TClientSession::kTitle, platform::BoxIcon::Information);
  });

  modeChgPopup_ = new QMenu(this);
  for (const char* mode : kModeItems) {
    QAction* item = modeChgPopup_->addAction(QString::fromLatin1(mode));
    connect(item, &QAction::triggered, this,
            [this, item] { controls_.ModeMenuClick(ToLatin1(item->text())); });
  }
}

// The switches and knobs follow the connection. The images (the picture and the dial) are
// enabled at a connect and disabled when it ends, so the panel cannot be dragged or tuned then.
void TK2FrontPanel::SetControlsEnabled(bool on) {
  for (TPanelImage* button : buttons_) button->setEnabled(on);
  for (TKelmKnob* knob : {keyerKnob_, powerKnob_, afGainKnob_, rfGainKnob_, ritKnob_})
    knob->setEnabled(on);
}

void TK2FrontPanel::SetImagesEnabled(bool on) {
  k2Bitmap_->setEnabled(on);
  dial_->setEnabled(on);
  for (TPanelImage* mark : annunc_) mark->setEnabled(on);
}

void TK2FrontPanel::PowerBtnClick() {
  // The contact window's question about the last contact comes first.
  if (session_.Busy() || closing_ || closed_ || qso_->Asking()) return;
  powerBtn_->setEnabled(false);
  platform::ProcessMessages();
  if (session_.Live()) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    session_.Disconnect([this] { qso_->AfterQuestions([this] { PowerOffDone(); }); });
    return;
  }
  if (!session_.Idle()) {  // the server closed meanwhile, or a close began
    powerBtn_->setEnabled(true);
    return;
  }
  connectDlg_->Reload();
  if (connectDlg_->exec() != QDialog::Accepted || closing_ || closed_ || !session_.Idle()) {
    powerBtn_->setEnabled(true);
    return;
  }
  session_.SetOwnCall(connectDlg_->OwnCall());
  chat_->SetCall(session_.OwnCall());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  session_.ConnectTo(connectDlg_->ChosenStation(), [this](bool) {
    QApplication::restoreOverrideCursor();
    powerBtn_->setEnabled(true);
  });
}

void TK2FrontPanel::PowerOffDone() {
  QApplication::restoreOverrideCursor();
  if (closing_) {
    close();
    return;
  }
  std::string question = session_.PendingMessage();
  if (!question.empty()) question += "\r\r";
  question += std::string("Close ") + TClientSession::kTitle + "?";
  session_.SetPendingMessage("");
  if (platform::AskYesNo(question, TClientSession::kTitle)) close();
  powerBtn_->setEnabled(true);
}

void TK2FrontPanel::AnnTimerTimer() {
  controls_.OneSecondTick();
}

void TK2FrontPanel::TimerTimer() {
  controls_.TimerStep();
}

void TK2FrontPanel::StnCallDblClick() {
  chat_->ChatText()->clear();
  chat_->SendText()->clear();
  chat_->show();
}

void TK2FrontPanel::ButtonMouseDown(TPanelImage* button, TMouseButton mouse) {
  if (mouse == TMouseButton::mbRight && button->Tag() == 8) {
    modeChgPopup_->popup(button->mapToGlobal(QPoint(0, 0)));
    return;
  }
  if (mouse != TMouseButton::mbLeft) return;
  controls_.ButtonDown(button->Tag());
  const TSwitchPlace& place = PanelLayout().Switches[button->Tag() - 1];
  button->SetPicture(facesDown_[static_cast<std::size_t>(FaceIndex(place.Face))]);
}

void TK2FrontPanel::ButtonMouseUp(TPanelImage* button, TMouseButton mouse) {
  if (mouse != TMouseButton::mbLeft) return;
  const TSwitchPlace& place = PanelLayout().Switches[button->Tag() - 1];
  button->SetPicture(facesUp_[static_cast<std::size_t>(FaceIndex(place.Face))]);
  controls_.ButtonUp(button->Tag());
}

void TK2FrontPanel::DialMouseDown(TMouseButton mouse) {
  if (controls_.DialDown(MouseDirection(mouse))) timer_->start();
}

void TK2FrontPanel::DialMouseUp() {
  timer_->stop();
  controls_.DialUp();
}

void TK2FrontPanel::DialDblClick() {
  freq_->show();
  freq_->raise();
}

void TK2FrontPanel::RITKnobMouseDown(TMouseButton mouse) {
  if (controls_.RitDown(MouseDirection(mouse))) timer_->start();
}

void TK2FrontPanel::RITKnobMouseUp() {
  timer_->stop();
  controls_.RitUp();
}

void TK2FrontPanel::RITKnobDblClick() {
  timer_->stop();
  controls_.RitClear();
}

void TK2FrontPanel::K2BitmapMouseDown(TMouseButton mouse, int x, int y) {
  if (mouse != TMouseButton::mbLeft) return;
  // The window system moves the window where it can; elsewhere the panel follows the mouse.
  if (QWindow* window = windowHandle(); window && window->startSystemMove()) return;
  dragFrom_ = mapToGlobal(QPoint(x, y)) - pos();
  dragging_ = true;
}

void TK2FrontPanel::RXOnlyMenuClick() {
  const bool rxOnly = !session_.RxOnly();
  session_.SetRxOnly(rxOnly);
  rxOnlyItem_->setChecked(rxOnly);
  qso_->setVisible(!rxOnly);
  if (session_.ModeGroup() == kModeGroupVoice) mic_->setVisible(!rxOnly);
}

void TK2FrontPanel::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // Once: registering a key this program holds already would be refused and lose it.
  if (hotKeys_ && !hotKeysRegistered_) {
    hotKeysRegistered_ = true;
    RegisterHotKeys();
  }
}

void TK2FrontPanel::RegisterHotKeys() {
  hotKeyManager_ = std::make_unique<THotKeyManager>();
  hotKeyManager_->OnHotKeyPressed = [this](std::uint32_t, std::uint16_t index) {
    HotKeyManagerHotKeyPressed(index);
  };
  for (std::size_t i = 0; i < std::size(kHotKeys); ++i)
    hotKeyIds_[i] =
        hotKeyManager_->RegisterKey(EncodeHotKey(platform::MOD_CONTROL, kHotKeys[i].VirtualKey));
  if (hotKeyIds_[0] == 0 || hotKeyIds_[1] == 0) {
    // After the window is up, so that the box has something to stand in front of.
    QTimer::singleShot(0, this, [] {
      platform::MessageBox("Unable to register hotkey(s)", TClientSession::kTitle,
                           platform::BoxIcon::Error);
    });
  }
}

std::uint16_t TK2FrontPanel::HotKeyId(TPanelHotKey key) const {
  for (std::size_t i = 0; i < std::size(kHotKeys); ++i)
    if (kHotKeys[i].Key == key) return hotKeyIds_[i];
  return 0;
}

void TK2FrontPanel::HotKeyManagerHotKeyPressed(std::uint16_t index) {
  if (index == 0) return;
  for (std::size_t i = 0; i < std::size(kHotKeys); ++i)
    if (hotKeyIds_[i] == index) controls_.HotKeyPressed(kHotKeys[i].Key);
}

void TK2FrontPanel::AddText(const std::string& text) {
  chat_->show();
  chat_->AddText(text);
}

void TK2FrontPanel::PanelChanged(TPanelChange change) {
  switch (change) {
    case TPanelChange::PowerOn:
      powerItem_->setText(QStringLiteral("Power Off"));
      ledDisplay_->SetColorLED(kDisplayGreen);
      ledDisplay_->SetText("ELECRAFT");
      status_.Reset();
      displayPanel_->show();
      powerBtn_->SetStateOn(true);
      SetControlsEnabled(true);
      SetImagesEnabled(true);
      afGainKnob_->SetPosition(0);
      audio_.ResetForConnect();
      break;
    case TPanelChange::ShowToolWindows:
      if (session_.Settings().FreqWindowVisible()) freq_->show();
      if (!session_.RxOnly()) qso_->SetVisibleAskLater(true);
      rxOnlyItem_->setEnabled(false);
      break;
    case TPanelChange::StartTimer:
      annTimer_->start();
      break;
    case TPanelChange::StopTimers:
      timer_->stop();
      annTimer_->stop();
      break;
    case TPanelChange::AccessKnown:
      keyerKnob_->setEnabled(session_.AccessLevel() >= kAccessTxRx);
      powerKnob_->setEnabled(session_.AccessLevel() >= kAccessTxRx);
      break;
    case TPanelChange::StationShown:
      stnCall_->setText(Latin1(session_.StationName()));
      stnCall_->show();
      break;
    case TPanelChange::HideTxWindows:
      qso_->SetVisibleAskLater(false);
      if (session_.ModeGroup() == kModeGroupVoice) mic_->hide();
      break;
    case TPanelChange::RxOnlyLocked:
      rxOnlyItem_->setChecked(session_.RxOnly());
      rxOnlyItem_->setEnabled(false);
      break;
    case TPanelChange::StopAudio:
      audio_.Stop();
      afGainKnob_->SetPosition(0);
      break;
    case TPanelChange::PowerOff:
      audio_.Stop();
      ledMeter_->SetPosition(0);
      afGainKnob_->SetPosition(0);
      if (!session_.RxOnly()) {
        qso_->SetVisibleAskLater(false);
        mic_->hide();
      }
      rx_->hide();
      // Only a session that was set up says whether the window is wanted next time: a refused
      // login or a failed connect keeps the choice of the last real session.
      if (powerBtn_->StateOn()) session_.Settings().SetFreqWindowVisible(freq_->isVisible());
      freq_->hide();
      SetControlsEnabled(false);
      SetImagesEnabled(false);
      annTimer_->stop();
      powerBtn_->SetStateOn(false);
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
  if (word == TServerWord::Audio)
    audio_.ReceiveFrame(value, platform::GetTickCount());
  else
    status_.ShowStatus(word, value);
  if (word == TServerWord::Freq) freq_->ShowFreq(value);
}

void TK2FrontPanel::AFGainKnobChange(int value) {
  // A playback device that cannot be opened was reported; the knob shows that audio is off.
  if (!audio_.AFGainKnobChange(value)) afGainKnob_->SetPosition(0);
}

void TK2FrontPanel::ShowDisplayText(const std::string& text) {
  ledDisplay_->SetText(text);
}

void TK2FrontPanel::ShowAnnunciators(const TAnnunciatorRow& row) {
  for (std::size_t k = 0; k < row.size(); ++k) annunc_[k]->setVisible(row[k]);
}

void TK2FrontPanel::ShowMeter(int position) {
  ledMeter_->SetPosition(position);
}

void TK2FrontPanel::MoveKnob(TPanelKnob knob, int position) {
  switch (knob) {
    case TPanelKnob::Keyer:
      keyerKnob_->SetPosition(position);
      break;
    case TPanelKnob::Power:
      powerKnob_->SetPosition(position);
      break;
    case TPanelKnob::RFGain:
      rfGainKnob_->SetPosition(position);
      break;
    case TPanelKnob::RIT:
      ritKnob_->SetPosition(position);
      break;
  }
}

void TK2FrontPanel::ShowFrequency(const std::string&) {
  // The frequency window takes "FREQ" in ShowStatus.
}

void TK2FrontPanel::ChangeModeGroup(std::uint8_t from, std::uint8_t to) {
  if (from == kModeGroupMorse) rx_->hide();
  if (from == kModeGroupVoice) mic_->hide();
  if (to >= kModeGroupMorse && to <= kModeGroupData) qso_->ShowModeGroups(to == kModeGroupMorse);
  if (to == kModeGroupVoice && !session_.RxOnly()) mic_->show();
}

void TK2FrontPanel::ShowNotice(const std::string& text, const std::string& caption) {
  platform::MessageBox(text, caption, platform::BoxIcon::Information);
}

void TK2FrontPanel::CloseProgram() {
  qso_->KeepContact();
  close();
}

void TK2FrontPanel::closeEvent(QCloseEvent* event) {
  if (closed_) {
    event->accept();
    return;
  }
  // A close while the contact's question is open keeps the contact (a contact is data): the
  // question is answered so, and the window closes once the contact window asks nothing more.
  if (qso_->QuestionOpen()) qso_->KeepContact();
  if (qso_->Asking()) {
    event->ignore();
    closing_ = true;
    qso_->AfterQuestions([this] { close(); });
    return;
  }
  // The window closes when the session is idle again: after the orderly disconnect, or at once
  // when the server ends the connection meanwhile. Every further close joins the one under way.
  if (!session_.Idle()) {
    event->ignore();
    closing_ = true;
    session_.Disconnect([this] { close(); });
    return;
  }
  closed_ = true;
  session_.Settings().SetMainPosition(x(), y());
  session_.Settings().SetRxOnly(session_.RxOnly());
  event->accept();
  QCoreApplication::quit();
}

bool TK2FrontPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == stnCall_ && event->type() == QEvent::MouseButtonDblClick) {
    StnCallDblClick();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
