#include "client/ConnectDlg.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/ClientSession.h"
#include "client/PropsDlg.h"
#include "client/WidgetText.h"
#include "platform/Application.h"
#include "text/Text.h"

namespace {

QPushButton* Button(QWidget* parent, const char* caption, const char* hint) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  if (hint) button->setToolTip(QString::fromLatin1(hint));
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TConnectDlg::TConnectDlg(const TClientSettings& settings, QWidget* parent, TPropsDlg* props)
    : QDialog(parent), settings_(settings), stations_(settings), props_(props) {
  setWindowTitle(QStringLiteral("Connect To..."));
  setFont(QApplication::font("QMessageBox"));
  auto* layout = new QVBoxLayout(this);
  auto* callRow = new QHBoxLayout;
  call_ = new QLineEdit(this);
  call_->setToolTip(QStringLiteral("Your callsign"));
  callRow->addWidget(new QLabel(QStringLiteral("Your call:"), this));
  callRow->addWidget(call_);
  layout->addLayout(callRow);
  auto* body = new QHBoxLayout;
  list_ = new QListWidget(this);
  list_->setToolTip(QStringLiteral("Select a station to connect with"));
  body->addWidget(list_);
  auto* side = new QVBoxLayout;
  connect_ = Button(this, "Connect", nullptr);
  connect_->setDefault(true);
  cancel_ = Button(this, "Cancel", nullptr);
  new_ = Button(this, "New", "Add a station");
  edit_ = Button(this, "Edit", "Edit a station's details");
  delete_ = Button(this, "Delete", "Delete a station");
  for (QPushButton* b : {connect_, cancel_, new_, edit_, delete_}) side->addWidget(b);
  side->addStretch();
  body->addLayout(side);
  layout->addLayout(body);

  connect(list_, &QListWidget::itemClicked, this, [this] { BtnContext(); });
  connect(list_, &QListWidget::currentRowChanged, this, [this] { BtnContext(); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { ConnectBtnClick(); });
  connect(connect_, &QPushButton::clicked, this, [this] { ConnectBtnClick(); });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(new_, &QPushButton::clicked, this, [this] { ShowProps(false); });
  connect(edit_, &QPushButton::clicked, this, [this] { ShowProps(true); });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteBtnClick(); });
  FormCreate();
}

void TConnectDlg::FormCreate() {
  stations_.Load();
  Reload();
}

void TConnectDlg::Reload() {
  ownCall_ = settings_.OwnCall();
  call_->setText(Latin1(ownCall_));
  chosen_.clear();
  ShowList();
  if (list_->count() > 0) list_->setCurrentRow(0);
  BtnContext();
}

void TConnectDlg::ShowList() {
  list_->clear();
  for (std::size_t i = 0; i < stations_.Count(); ++i) list_->addItem(Latin1(stations_.ItemText(i)));
}

int TConnectDlg::Selected() const {
  int row = list_->currentRow();
  return row >= 0 && row < list_->count() && list_->item(row)->isSelected() ? row : -1;
}

void TConnectDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  BtnContext();
}

void TConnectDlg::BtnContext() {
  const bool selected = Selected() >= 0;
  connect_->setEnabled(selected);
  edit_->setEnabled(selected);
  delete_->setEnabled(selected);
}

void TConnectDlg::ShowProps(bool editing) {
  if (!props_) return;
  const int row = editing ? Selected() : -1;
  if (row >= 0) {
    props_->SetStation(settings_.StoredStation(stations_.Name(static_cast<std::size_t>(row))));
  } else {
    TClientSettings::TStation blank;
    blank.Port = TPropsDlg::kDefaultPort;
    props_->SetStation(blank);
  }
  if (props_->exec() != QDialog::Accepted) return;
  const TClientSettings::TStation station = props_->Station();
  const std::string oldName = row >= 0 ? stations_.Name(static_cast<std::size_t>(row)) : "";
  if (row >= 0)
    stations_.Replace(static_cast<std::size_t>(row), station.Name, station.Comment);
  else
    stations_.Append(station.Name, station.Comment);
  settings_.WriteStation(station);
  if (row >= 0 && oldName != station.Name) settings_.CarryEqsl(oldName, station.Name);
  stations_.Save();
  ShowList();
  list_->setCurrentRow(row >= 0 ? row : list_->count() - 1);
  BtnContext();
}

void TConnectDlg::DeleteBtnClick() {
  const int row = Selected();
  if (row < 0) return;
  stations_.Delete(static_cast<std::size_t>(row));
  ShowList();
  if (list_->count() > 0) list_->setCurrentRow(std::min(row, list_->count() - 1));
  BtnContext();
}

void TConnectDlg::ConnectBtnClick() {
  const int row = Selected();
  if (row < 0) return;
  if (!StoreOwnCall()) return;
  chosen_ = stations_.Name(static_cast<std::size_t>(row));
  QDialog::done(QDialog::Accepted);
}

void TConnectDlg::done(int result) {
  // A call that cannot be stored keeps the dialog open for Connect; other ways of closing
  // leave the stored call as it was.
  if (result == QDialog::Accepted && chosen_.empty()) {
    ConnectBtnClick();
    return;
  }
  StoreOwnCall();
  QDialog::done(result);
}

bool TConnectDlg::StoreOwnCall() {
  std::string problem = Latin1Problem("Your call", call_->text());
  const std::string call = Trim(ToLatin1(call_->text()));
  if (problem.empty()) problem = TClientSettings::ValueProblem("Your call", call);
  if (!problem.empty()) {
    platform::MessageBox(problem, TClientSession::kTitle);
    return false;
  }
  if (call != ownCall_) {
    settings_.SetOwnCall(call);
    ownCall_ = call;
  }
  return true;
}
