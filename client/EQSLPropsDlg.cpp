#include "client/EQSLPropsDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/DialogButtons.h"

TEQSLPropsDlg::TEQSLPropsDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("eQSL real-time logging"));
  setFont(QApplication::font("QMessageBox"));
  auto* layout = new QVBoxLayout(this);
  enabled_ = new QCheckBox(QStringLiteral("Enable eQSL real-time logging"), this);
  label1_ = new QLabel(QStringLiteral("eQSL password for %s:"), this);
  password_ = new QLineEdit(this);
  password_->setEchoMode(QLineEdit::Password);
  layout->addWidget(enabled_);
  layout->addWidget(label1_);
  layout->addWidget(password_);
  AddOkCancelRow(this, layout, ok_, cancel_);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
}
