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

#include "common/Adif.h"
#include "common/ChatWin.h"
#include "common/DateTime.h"
#include "common/Text.h"
#include "common/Utils.h"
#include "desktop/TrayIcon.h"
#include "platform/Application.h"
#include "platform/Paths.h"
#include "platform/Tick.h"
#include "relay/K2Text.h"
#include "server/ServerMessages.h"
#include "sockets/MD5.h"

namespace {

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// Compares two digests without regard to case, in a time that does not depend on where they
// first differ.
bool SameDigest(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    diff |= static_cast<unsigned char>(UpperAscii(a[i]) ^ UpperAscii(b[i]));
  return diff == 0;
}

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

}  // namespace

bool TServerForm::RadioLink::WriteText(const std::string& text) {
  // The port queues a write made while another is pending; a closed port reports the failure
  // through its error event.
  return port_.WriteText(text);
}

void TServerForm::ClientLink::SendText(const std::string& text) {
  if (socket_.State() == wsConnected) socket_.SendText(text);
}

TServerForm::TServerForm(TEventLog& eventLog)
    : CwDecoder(
          platform::ChangeFileExt(platform::ProgramFile(), ".ini"),
          [this](const std::string& line) { clientLink_.SendText(line); },
          [this](const std::string& message) { LogEvent(message); }),
      eventLog_(eventLog),
      iniPath_(platform::ChangeFileExt(platform::ProgramFile(), ".ini")),
      radioLink_(SerialPort),
      clientLink_(CliWSocket),
      framer_([this](const std::string& word, const std::string& value) {
        return DispatchLine(word, value);
      }) {
  // Window description.
  caption_ = std::string(kTitle) + " " + kVersion;
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
  setCentralWidget(central);
  timer_ = new QTimer(this);
  timer_->setInterval(500);
  connect(timer_, &QTimer::timeout, this, [this] { TimerTimer(); });
  CreateMenus();
  setFixedSize(360, 140);

  ServerWSocket.SetAddr("0.0.0.0");
  ServerWSocket.SetProto("tcp");
  ServerWSocket.SetListenBacklog(5);
  ServerWSocket.OnSessionAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    ServerWSocketSessionAvailable(error);
  };
  CliWSocket.OnDataAvailable = [this](TCustomWSocket*, std::uint16_t error) {
    CliWSocketDataAvailable(error);
  };
  CliWSocket.OnSessionClosed = [this](TCustomWSocket*, std::uint16_t error) {
    CliWSocketSessionClosed(error);
  };
  SerialPort.SetCommPort("COM1");
  SerialPort.SetBaudRate(4800);
  SerialPort.SetStopBits(2);
  SerialPort.SetRTOCharDelayTime(2300);
  SerialPort.SetWTOCharDelayTime(2300);
  SerialPort.SetErrorNoise(255);
  SerialPort.OnRxClusterEvent = [this](TSerialPort&) { SerialPortRxClusterEvent(); };
  Relay.SetRadio(&radioLink_);
  Relay.OnStartCwDecoder = [this](TK2Relay&) { CwDecoder.StartCwDecoder(); };
  Relay.OnStopCwDecoder = [this](TK2Relay&) { CwDecoder.StopCwDecoder(); };

  trayIcon_ = std::make_unique<TTrayIcon>(this);
  trayIcon_->SetIconList(TrayImages());
  trayIcon_->SetCycleInterval(500);
  trayIcon_->SetHint(kTitle);
  trayIcon_->SetIconIndex(0);
  trayIcon_->SetPopupMenu(trayMenu_);
  trayIcon_->SetMinimizeToTray(true);
  trayIcon_->OnDblClick = [this](TTrayIcon*) {
    trayIcon_->RestoreMainWindow();
    WriteIniString(iniPath_, "General", "Minimized", "");
  };
  trayIcon_->OnMinimizeToTray = [this](TTrayIcon*) {
    WritePosition();
    WriteIniString(iniPath_, "General", "Minimized", "1");
  };
  trayIcon_->SetIconVisible(true);
  setWindowIcon(trayIcon_->IconList()->front());

  // Window creation.
  std::int32_t left = StrToIntDef(ReadIniString(iniPath_, "General", "Left", ""), -8);
  if (left > -8) {
    move(left, StrToIntDef(ReadIniString(iniPath_, "General", "Top", ""), 0));
  } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
  stationCall_ = ReadIniString(iniPath_, "Identification", "Call", "MYCALL");
  busyFlag_ = ReadIniString(iniPath_, "Access Control", "K2 Busy", "") == "1";
  trayBusy_->setChecked(busyFlag_);
  SetSessionMenus(false);

  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(app, &QGuiApplication::commitDataRequest, this, [this] { HandleQueryEndSession(); });
}

TServerForm::~TServerForm() {
  timer_->stop();
  // The sockets' and the port's events must not reach a half-destroyed window.
  ServerWSocket.OnSessionAvailable = nullptr;
  CliWSocket.OnDataAvailable = nullptr;
  CliWSocket.OnSessionClosed = nullptr;
  SerialPort.OnRxClusterEvent = nullptr;
  Relay.OnStartCwDecoder = nullptr;
  Relay.OnStopCwDecoder = nullptr;
  if (chatWin_) chatWin_->OnSend = nullptr;
}

void TServerForm::SetChatWin(TChatWin* chat) {
  chatWin_ = chat;
  if (!chat) return;
  chat->SetCall(stationCall_);
  chat->SetIniFile(iniPath_);
  chat->OnSend = [this](TChatWin*, const std::string& line) {
    clientLink_.SendText(line + "\r\n");
  };
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
    WriteIniString(iniPath_, "General", "Minimized", "");
  });
  for (QAction* a : {traySettings_, menuSettings_})
    connect(a, &QAction::triggered, this, [this] { ShowSettings(); });
  connect(trayBusy_, &QAction::triggered, this, [this] { SetBusyFlag(!busyFlag_); });
  for (QAction* a : {trayChat_, menuChat_})
    connect(a, &QAction::triggered, this, [this] {
      if (chatWin_) chatWin_->show();
    });
  for (QAction* a : {trayDisconnect_, menuDisconnect_})
    connect(a, &QAction::triggered, this, [this] { DisconnectMenuClick(); });
  for (QAction* a : {closeServer, shutDown})
    connect(a, &QAction::triggered, this, [this] { CloseServer(); });
  for (QAction* a : {about, aboutTalvo}) connect(a, &QAction::triggered, this, [this] { About(); });
  connect(helpPage, &QAction::triggered, this, [] {
    std::string path = platform::ProgramFolder() + "TalvoServerHelp.html";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fputs(kHelpPage, f);
      std::fclose(f);
    }
    ShellRun("open", path, "", false, "");
  });
}

void TServerForm::SetBusyFlag(bool value) {
  busyFlag_ = value;
  trayBusy_->setChecked(value);
  WriteIniString(iniPath_, "Access Control", "K2 Busy", BoolToIniStr(value));
}

std::string TServerForm::StatusText() const {
  return lbServerStatus_->text().toLatin1().toStdString();
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

void TServerForm::About() {
  platform::MessageBox(
      windowTitle().toLatin1().toStdString() +
          "\r\n\r\nRemote operation of a K2 transceiver over TCP/IP.\r\nBy the Talvo developers.",
      "About Talvo");
}

void TServerForm::ShowSettings() {
  platform::MessageBox("The settings dialog is not part of this version.\r\nEdit " + iniPath_ +
                           " while the server is stopped, then start it again.",
                       kTitle);
}

void TServerForm::WritePosition() {
  WriteIniString(iniPath_, "General", "Left", std::to_string(x()));
  WriteIniString(iniPath_, "General", "Top", std::to_string(y()));
}

void TServerForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  FormShow();
}

void TServerForm::FormShow() {
  soundCard_ = StrToIntDef(ReadIniString(iniPath_, "Audio", "Sound card", "-1"), -1);
  squelchLevel_ = StrToIntDef(ReadIniString(iniPath_, "Audio", "Squelch", "20"), 0);
  CwDecoder.Setup();
  Relay.SetCwDecoderEnabled(CwDecoder.CwDecoderAvailable() && CwDecoder.CwDecoderEnabled());
  Relay.ReplyBuffer().clear();

  std::string port = ReadIniString(iniPath_, "COMM", "Port", "");
  if (!port.empty()) {
    SerialPort.SetCommPort(port);
    SerialPort.SetBaudRate(4800);
    SerialPort.SetDataBits(8);
    SerialPort.SetParityType(0);
    SerialPort.SetStopBits(2);
    SerialPort.SetFlowControl(0);
  }

  try {
    ServerWSocket.SetProto("tcp");
    ServerWSocket.SetPort(ReadIniString(iniPath_, "Control", "Port", "6110"));
    ServerWSocket.SetAddr(ReadIniString(iniPath_, "Control", "Address", "0.0.0.0"));
    ServerWSocket.Listen();
  } catch (const std::exception& e) {
    platform::Application::ShowException(e.what());
    SetStatus("Not listening");
    return;
  }
  SetStatus("Listening for connection");
  txRefStamp_ = 0;
  timer_->start();
  startMinimized_ = ReadIniString(iniPath_, "General", "Minimized", "") == "1";
}

void TServerForm::TimerTimer() {
  if (startMinimized_) {
    trayIcon_->HideMainWindow();
    startMinimized_ = false;
  }
  if (sessionEnded_) ResetForNextCaller();
  if (shutdownRequested_) {
    CloseServer();
    return;
  }
  if (sessionStarted_) {
    if (CliWSocket.State() == wsConnected) {
      if (CwDecoder.CwDecoderRunning()) CwDecoder.ForwardDecodedText();
      if (!commandInProgress_) Relay.PollK2();
    } else {
      CliWSocket.Close();
      sessionEnded_ = true;
    }
  } else if (CliWSocket.State() == wsConnected && !authenticated_ &&
             platform::GetTickCount() - acceptTick_ >= kLoginTimeoutMs) {
    LogEvent("[" + sessionAddress_ + "] Login timed out");
    EndSession();
  }
}

void TServerForm::ResetForNextCaller() {
  SetTrayHint(kTitle);
  SetStatus("Listening for connection");
  txRefStamp_ = 0;
  SetSessionMenus(false);
  sessionEnded_ = false;
  sessionStarted_ = false;
}

void TServerForm::LogEvent(const std::string& message) {
  eventLog_.LogEvent(message);
}

std::string TServerForm::ExpandMacros(const std::string& text) const {
  return ::ExpandMacros(text, sessionUser_, Relay.AccessLevel());
}

bool TServerForm::AddressAllowed(const std::string& address) const {
  return ::AddressAllowed(iniPath_, address);
}

void TServerForm::SendLine(const std::string& text) {
  clientLink_.SendText(text + "\r\n");
}

void TServerForm::SendMessage(const std::string& text) {
  SendLine("# " + text);
}

void TServerForm::EndSession() {
  CliWSocket.Close();
  sessionEnded_ = true;
}

void TServerForm::ServerWSocketSessionAvailable(std::uint16_t) {
  std::string banner = LoginBannerText(caption_, Now() + UtcOffset());
  TSocket handle = ServerWSocket.Accept();
  if (handle == INVALID_SOCKET) return;  // the caller left before it was taken
  if (CliWSocket.State() == wsConnected || busyFlag_) {
    TurnAway(handle, banner);
    return;
  }
  try {
    CliWSocket.Dup(handle);
  } catch (const std::exception& e) {
    platform::winsock::closesocket(handle);
    LogEvent(std::string("Accepting a caller failed: ") + LogSafe(e.what(), 200));
    return;
  }
  sessionAddress_ = CliWSocket.GetPeerAddr();
  const std::string tag = "[" + sessionAddress_ + "]";
  if (!AddressAllowed(sessionAddress_)) {
    LogEvent(tag + " Connection refused - address not allowed");
    CliWSocket.Close();
    return;
  }
  SetTrayHint(std::string(kTitle) + "\r\nConnecting: " + sessionAddress_);
  SetStatus("Connecting: " + sessionAddress_);
  LogEvent(tag + " Connection accepted");
  CliWSocket.ReceiveText();
  CliWSocket.DiscardSendBuffer();

  ++sessionId_;
  acceptTick_ = platform::GetTickCount();
  sessionUser_.clear();
  authenticated_ = false;
  sessionStarted_ = false;
  sessionEnded_ = false;
  commandInProgress_ = false;
  rxQuiet_ = false;
  framer_.Reset();
  Relay.ResetSession();
  CwDecoder.SetCwRunLength(0);
  txRefStamp_ = 0;

  loginBanner_ = banner;
  SendLine(loginBanner_);
  SetSessionMenus(true);
  SerialPort.SetActive(true);
  SerialPort.SetDTRState(false);
  SerialPort.SetRTSState(false);
  trayIcon_->SetCycleIcons(true);
}

void TServerForm::TurnAway(TSocket handle, const std::string& banner) {
  // A second refusal can arrive during the pauses of the first: it gets a socket of its own.
  std::unique_ptr<TWSocket> extra;
  TWSocket* tmp = &TmpWSocket;
  if (TmpWSocket.State() != wsClosed && TmpWSocket.State() != wsInvalidState) {
    extra = std::make_unique<TWSocket>();
    tmp = extra.get();
  }
  try {
    tmp->Dup(handle);
  } catch (const std::exception& e) {
    platform::winsock::closesocket(handle);
    LogEvent(std::string("Turning a caller away failed: ") + LogSafe(e.what(), 200));
    return;
  }
  std::string address = tmp->GetPeerAddr();
  if (AddressAllowed(address)) {
    tmp->SendText(banner + "\r\n");
    Delay(200);
    std::string busy = ExpandMacros(ReadIniString(iniPath_, "Messages", "Busy", ""));
    if (!busy.empty()) tmp->SendText("# " + busy + "\r\n");
    Delay(200);
    LogEvent("[" + address + "] Connection refused - server busy");
  } else {
    LogEvent("[" + address + "] Connection refused - address not allowed");
  }
  tmp->Close();
}

void TServerForm::CliWSocketDataAvailable(std::uint16_t error) {
  if (error != 0) {
    EndSession();
    return;
  }
  std::int32_t n = CliWSocket.RcvdCount();
  if (n <= 0) return;
  std::string bytes(static_cast<std::size_t>(n), '\0');
  std::int32_t r = CliWSocket.Receive(bytes.data(), n);
  if (r <= 0) return;
  ProcessClientData(bytes.data(), r);
}

void TServerForm::ProcessClientData(const char* text, std::int32_t count) {
  if (count <= 0) return;
  if (framer_.Feed(text, static_cast<std::size_t>(count)) == TLineFramer::TResult::Overflow) {
    LogEvent("[" + sessionAddress_ + "] Line longer than " + std::to_string(TLineFramer::kMaxLine) +
             " bytes; connection closed");
    EndSession();
  }
}

bool TServerForm::DispatchLine(const std::string& word, const std::string& value) {
  const std::uint32_t session = sessionId_;
  if (CliWSocket.State() != wsConnected) return false;
  bool goOn = authenticated_ ? SessionCommand(word, value) : Login(word, value);
  return goOn && session == sessionId_ && CliWSocket.State() == wsConnected;
}

bool TServerForm::UserListed(const std::string& user) const {
  for (int n = 1;; ++n) {
    std::string listed = ReadIniString(iniPath_, "Users", "User " + std::to_string(n), "");
    if (listed.empty()) return false;
    // As the [Passwords] and [Privileges] keys, the name matches without regard to case.
    if (SameTextAscii(listed, user)) return true;
  }
}

bool TServerForm::Login(const std::string& word, const std::string& value) {
  const std::string tag = "[" + sessionAddress_ + "]";
  const std::size_t position = KeywordPosition("AUTHBYE", UpperAscii(word));
  if (position == 1) {
    std::string user, received, expected;
    bool ok = false;
    const bool named = SplitAtFirstSpace(value, user, received);
    if (!named) received = value;
    if (named) {
      sessionUser_ = user;
      std::string stored = Scramble(ReadIniString(iniPath_, "Passwords", user, ""), kPasswordSeed);
      expected = MD5DigestHex(loginBanner_ + stored);
      ok = UserListed(user) && SameDigest(received, expected);
      if (ok)
        Relay.SetAccessLevel(StrToIntDef(ReadIniString(iniPath_, "Privileges", user, "0"), 0));
    } else if (!value.empty() && ReadIniString(iniPath_, "Users", "Allow guests", "") == "1") {
      ok = true;
      sessionUser_ = "Guest (" + value + ")";
    }
    if (ok) {
      authenticated_ = true;
      LogEvent(tag + " Connection from " + LogSafe(sessionUser_));
      SetTrayHint(std::string(kTitle) + "\r\nConnected: " + sessionUser_);
      SetStatus("Connected: " + sessionUser_);
      radioLink_.WriteText(K2StartupCommands());
      return true;
    }
    // The expected digest stays out of the log: with the banner's date and time it would let
    // anyone who reads the log try passwords offline.
    LogEvent(tag + " Authentication failed [" + LogSafe(sessionUser_) + "  " + LogSafe(received) +
             "  ]");
    const std::uint32_t session = sessionId_;
    SendLine("# Authentication failed");
    Delay(200);
    if (session == sessionId_) EndSession();
    return false;
  }
  if (position == 5) {
    EndSession();
    return false;
  }
  LogEvent(tag + " Invalid command \"" + LogSafe(word) + "\" on connection");
  EndSession();
  return false;
}

bool TServerForm::CatAllowed(const std::string& commands) const {
  const std::int32_t level = Relay.AccessLevel();
  if (level >= 2) return true;
  if (commands.empty()) return false;
  std::size_t start = 0;
  while (start < commands.size()) {
    std::size_t end = commands.find(';', start);
    if (end == std::string::npos) return false;  // every command ends with ";"
    std::string cmd = UpperAscii(commands.substr(start, end - start));
    start = end + 1;
    auto digits = [&](std::size_t from, std::size_t count) {
      if (cmd.size() != from + count) return false;
      for (std::size_t i = from; i < cmd.size(); ++i)
        if (cmd[i] < '0' || cmd[i] > '9') return false;
      return true;
    };
    if ((cmd.rfind("UP", 0) == 0 || cmd.rfind("DN", 0) == 0) && digits(2, 1)) continue;
    if (cmd.rfind("PC", 0) == 0 && digits(2, 3) && level >= 1) continue;
    if (cmd.rfind("SW", 0) == 0 && digits(2, 2)) {
      const std::int32_t code = ParseInt32(cmd.substr(2)).value_or(0);
      if (code < 1 || code > 32) return false;
      int needs = 0;
      switch (code) {
        case 5:
        case 19:
        case 21:
        case 30:
        case 31:
          needs = 2;
          break;
        case 16:
        case 20:
        case 32:
          needs = 1;
          break;
        default:
          needs = 0;
      }
      if (level >= needs) continue;
    }
    return false;
  }
  return true;
}

bool TServerForm::SessionCommand(const std::string& word, const std::string& value) {
  const std::uint32_t session = sessionId_;
  switch (KeywordPosition("BYECLOSECATAUDIOLOGNOOPCHAT", UpperAscii(word))) {
    case 1: {  // BYE
      std::string text = ExpandMacros(ReadIniString(iniPath_, "Messages", "Logging Out", ""));
      if (!text.empty()) {
        SendMessage(text);
        Delay(200);
      }
      if (session == sessionId_) EndSession();
      return false;
    }
    case 4:  // CLOSE
      if (Relay.AccessLevel() < 2) {
        clientLink_.SendText(Relay.AccessDeniedText());
        return true;
      }
      CliWSocket.Close();
      shutdownRequested_ = true;
      sessionEnded_ = true;
      return false;
    case 9:  // CAT
      if (!CatAllowed(value)) {
        clientLink_.SendText(Relay.AccessDeniedText());
        return true;
      }
      radioLink_.WriteText(value);
      return true;
    case 12:  // AUDIO: receive and transmit audio streaming are not part of this version.
      return true;
    case 17:  // LOG
      if (!value.empty()) {
        std::string call, record;
        if (!SplitAtFirstSpace(value, call, record)) {
          record = value;
          call.clear();
        }
        for (char& c : record)
          if (c == '\r' || c == '\n' || c == '\0') c = ' ';
        if (AppendAdif(record)) {
          LogEvent("Contact logged: " + LogSafe(call));
        } else {
          LogEvent("Contact could not be logged: " + LogSafe(call) + " (" + AdifPath() + ")");
          SendMessage("The server could not store the contact with " + call + ".");
        }
      }
      return true;
    case 20:  // NOOP
      return true;
    case 24:  // CHAT
      if (chatWin_) {
        chatWin_->show();
        chatWin_->AddText(value);
      }
      return true;
    default:
      commandInProgress_ = true;
      Relay.TranslateCommand(word, value, clientLink_);
      if (session == sessionId_) commandInProgress_ = false;
      return true;
  }
}

void TServerForm::SerialPortRxClusterEvent() {
  if (SerialPort.PeekChunkSize() < 0) return;
  if (CliWSocket.State() != wsConnected || !authenticated_) {
    SerialPort.TakeChunkText();  // nobody to tell, or not yet entitled to know
    return;
  }
  if (!sessionStarted_) {
    const std::uint32_t session = sessionId_;
    sessionStarted_ = true;
    std::string welcome = ExpandMacros(ReadIniString(iniPath_, "Messages", "Welcome", ""));
    if (!welcome.empty()) {
      SendMessage(welcome);
      Delay(200);
      if (session != sessionId_) return;
    }
    SendLine("PRIV " + std::to_string(Relay.AccessLevel()));
    Delay(200);
    if (session != sessionId_) return;
  }
  if (SerialPort.PeekChunkSize() < 0) return;
  Relay.ReplyBuffer() += SerialPort.TakeChunkText();
  Relay.ParseK2Replies(clientLink_);
}

void TServerForm::CliWSocketSessionClosed(std::uint16_t) {
  const std::uint32_t session = sessionId_;
  Relay.ReleaseK2();
  Relay.ClearSessionDuties();
  LogEvent("[" + sessionAddress_ + "] Disconnected");
  if (session == sessionId_) {
    sessionStarted_ = false;
    sessionEnded_ = true;
  }
  if (CwDecoder.CwDecoderEnabled()) CwDecoder.StopCwDecoder();
  trayIcon_->SetCycleIcons(false);
  trayIcon_->SetIconIndex(0);
  CliWSocket.DiscardSendBuffer();
}

void TServerForm::DisconnectMenuClick() {
  if (CliWSocket.State() != wsConnected) return;
  if (sessionStarted_) {
    const std::uint32_t session = sessionId_;
    std::string text = ExpandMacros(ReadIniString(iniPath_, "Messages", "Disconnection", ""));
    if (!text.empty()) {
      SendMessage(text);
      Delay(1000);
    }
    if (session != sessionId_) return;
  }
  EndSession();
}

void TServerForm::CloseServer() {
  closing_ = true;
  close();
}

void TServerForm::HandleQueryEndSession() {
  SetStatus("Closing down...");
  CloseServer();
}

void TServerForm::closeEvent(QCloseEvent* event) {
  if (!closing_) {
    // A termination signal or the end of the desktop session during the question closes anyway.
    if (!platform::AskYesNo("Close Talvo Server?", kTitle) && !closing_) {
      event->ignore();
      // Without a tray host the window can only be minimized: hidden, it could not come back.
      if (!trayIcon_->HideMainWindow()) showMinimized();
      WriteIniString(iniPath_, "General", "Minimized", "1");
      return;
    }
    if (!closing_ && sessionStarted_) {
      std::string text = ExpandMacros(ReadIniString(iniPath_, "Messages", "Shutting Down", ""));
      if (!text.empty()) {
        SendMessage(text);
        Delay(1000);
      }
    }
  }
  timer_->stop();
  WritePosition();
  event->accept();
  if (chatWin_) chatWin_->hide();
  QCoreApplication::quit();
}
