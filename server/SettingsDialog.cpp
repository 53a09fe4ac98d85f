#include "server/SettingsDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include "platform/Application.h"
#include "platform/Latin1.h"
#include "platform/MessagePump.h"
#include "platform/WaveAudio.h"
#include "serial/CommPortList.h"
#include "server/UserDialog.h"

namespace {

QLabel* Label(const char* text, QWidget* parent) {
  return new QLabel(QString::fromLatin1(text), parent);
}

}  // namespace

TSettings::TSettings(QWidget* owner, const std::string& iniPath, bool cwDecoderAvailable,
                     const std::string& deviceRoot)
    : QDialog(owner), model_(iniPath) {
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font
  setWindowTitle(QStringLiteral("Talvo Server Settings"));
  auto* layout = new QVBoxLayout(this);
  pages = new QTabWidget(this);
  pages->addTab(AccessPage(), QStringLiteral("Access Control"));
  pages->addTab(MessagesPage(), QStringLiteral("Messages"));
  pages->addTab(ConnectionsPage(), QStringLiteral("Connections"));
  pages->addTab(AudioPage(), QStringLiteral("Audio"));
  pages->addTab(LogPage(), QStringLiteral("Log"));
  if (cwDecoderAvailable) pages->addTab(DecoderPage(), QStringLiteral("CW Decoder"));
  layout->addWidget(pages);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  // FormCreate: the machine's serial ports and sound cards, the macro list.
  ListSerialPorts(serialPorts_, deviceRoot);
  soundCards_ = platform::SoundCardNames();
  cwDecoderAvailable_ = cwDecoderAvailable;
  Label9->setText(
      QStringLiteral("Macros:\n%d - Date (utc)\n%t - Time (utc)\n%u - User ID\n"
                     "%p - Access mode\n%v - Server version"));

  adjustSize();
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TSettings::~TSettings() = default;

QWidget* TSettings::AccessPage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);

  auto* ident = new QGroupBox(QStringLiteral(" Identification "), page);
  auto* identLayout = new QHBoxLayout(ident);
  edCall = new QLineEdit(ident);
  edCall->setToolTip(QStringLiteral("Callsign of this station"));
  identLayout->addWidget(Label("Station call:", ident));
  identLayout->addWidget(edCall);
  grid->addWidget(ident, 0, 0, 1, 2);

  auto* users = new QGroupBox(QStringLiteral(" Users "), page);
  auto* usersLayout = new QGridLayout(users);
  lbUsers = new QListWidget(users);
  lbUsers->setToolTip(QStringLiteral("Users who are allowed access to the server"));
  AddBtn1 = new QPushButton(QStringLiteral("Add"), users);
  AddBtn1->setToolTip(QStringLiteral("Add a user"));
  EditBtn = new QPushButton(QStringLiteral("Edit"), users);
  EditBtn->setToolTip(QStringLiteral("Change a user's settings"));
  DelBtn1 = new QPushButton(QStringLiteral("Delete"), users);
  DelBtn1->setToolTip(QStringLiteral("Delete a user"));
  cbGuests = new QCheckBox(QStringLiteral("Allow guests?"), users);
  cbGuests->setToolTip(QStringLiteral("Allow guest (non-authenticated) users?"));
  usersLayout->addWidget(lbUsers, 0, 0, 4, 1);
  usersLayout->addWidget(AddBtn1, 0, 1);
  usersLayout->addWidget(EditBtn, 1, 1);
  usersLayout->addWidget(DelBtn1, 2, 1);
  usersLayout->addWidget(cbGuests, 4, 0, 1, 2);
  grid->addWidget(users, 1, 0);

  auto* addrs = new QGroupBox(QStringLiteral(" IP Addresses "), page);
  auto* addrsLayout = new QGridLayout(addrs);
  lbAddrs = new QListWidget(addrs);
  lbAddrs->setToolTip(QStringLiteral("IP addresses that are allowed to access the server"));
  AddBtn2 = new QPushButton(QStringLiteral("Add"), addrs);
  AddBtn2->setToolTip(QStringLiteral("Add an IP address mask"));
  DelBtn2 = new QPushButton(QStringLiteral("Delete"), addrs);
  DelBtn2->setToolTip(QStringLiteral("Delete an IP address mask"));
  addrsLayout->addWidget(lbAddrs, 0, 0, 3, 1);
  addrsLayout->addWidget(AddBtn2, 0, 1);
  addrsLayout->addWidget(DelBtn2, 1, 1);
  grid->addWidget(addrs, 1, 1);

  cbBusy = new QCheckBox(QStringLiteral("K2 is busy"), page);
  cbBusy->setToolTip(QStringLiteral("reply to all connection attempts that K2 is busy"));
  grid->addWidget(cbBusy, 2, 0, 1, 2);

  EditBtn->setEnabled(false);
  DelBtn1->setEnabled(false);
  DelBtn2->setEnabled(false);
  connect(lbUsers, &QListWidget::itemSelectionChanged, this, [this] { lbUsersClick(); });
  connect(lbUsers, &QListWidget::itemDoubleClicked, this, [this] { AddBtn1Click(true); });
  connect(lbAddrs, &QListWidget::itemSelectionChanged, this, [this] { lbAddrsClick(); });
  connect(AddBtn1, &QPushButton::clicked, this, [this] { AddBtn1Click(false); });
  connect(EditBtn, &QPushButton::clicked, this, [this] { AddBtn1Click(true); });
  connect(DelBtn1, &QPushButton::clicked, this, [this] { DelBtn1Click(); });
  connect(AddBtn2, &QPushButton::clicked, this, [this] { AddBtn2Click(); });
  connect(DelBtn2, &QPushButton::clicked, this, [this] { DelBtn2Click(); });
  return page;
}

QWidget* TSettings::MessagesPage() {
  auto* page = new QWidget;
  auto* grid = new QGridLayout(page);
  edWelcome = new QPlainTextEdit(page);
  edWelcome->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edWelcome->setToolTip(
      QStringLiteral("This message will be sent when a user connects to the server"));
  edWelcome->setFixedHeight(edWelcome->fontMetrics().lineSpacing() * 4 + 12);
  edBusy = new QLineEdit(page);
  edBusy->setToolTip(QStringLiteral(
      "This message is sent if the server is already in use when a user tries to connect"));
  edLogOut = new QLineEdit(page);
  edLogOut->setToolTip(QStringLiteral("This message is sent when the user logs out"));
  edTerminate = new QLineEdit(page);
  edTerminate->setToolTip(QStringLiteral("This message is sent if you terminate the connection"));
  edShutDown = new QLineEdit(page);
  edShutDown->setToolTip(QStringLiteral("This message is sent if you shut down the server"));
  Label9 = new QLabel(page);
  const std::pair<const char*, QWidget*> rows[] = {{"Welcome:", edWelcome},
                                                   {"Busy: ", edBusy},
                                                   {"Log out:", edLogOut},
                                                   {"Terminate:", edTerminate},
                                                   {"Shutdown:", edShutDown}};
  int row = 0;
  for (const auto& [text, edit] : rows) {
    grid->addWidget(Label(text, page), row, 0, Qt::AlignTop);
    grid->addWidget(edit, row++, 1);
  }
  grid->addWidget(Label9, row, 1);
  edWelcome->setMinimumWidth(360);
  return page;
}

QWidget* TSettings::ConnectionsPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* network = new QGroupBox(QStringLiteral(" Network "), page);
  auto* networkLayout = new QGridLayout(network);
  edServerPort = new QLineEdit(network);
  edServerPort->setToolTip(QStringLiteral("The port number to be used to connect to the server"));
  auto* label6 = Label(
      "Note: to allow access from the Internet, you must open up access to this port for "
      "incoming connections through your firewall.",
      network);
  label6->setWordWrap(true);
  networkLayout->addWidget(Label("Port:", network), 0, 0);
  networkLayout->addWidget(edServerPort, 0, 1);
  networkLayout->addWidget(label6, 1, 0, 1, 2);
  layout->addWidget(network);

  auto* k2 = new QGroupBox(QStringLiteral(" K2 "), page);
  auto* k2Layout = new QHBoxLayout(k2);
  cbComPort = new QComboBox(k2);
  cbComPort->setToolTip(QStringLiteral("Serial port used to connect to your K2"));
  cbComPort->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  k2Layout->addWidget(Label("Port:", k2));
  k2Layout->addWidget(cbComPort, 1);
  layout->addWidget(k2);
  layout->addStretch();
  return page;
}

QWidget* TSettings::AudioPage() {
  auto* page = new QWidget;
  auto* layout = new QHBoxLayout(page);
  auto* card = new QGroupBox(QStringLiteral(" Sound card "), page);
  auto* cardLayout = new QVBoxLayout(card);
  cbSoundCard = new QComboBox(card);
  cbSoundCard->setToolTip(QStringLiteral("Select the sound card that is connected to your radio"));
  cardLayout->addWidget(cbSoundCard);
  cardLayout->addStretch();
  layout->addWidget(card, 1);

  auto* sql = new QGroupBox(QStringLiteral(" Squelch level "), page);
  auto* sqlLayout = new QVBoxLayout(sql);
  // Position 0 at the top: the level is 100 - position, the loudest squelch at the bottom.
  tbSql = new QSlider(Qt::Vertical, sql);
  tbSql->setRange(0, 100);
  tbSql->setTickInterval(10);
  tbSql->setTickPosition(QSlider::TicksBothSides);
  tbSql->setInvertedAppearance(true);
  tbSql->setInvertedControls(true);
  tbSql->setToolTip(QStringLiteral("Set receive audio squelch level"));
  sqlLayout->addWidget(Label("Max", sql), 0, Qt::AlignHCenter);
  sqlLayout->addWidget(tbSql, 1, Qt::AlignHCenter);
  sqlLayout->addWidget(Label("Min", sql), 0, Qt::AlignHCenter);
  layout->addWidget(sql);
  connect(tbSql, &QSlider::valueChanged, this, [this] { tbSqlChange(); });
  return page;
}

QWidget* TSettings::LogPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  lbLog = new QListWidget(page);
  lbLog->setUniformItemSizes(true);
  layout->addWidget(lbLog);
  return page;
}

QWidget* TSettings::DecoderPage() {
  auto* page = new QWidget;
  auto* layout = new QVBoxLayout(page);
  auto* box = new QGroupBox(QStringLiteral(" CW Decoder "), page);
  auto* grid = new QGridLayout(box);
  cbEnableCWDecoder = new QCheckBox(QStringLiteral("Enable CW decoder"), box);
  edCWGetPath = new QLineEdit(box);
  btnBrw1 = new QPushButton(QStringLiteral("..."), box);
  grid->addWidget(cbEnableCWDecoder, 0, 0, 1, 2);
  grid->addWidget(Label("Path of CWGet.exe:", box), 1, 0, 1, 2);
  grid->addWidget(edCWGetPath, 2, 0);
  grid->addWidget(btnBrw1, 2, 1);
  layout->addWidget(box);
  layout->addStretch();
  connect(btnBrw1, &QPushButton::clicked, this, [this] { btnBrw1Click(); });
  return page;
}

void TSettings::Fill(const TRunningSettings& current, const std::vector<std::string>& eventLog) {
  TRunningSettings values = current;
  values.cwDecoderAvailable = cwDecoderAvailable_;
  model_.Load(values, serialPorts_, soundCards_);

  edCall->setText(Latin1(model_.call));
  ShowUsers({});
  cbGuests->setChecked(model_.allowGuests);
  ShowMasks();
  cbBusy->setChecked(model_.busy);
  edWelcome->setPlainText(Latin1(model_.welcome));
  edBusy->setText(Latin1(model_.busyText));
  edLogOut->setText(Latin1(model_.logOutText));
  edTerminate->setText(Latin1(model_.terminateText));
  edShutDown->setText(Latin1(model_.shutDownText));
  edServerPort->setText(Latin1(model_.serverPort));
  cbComPort->clear();
  for (const auto& port : model_.ComPorts()) cbComPort->addItem(Latin1(port));
  cbComPort->setCurrentIndex(model_.comPortIndex);
  cbSoundCard->clear();
  for (const auto& item : model_.SoundCardItems()) cbSoundCard->addItem(Latin1(item));
  const std::int32_t cardIndex = model_.soundCard + 1;
  cbSoundCard->setCurrentIndex(cardIndex >= 0 && cardIndex < cbSoundCard->count() ? cardIndex : -1);
  tbSql->setValue(100 - model_.squelchLevel);
  lbLog->clear();
  for (const auto& line : eventLog) lbLog->addItem(Latin1(line));
  if (cbEnableCWDecoder) {
    cbEnableCWDecoder->setChecked(model_.decoderEnabled);
    edCWGetPath->setText(Latin1(model_.decoderPath));
  }
  platform::ProcessMessages();
  lbLog->scrollToBottom();
}

void TSettings::ShowUsers(const std::string& select) {
  lbUsers->clear();
  for (const auto& name : model_.Users()) {
    lbUsers->addItem(Latin1(name));
    if (name == select) lbUsers->setCurrentRow(lbUsers->count() - 1);
  }
  lbUsersClick();
}

void TSettings::ShowMasks() {
  lbAddrs->clear();
  for (const auto& mask : model_.Masks()) lbAddrs->addItem(Latin1(mask));
  lbAddrsClick();
}

void TSettings::lbUsersClick() {
  const bool selected = !lbUsers->selectedItems().isEmpty();
  EditBtn->setEnabled(selected);
  DelBtn1->setEnabled(selected);
}

void TSettings::lbAddrsClick() {
  DelBtn2->setEnabled(!lbAddrs->selectedItems().isEmpty());
}

void TSettings::AddBtn1Click(bool edit) {
  if (userDialogOpen_) return;
  std::string oldName;
  if (edit) {
    if (lbUsers->selectedItems().isEmpty()) return;
    oldName = ToLatin1(lbUsers->selectedItems().front()->text());
  }
  userDialogOpen_ = true;
  std::string added;
  {
    TUsrDlg dialog(this);
    if (edit) dialog.SetUser(model_.User(oldName));
    dialog.OnCheck = [this, &oldName, &added](const TSettingsModel::TUser& user) {
      std::string why = model_.PutUser(oldName, user);
      if (why.empty()) added = user.name;
      return why;
    };
    dialog.exec();
  }
  userDialogOpen_ = false;
  if (!added.empty()) ShowUsers(added);
  platform::ProcessMessages();
  lbUsersClick();
}

void TSettings::DelBtn1Click() {
  if (lbUsers->selectedItems().isEmpty()) return;
  const int row = lbUsers->currentRow();
  model_.DeleteUser(ToLatin1(lbUsers->selectedItems().front()->text()));
  ShowUsers({});
  if (row >= 0 && row < lbUsers->count()) lbUsers->setCurrentRow(row);
  lbUsersClick();
}

void TSettings::AddBtn2Click() {
  bool ok = false;
  QString answer = QInputDialog::getText(this, QStringLiteral("Access Control"),
                                         QStringLiteral("Enter address mask (e.g. 192.168.2.*):"),
                                         QLineEdit::Normal, QString(), &ok);
  if (!ok) return;
  if (std::string why = model_.AddMask(EditText(answer)); !why.empty()) {
    platform::MessageBox(why, "Access Control");
    return;
  }
  ShowMasks();
}

void TSettings::DelBtn2Click() {
  if (lbAddrs->selectedItems().isEmpty()) return;
  const int row = lbAddrs->currentRow();
  model_.DeleteMask(static_cast<std::size_t>(row));
  ShowMasks();
  if (row >= 0 && row < lbAddrs->count()) lbAddrs->setCurrentRow(row);
  lbAddrsClick();
}

void TSettings::tbSqlChange() {
  model_.squelchLevel = 100 - tbSql->value();
  if (OnSquelchChange) OnSquelchChange(model_.squelchLevel);
}

void TSettings::btnBrw1Click() {
  QString file = QFileDialog::getOpenFileName(
      this, QStringLiteral("Locate CWGet.exe"), edCWGetPath->text(),
      QStringLiteral("CW Decoder (cwget cwget.exe CWGet CWGet.exe);;All files (*)"));
  if (!file.isEmpty()) edCWGetPath->setText(file);
}

void TSettings::TakeControls() {
  model_.call = ToLatin1(edCall->text());
  model_.allowGuests = cbGuests->isChecked();
  model_.busy = cbBusy->isChecked();
  model_.welcome = ToLatin1(edWelcome->toPlainText());
  model_.busyText = ToLatin1(edBusy->text());
  model_.logOutText = ToLatin1(edLogOut->text());
  model_.terminateText = ToLatin1(edTerminate->text());
  model_.shutDownText = ToLatin1(edShutDown->text());
  model_.serverPort = ToLatin1(edServerPort->text());
  model_.comPortIndex = cbComPort->currentIndex();
  if (cbSoundCard->currentIndex() >= 0) model_.soundCard = cbSoundCard->currentIndex() - 1;
  model_.squelchLevel = 100 - tbSql->value();
  if (cbEnableCWDecoder) {
    model_.decoderEnabled = cbEnableCWDecoder->isChecked();
    model_.decoderPath = ToLatin1(edCWGetPath->text());
  }
}

void TSettings::accept() {
  TakeControls();
  if (std::string why = model_.Check(); !why.empty()) {
    platform::MessageBox(why, "Talvo Server Settings");
    return;
  }
  if (!model_.Save()) {
    platform::MessageBox("The settings could not be written to " + model_.IniPath() +
                             ".\r\nNothing was changed; check that the folder can be written "
                             "to, then press OK again or Cancel.",
                         "Talvo Server Settings");
    return;
  }
  QDialog::accept();
}
