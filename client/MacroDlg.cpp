#include "client/MacroDlg.h"

#include <QApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "platform/Latin1.h"

namespace {

const char* const kCommands[] = {"^c - clear send text",     "^s - set QSO start time",
                                 "^t - transmit (send now)", "^l - log QSO",
                                 "^r - receive (typeahead)", "^x - set QSO end time"};
const char* const kMacros[] = {"%m - my call",        "%c - contact's call",  "%n - contact's name",
                               "%r - report sent",    "%s - serial no. sent", "%g - greeting",
                               "%y - remote stn call"};

template <std::size_t N>
QGroupBox* HelpGroup(const char* title, const char* const (&lines)[N], QWidget* parent) {
  auto* group = new QGroupBox(QString::fromLatin1(title), parent);
  auto* layout = new QVBoxLayout(group);
  for (const char* line : lines) layout->addWidget(new QLabel(QString::fromLatin1(line), group));
  return group;
}

}  // namespace

TMacroDlg::TMacroDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Macro"));
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font

  edCaption = new QLineEdit(this);
  edCaption->setMaxLength(kCaptionLength);
  edCaption->setToolTip(QStringLiteral("Button text for this macro"));
  edHint = new QLineEdit(this);
  edHint->setToolTip(QStringLiteral("Tooltip text for this macro"));
  edMacro = new QPlainTextEdit(this);
  edMacro->setToolTip(QStringLiteral("Text to send"));
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("Cancel"), this);
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Caption:"), edCaption);
  form->addRow(QStringLiteral("Hint:"), edHint);
  form->addRow(QStringLiteral("Text:"), edMacro);
  auto* help = new QHBoxLayout;
  help->addWidget(HelpGroup(" Commands ", kCommands, this));
  help->addWidget(HelpGroup(" Macros ", kMacros, this));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(help);
  layout->addLayout(buttons);

  adjustSize();
  if (const QScreen* screen = QApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

std::string TMacroDlg::MacroText() const {
  std::string text = ToLatin1(edMacro->toPlainText());
  std::string lines;
  for (char c : text) {
    if (c == '\n') lines += '\r';
    lines += c;
  }
  return lines;
}

void TMacroDlg::SetMacroText(const std::string& text) {
  std::string plain;
  for (char c : text)
    if (c != '\r') plain += c;
  edMacro->setPlainText(Latin1(plain));
}
