#include "server/ServerForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "common/ChatWin.h"
#include "common/TextFile.h"
#include "common/Utils.h"
#include "controls/LEDMeter.h"
#include "desktop/ThemeManager.h"
#include "desktop/TrayIcon.h"
#include "platform/Application.h"
#include "platform/Latin1.h"
#include "platform/Paths.h"
#include "server/SettingsDialog.h"

namespace {

// The tray animation: a mast whose waves grow, frame by frame.
TImageList TrayImages() {
  TImageList images;
  for (int frame = 0; frame < 4; ++frame) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 3));
    p.drawLine(16, 30, 16, 14);
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(QPointF(16, 12), 3, 3);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(30, 90, 200), 2));
    for (int wave = 1; wave <= frame; ++wave) {
      int r = 4 + 4 * wave;
      p.drawArc(QRectF(16 - r, 12 - r, 2 * r, 2 * r), -45 * 16, 90 * 16);
      p.drawArc(QRectF(16 - r, 12 - r, 2 * r, 2 * r), 135 * 16, 90 * 16);
    }
    p.end();
    images.emplace_back(pixmap);
  }
  return images;
}

const char kHelpPage[] =
    "<html><head><title>Talvo Server</title></head><body><h1>Talvo Server</h1>"
    "<p>Talvo Server runs beside a K2 transceiver and lets one operator at a time use it over "
    "the network with Talvo Client.</p>"
    "<p>Its settings are kept in the file TalvoServer.ini beside the program (or in the folder "
    "named by TALVO_HOME): the serial port ([COMM] Port), the listening port ([Control] Port, "
    "6110), the users ([Users] User 1, 2, ...), their privileges ([Privileges], 0 RX only, 1 "
    "TX/RX, 2 Full) and the messages sent to the client ([Messages]).</p>"
    "<p>Events are logged to TalvoServer.log, contacts that clients log to TalvoServer.adi.</p>"
    "</body></html>";

// A meter of the audio bytes per block: 20 cells, 0 to 2000, red from 1500.
TLEDMeter* NewAudioMeter(QWidget* parent, const char* hint) {
  auto* meter = new TLEDMeter(parent);
  meter->SetMin(0);
  meter->SetMax(TAudioStream::kMeterMax);
  meter->SetNumDigits(20);
  meter->SetColorLED1(clLime);
  meter->SetColorLED2(clYellow);
  meter->SetColorLED3(clRed);
  meter->SetStartColor3(1500);
  meter->SetStartColor2(90);
  meter->SetHint(hint);
  return meter;
}

}  // namespace

TServerForm::TServerForm(TEventLog& eventLog)
    : settings_(platform::ChangeFileExt(platform::ProgramFile(), ".ini")),
      session_(settings_.IniPath(), eventLog) {
  themeManager_ = std::make_unique<TThemeManager>(this);
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font
  // Window description.
  caption_ = session_.Caption();
  setWindowTitle(Latin1(caption_));
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  lbServerStatus_ = new QLabel(central);
  lbServerStatus_->setToolTip(QStringLiteral("Shows the server status"));
  lbServerStatus_->setAlignment(Qt::AlignCenter);
  layout->addWidget(lbServerStatus_);
  RXAudio_ = NewAudioMeter(central, "RX audio bytes sent (0 - 16Kb/s)");
  TXAudio_ = NewAudioMeter(central, "TX audio bytes sent (0 - 16Kb/s)");
  layout->addWidget(RXAudio_, 0, Qt::AlignHCenter);
  layout->addWidget(TXAudio_, 0, Qt::AlignHCenter);
  setCentralWidget(central);
  timer_ = new QTimer(this);
  timer_->setInterval(500);
  connect(timer_, &QTimer::timeout, this, [this] { TimerTimer(); });
  CreateMenus();
  setFixedSize(360, 170);

  session_.OnStatus = [this](const std::string& text) { SetStatus(text); };
  session_.OnTrayHint = [this](const std::string& text) { SetTrayHint(text); };
  session_.OnSessionMenus = [this](bool inSession) { SetSessionMenus(inSession); };
  session_.OnCycleIcons = [this](bool cycle) { SetCycleIcons(cycle); };
  session_.OnChat = [this](const std::string& text) { ShowChat(text); };
  session_.OnCloseRequested = [this] { CloseServer(); };
  session_.Audio.OnMeterChange = [this](TAudioStream& audio) {
    RXAudio_->SetPosition(audio.RxAudio());
    TXAudio_->SetPosition(audio.TxAudio());
  };

  trayIcon_ = std::make_unique<TTrayIcon>(this);
  trayIcon_->SetIconList(TrayImages());
  trayIcon_->SetCycleInterval(500);
  trayIcon_->SetHint(kTitle);
  trayIcon_->SetIconIndex(0);
  trayIcon_->SetPopupMenu(trayMenu_);
  trayIcon_->SetMinimizeToTray(true);
  trayIcon_->OnDblClick = [this](TTrayIcon*) {
    trayIcon_->RestoreMainWindow();
    settings_.SetMinimized(false);
  };
  trayIcon_->OnMinimizeToTray = [this](TTrayIcon*) {
    WritePosition();
    settings_.SetMinimized(true);
  };
  trayIcon_->SetIconVisible(true);
  setWindowIcon(trayIcon_->IconList()->front());

  // Window creation.
  std::int32_t left = 0, top = 0;
  if (settings_.Position(left, top)) {
    move(left, top);
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  stationCall_ = settings_.StationCall();
  trayBusy_->setChecked(session_.Busy());
  SetSessionMenus(false);

  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(app, &QGuiApplication::commitDataRequest, this, [this] { HandleQueryEndSession(); });
}

TServerForm::~TServerForm() {
  timer_->stop();
  // The session's events must not reach a half-destroyed window.
  session_.ClearOwnerEvents();
  if (chatWin_) chatWin_->OnSend = nullptr;
}

void TServerForm::SetChatWin(TChatWin* chat) {
  chatWin_ = chat;
  if (!chat) return;
  chat->SetCall(stationCall_);
  chat->SetIniFile(settings_.IniPath());
  chat->OnSend = [this](TChatWin*, const std::string& line) { session_.SendLine(line); };
  chat->SendBtn()->setEnabled(false);
  chat->SendText()->setEnabled(false);
}

void TServerForm::CreateMenus() {
  trayMenu_ = new QMenu(this);
  QAction* status = trayMenu_->addAction(QStringLiteral("Server Status"));
  traySettings_ = trayMenu_->addAction(QStringLiteral("Server Settings"));
  trayBusy_ = trayMenu_->addAction(QStringLiteral("K2 is busy"));
  trayBusy_->setCheckable(true);
  trayChat_ = trayMenu_->addAction(QStringLiteral("Chat to operator"));
  trayDisconnect_ = trayMenu_->addAction(QStringLiteral("Disconnect session"));
  QAction* closeServer = trayMenu_->addAction(QStringLiteral("Close Talvo Server"));
  QAction* about = trayMenu_->addAction(QStringLiteral("About Talvo Server"));
  trayMenu_->setDefaultAction(status);

  QMenu* server = menuBar()->addMenu(QStringLiteral("Server"));
  menuSettings_ = server->addAction(QStringLiteral("Settings..."));
  QAction* shutDown = server->addAction(QStringLiteral("Shut down"));
  QMenu* connection = menuBar()->addMenu(QStringLiteral("Connection"));
  menuChat_ = connection->addAction(QStringLiteral("Chat with operator"));
  menuDisconnect_ = connection->addAction(QStringLiteral("Disconnect"));
  QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
  QAction* helpPage = help->addAction(QStringLiteral("Talvo Help"));
  QAction* aboutTalvo = help->addAction(QStringLiteral("About Talvo"));

  connect(status, &QAction::triggered, this, [this] {
    trayIcon_->RestoreMainWindow();
    settings_.SetMinimized(false);
  });
  for (QAction* a : {traySettings_, menuSettings_})
    connect(a, &QAction::triggered, this, [this] { SettingsMenuClick(); });
  connect(trayBusy_, &QAction::triggered, this, [this] { SetBusyFlag(!session_.Busy()); });
  for (QAction* a : {trayChat_, menuChat_})
    connect(a, &QAction::triggered, this, [this] {
      if (chatWin_) chatWin_->show();
    });
  for (QAction* a : {trayDisconnect_, menuDisconnect_})
    connect(a, &QAction::triggered, this, [this] { DisconnectMenuClick(); });
  for (QAction* a : {closeServer, shutDown})
    connect(a, &QAction::triggered, this, [this] { CloseServer(); });
  for (QAction* a : {about, aboutTalvo}) connect(a, &QAction::triggered, this, [this] { About(); });
  connect(helpPage, &QAction::triggered, this, [this] { HelpMenuClick(); });
}

std::string TServerForm::HelpPagePath() const {
  const std::string& ini = settings_.IniPath();
  return ini.substr(0, ini.rfind('/') + 1) + "TalvoServerHelp.html";
}

void TServerForm::HelpMenuClick() {
  // Beside the settings: an installed program's own folder may not be written.
  const std::string path = HelpPagePath();
  if (!ReplaceWithLine(path, kHelpPage)) {
    platform::MessageBox("The help page could not be written to " + path + ".", kTitle,
                         platform::BoxIcon::Warning);
    return;
  }
  if (ShellRun("open", path, "", false, "") < 0)
    platform::MessageBox(
        "No web browser could be started to show the help page.\r\nThe page is " + path + ".",
        kTitle, platform::BoxIcon::Information);
}

void TServerForm::SetBusyFlag(bool value) {
  session_.SetBusy(value);
  trayBusy_->setChecked(value);
  settings_.SetK2Busy(value);
}

std::string TServerForm::StatusText() const {
  return ToLatin1(lbServerStatus_->text());
}

void TServerForm::SetStatus(const std::string& text) {
  lbServerStatus_->setText(Latin1(text));
}

void TServerForm::SetTrayHint(const std::string& text) {
  trayIcon_->SetHint(text);
}

void TServerForm::SetSessionMenus(bool inSession) {
  traySettings_->setEnabled(!inSession);
  menuSettings_->setEnabled(!inSession);
  for (QAction* a : {trayChat_, menuChat_, trayDisconnect_, menuDisconnect_})
    a->setEnabled(inSession);
  if (chatWin_) {
    chatWin_->SendBtn()->setEnabled(inSession);
    chatWin_->SendText()->setEnabled(inSession);
  }
}

void TServerForm::SetCycleIcons(bool cycle) {
  trayIcon_->SetCycleIcons(cycle);
  if (!cycle) trayIcon_->SetIconIndex(0);
}

void TServerForm::ShowChat(const std::string& text) {
  if (!chatWin_) return;
  chatWin_->show();
  chatWin_->AddText(text);
}

void TServerForm::About() {
  platform::MessageBox(
      ToLatin1(windowTitle()) +
          "\r\n\r\nRemote operation of a K2 transceiver over TCP/IP.\r\nBy the Talvo developers.",
      "About Talvo", platform::BoxIcon::Information);
}

void TServerForm::SettingsMenuClick() {
  if (settingsOpen_) return;  // the handler runs again while its dialog is open
  settingsOpen_ = true;
  bool portChanged = false;
  {
    TSettings dialog(this, settings_.IniPath(), session_.CwDecoder.CwDecoderAvailable());
    TRunningSettings current;
    current.stationCall = stationCall_;
    current.busyFlag = session_.Busy();
    current.soundCard = session_.SoundCard();
    current.squelchLevel = session_.SquelchLevel();
    dialog.OnSquelchChange = [this](std::int32_t level) { session_.SetSquelchLevel(level); };
    dialog.Fill(current, session_.EventLog().Lines());
    if (dialog.exec() == QDialog::Accepted) {
      const TSettingsModel& model = dialog.Model();
      ApplySettings(model.Result(), model.ComPortChanged() ? model.ComPort() : std::string());
      portChanged = model.PortChanged();
    }
  }
  settingsOpen_ = false;
  if (portChanged)
    platform::MessageBox(
        "Please close and then restart the server so that the new port setting can take effect.",
        kTitle);
}

void TServerForm::ApplySettings(const TRunningSettings& values, const std::string& serialPort) {
  stationCall_ = values.stationCall;
  if (chatWin_) chatWin_->SetCall(stationCall_);
  session_.SetBusy(values.busyFlag);
  trayBusy_->setChecked(values.busyFlag);
  if (!serialPort.empty()) session_.ConfigureSerialPort(serialPort);
  session_.SetSoundCard(values.soundCard);
  session_.SetSquelchLevel(values.squelchLevel);
  session_.SetCwDecoder(values.cwDecoderEnabled, values.decoderPath);
}

void TServerForm::WritePosition() {
  settings_.SetPosition(x(), y());
}

void TServerForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TServerForm::FormShow() {
  session_.LoadSettings();
  try {
    session_.Listen();
  } catch (const std::exception& e) {
    platform::Application::ShowException(e.what());
    SetStatus("Not listening");
    return;
  }
  SetStatus("Listening for connection");
  timer_->start();
  startMinimized_ = settings_.Minimized();
  // The middle zone starts at a quarter of the range, where speech usually sits.
  RXAudio_->SetStartColor2(500);
  TXAudio_->SetStartColor2(500);
}

void TServerForm::TimerTimer() {
  if (startMinimized_) {
    trayIcon_->HideMainWindow();
    startMinimized_ = false;
  }
  session_.TimerTimer();
}

void TServerForm::ServerWSocketSessionAvailable(std::uint16_t error) {
  session_.ServerWSocketSessionAvailable(error);
}

void TServerForm::CliWSocketDataAvailable(std::uint16_t error) {
  session_.CliWSocketDataAvailable(error);
}

void TServerForm::CliWSocketSessionClosed(std::uint16_t error) {
  session_.CliWSocketSessionClosed(error);
}

void TServerForm::SerialPortRxClusterEvent() {
  session_.SerialPortRxClusterEvent();
}

void TServerForm::DisconnectMenuClick() {
  session_.Disconnect();
}

void TServerForm::CloseServer() {
  closing_ = true;
  // While the close question is open the window is already in its close, and Qt ignores close():
  // the question is answered instead, and the close goes on without the shutdown message.
  if (askingClose_) {
    platform::AnswerOpenQuestion(true);
    return;
  }
  close();
}

void TServerForm::HandleQueryEndSession() {
  SetStatus("Closing down...");
  CloseServer();
}

void TServerForm::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    // A termination signal or the end of the desktop session during the question closes anyway.
    askingClose_ = true;
    const bool yes = platform::AskYesNo("Close Talvo Server?", kTitle);
    askingClose_ = false;
    if (!yes && !closing_) {
      event->ignore();
      // Without a tray host the window can only be minimized: hidden, it could not come back.
      if (!trayIcon_->HideMainWindow()) showMinimized();
      settings_.SetMinimized(true);
      return;
    }
    if (!closing_) session_.SayShuttingDown();
  }
  timer_->stop();
  WritePosition();
  session_.Shutdown();
  event->accept();
  if (chatWin_) chatWin_->hide();
  QCoreApplication::quit();
}
