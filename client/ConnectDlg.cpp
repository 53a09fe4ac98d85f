#include "client/ConnectDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "common/Utils.h"

namespace {

QString Latin1(const std::string& s) {
  return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TConnectDlg::TConnectDlg(const TClientSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("Connect to"));
  auto* layout = new QVBoxLayout(this);
  stations_ = new QListWidget(this);
  layout->addWidget(new QLabel(QStringLiteral("Stations:"), this));
  layout->addWidget(stations_);
  auto* form = new QFormLayout;
  call_ = new QLineEdit(this);
  form->addRow(QStringLiteral("Your call:"), call_);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(stations_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
  Reload();
}

void TConnectDlg::Reload() {
  stations_->clear();
  for (const std::string& name : settings_.StationNames()) {
    auto* item = new QListWidgetItem(Latin1(name), stations_);
    std::string comment = settings_.Station(name).Comment;
    if (!comment.empty()) item->setToolTip(Latin1(comment));
  }
  if (stations_->count() > 0) stations_->setCurrentRow(0);
  call_->setText(Latin1(settings_.OwnCall()));
}

std::string TConnectDlg::ChosenStation() const {
  QListWidgetItem* item = stations_->currentItem();
  return item ? item->text().toLatin1().toStdString() : std::string();
}

std::string TConnectDlg::OwnCall() const {
  return call_->text().trimmed().toLatin1().toStdString();
}

void TConnectDlg::accept() {
  if (ChosenStation().empty()) return;
  WriteIniString(settings_.IniFile(), "Settings", "Call", OwnCall());
  QDialog::accept();
}
