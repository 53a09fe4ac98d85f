#include "server/UserDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "common/AccessLevel.h"
#include "platform/Application.h"
#include "platform/Latin1.h"

std::string EditText(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (QChar c : text) out += c.unicode() > 0xFF ? '\x7F' : static_cast<char>(c.unicode());
  return out;
}

TUsrDlg::TUsrDlg(QWidget* owner) : QDialog(owner) {
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font
  setWindowTitle(QStringLiteral("User Settings"));
  auto* layout = new QVBoxLayout(this);

  auto* auth = new QGroupBox(QStringLiteral(" Authentication "), this);
  auto* form = new QFormLayout(auth);
  edCall = new QLineEdit(auth);
  edPassword = new QLineEdit(auth);
  edPassword->setEchoMode(QLineEdit::Password);
  form->addRow(QStringLiteral("Callsign:"), edCall);
  form->addRow(QStringLiteral("Password:"), edPassword);
  layout->addWidget(auth);

  auto* privs = new QGroupBox(QStringLiteral(" Privileges "), this);
  auto* privLayout = new QVBoxLayout(privs);
  const char* names[3] = {"Receive only", "Receive and transmit", "Full access"};
  for (int i = 0; i < 3; ++i) {
    rgPrivs[i] = new QRadioButton(QString::fromLatin1(names[i]), privs);
    privLayout->addWidget(rgPrivs[i]);
  }
  rgPrivs[0]->setChecked(true);
  layout->addWidget(privs);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

TSettingsModel::TUser TUsrDlg::User() const {
  TSettingsModel::TUser user;
  user.name = EditText(edCall->text());
  user.password = EditText(edPassword->text());
  for (int i = 0; i < 3; ++i)
    if (rgPrivs[i]->isChecked()) user.level = i;
  return user;
}

void TUsrDlg::SetUser(const TSettingsModel::TUser& user) {
  edCall->setText(Latin1(user.name));
  edPassword->setText(Latin1(user.password));
  const int level =
      user.level >= kAccessRxOnly && user.level <= kAccessFull ? user.level : kAccessRxOnly;
  rgPrivs[level]->setChecked(true);
}

void TUsrDlg::accept() {
  const TSettingsModel::TUser user = User();
  std::string why;
  if (OnCheck) {
    why = OnCheck(user);
  } else {
    why = TSettingsModel::CheckUserName(user.name);
    if (why.empty()) why = TSettingsModel::CheckPassword(user.password);
  }
  if (!why.empty()) {
    platform::MessageBox(why, "User Settings");
    return;
  }
  QDialog::accept();
}
