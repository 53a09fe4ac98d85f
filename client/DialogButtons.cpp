#include "client/DialogButtons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QPushButton>

void AddOkCancelRow(QDialog* dialog, QBoxLayout* layout, QPushButton*& ok, QPushButton*& cancel) {
  auto* row = new QHBoxLayout;
  ok = new QPushButton(QStringLiteral("OK"), dialog);
  ok->setDefault(true);
  cancel = new QPushButton(QStringLiteral("Cancel"), dialog);
  row->addStretch();
  row->addWidget(ok);
  row->addWidget(cancel);
  layout->addLayout(row);
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
}
