#include "client/PropsDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/ClientSession.h"
#include "client/DialogButtons.h"
#include "client/EQSLPropsDlg.h"
#include "client/StationList.h"
#include "client/WidgetText.h"
#include "platform/Application.h"

namespace {

QLineEdit* Edit(QWidget* parent, const char* hint) {
  auto* edit = new QLineEdit(parent);
  edit->setToolTip(QString::fromLatin1(hint));
  return edit;
}

}  // namespace

TPropsDlg::TPropsDlg(const TClientSettings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("K2 Settings"));
  setFont(QApplication::font("QMessageBox"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  call_ = Edit(this, "Call or name of remote station");
  comment_ = Edit(this, "A short note about the station");
  comment_->setMaxLength(64);
  addr_ = Edit(this, "IP address (e.g. 123.456.78.9)");
  port_ = Edit(this, "Port number, if not default");
  passwd_ = Edit(this, "Your password for this station (leave blank to access as guest)");
  passwd_->setEchoMode(QLineEdit::Password);
  defPort_ = new QPushButton(QStringLiteral("Default"), this);
  defPort_->setToolTip(QStringLiteral("Set the default port value"));
  auto* portRow = new QHBoxLayout;
  portRow->addWidget(port_);
  portRow->addWidget(defPort_);
  form->addRow(QStringLiteral("Call / ID:"), call_);
  form->addRow(QStringLiteral("Comment:"), comment_);
  form->addRow(QStringLiteral("Address:"), addr_);
  form->addRow(QStringLiteral("Port:"), portRow);
  form->addRow(QStringLiteral("Password:"), passwd_);
  layout->addLayout(form);
  eqsl_ = new QCheckBox(QStringLiteral("eQSL?"), this);
  eqsl_->setToolTip(QStringLiteral("Electronically confirm contacts made in real time?"));
  layout->addWidget(eqsl_);
  AddOkCancelRow(this, layout, ok_, cancel_);

  for (QLineEdit* edit : {call_, addr_, port_, passwd_})
    connect(edit, &QLineEdit::textChanged, this, [this] { edChange(); });
  connect(defPort_, &QPushButton::clicked, this, [this] { DefPortBtnClick(); });
  connect(eqsl_, &QCheckBox::clicked, this, [this](bool checked) { cbEQSLClick(checked); });
  connect(ok_, &QPushButton::clicked, this, [this] { accept(); });
  edChange();
}

void TPropsDlg::SetStation(const TClientSettings::TStation& station) {
  call_->setText(Latin1(station.Name));
  eqsl_->setChecked(station.EqslEnabled);
  comment_->setText(Latin1(station.Comment));
  addr_->setText(Latin1(station.Addr));
  port_->setText(Latin1(station.Port));
  passwd_->setText(Latin1(station.Password));
  edChange();
}

TClientSettings::TStation TPropsDlg::Station() const {
  TClientSettings::TStation s;
  s.Name = ToLatin1(call_->text());
  s.Comment = ToLatin1(comment_->text());
  s.Addr = ToLatin1(addr_->text());
  s.Port = ToLatin1(port_->text());
  s.Password = ToLatin1(passwd_->text());
  return s;
}

void TPropsDlg::edChange() {
  ok_->setEnabled(TStationList::FieldsComplete(ToLatin1(call_->text()), ToLatin1(addr_->text()),
                                               ToLatin1(port_->text())));
}

void TPropsDlg::DefPortBtnClick() {
  port_->setText(QString::fromLatin1(kDefaultPort));
}

void TPropsDlg::cbEQSLClick(bool checked) {
  const std::string name = ToLatin1(call_->text());
  std::string problem = TClientSettings::SectionNameProblem("The call or name", name);
  if (problem.empty()) problem = Latin1Problem("The call or name", call_->text());
  if (!problem.empty()) {
    // The eQSL settings live in the station's section, which needs a usable name first.
    eqsl_->setChecked(!checked);
    platform::MessageBox(problem, TClientSession::kTitle);
    return;
  }
  if (!checked) {
    settings_.WriteEqsl(name, false, "");
    if (OnEqslChanged) OnEqslChanged(name, false, "");
    return;
  }
  TClientSettings::TStation stored = settings_.StoredStation(name);
  TEQSLPropsDlg dlg(this);
  dlg.Label1()->setText(Latin1("eQSL password for " + name));
  dlg.cbEnabled()->setChecked(stored.EqslEnabled);
  dlg.edEQSLPassword()->setText(Latin1(stored.EqslPassword));
  for (;;) {
    if (dlg.exec() != QDialog::Accepted) return;
    const bool enabled = dlg.cbEnabled()->isChecked();
    const std::string password = ToLatin1(dlg.edEQSLPassword()->text());
    problem = Latin1Problem("The eQSL password", dlg.edEQSLPassword()->text());
    if (problem.empty() && enabled)
      problem = TClientSettings::PasswordProblem("The eQSL password", password,
                                                 TClientSettings::kEqslSeed);
    if (!problem.empty()) {
      platform::MessageBox(problem, TClientSession::kTitle);
      continue;
    }
    settings_.WriteEqsl(name, enabled, password);
    if (OnEqslChanged) OnEqslChanged(name, enabled, password);
    return;
  }
}

void TPropsDlg::accept() {
  const std::pair<QLineEdit*, const char*> fields[] = {{call_, "The call or name"},
                                                       {comment_, "The comment"},
                                                       {addr_, "The address"},
                                                       {port_, "The port"},
                                                       {passwd_, "The password"}};
  std::string problem;
  for (const auto& [edit, what] : fields)
    if (problem.empty()) problem = Latin1Problem(what, edit->text());
  if (problem.empty()) problem = TStationList::Problem(Station());
  if (!problem.empty()) {
    platform::MessageBox(problem, TClientSession::kTitle);
    return;
  }
  QDialog::accept();
}
