#include "client/FreqCtrl.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "client/ClientSession.h"
#include "client/WidgetText.h"

TFreqCtrl::TFreqCtrl(TClientSession& session, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), session_(session) {
  setWindowTitle(QStringLiteral("Frequency Control"));
  setFont(QApplication::font("QMessageBox"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setSpacing(2);
  freq_ = new QComboBox(this);
  freq_->setEditable(true);
  freq_->setInsertPolicy(QComboBox::NoInsert);
  freq_->setCompleter(nullptr);
  go_ = new QPushButton(QStringLiteral("Go"), this);
  go_->setDefault(true);
  grid->addWidget(new QLabel(QStringLiteral("Freq:"), this), 0, 0);
  grid->addWidget(freq_, 0, 1, 1, 4);
  grid->addWidget(go_, 0, 5);
  grid->addWidget(new QLabel(QStringLiteral("+"), this), 1, 0);
  grid->addWidget(new QLabel(QStringLiteral("-"), this), 2, 0);
  static const char* const kCaptions[] = {"100", "10", "1", ".1", ".01"};
  for (int column = 0; column < 5; ++column) {
    const int size = 5 - column;
    for (int sign : {1, -1}) {
      const int tag = sign * size;
      auto* button = new QPushButton(QString::fromLatin1(kCaptions[column]), this);
      button->setAutoDefault(false);
      button->setMinimumWidth(24);
      grid->addWidget(button, sign > 0 ? 1 : 2, column + 1);
      connect(button, &QPushButton::clicked, this, [this, tag] { FreqChgClick(tag); });
      steps_[tag + 5] = button;
    }
  }
  connect(go_, &QPushButton::clicked, this, [this] { FreqBtnClick(); });
  connect(freq_, &QComboBox::activated, this, [this] { FreqBtnClick(); });
  freq_->lineEdit()->installEventFilter(this);
  FormCreate();
}

void TFreqCtrl::FormCreate() {
  memories_.Load(session_.Settings().FreqMemories());
  ShowMemories();
  freq_->setEditText(QString());
}

void TFreqCtrl::ShowMemories() {
  const QString text = freq_->currentText();
  freq_->clear();
  for (const std::string& freq : memories_.Items()) freq_->addItem(Latin1(freq));
  freq_->setEditText(text);
}

QPushButton* TFreqCtrl::StepButton(int tag) const {
  return tag >= -5 && tag <= 5 ? steps_[tag + 5] : nullptr;
}

void TFreqCtrl::FreqBtnClick() {
  const auto text = FreqCommandText(ToLatin1(freq_->currentText()));
  if (!text) return;
  session_.SendCommand("FREQ " + *text);
  if (memories_.Add(*text)) ShowMemories();
}

void TFreqCtrl::FreqChgClick(int tag) {
  session_.SendFreqStep(FreqStepOfTag(tag));
}

void TFreqCtrl::ShowFreq(const std::string& value) {
  freq_->setEditText(Latin1(value));
}

bool TFreqCtrl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == freq_->lineEdit() && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      FreqBtnClick();
      return true;  // the combo box would also report a remembered text as chosen
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFreqCtrl::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored from minimised: it stays where it was moved
  resize(164, 72);
  int left = x(), top = y();
  if (session_.Settings().FreqWindowPosition(left, top)) move(left, top);
}

void TFreqCtrl::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous()) return;  // minimised with its owner; it is still open
  session_.Settings().SetFreqWindowPosition(x(), y());
  session_.Settings().SetFreqMemories(memories_.Items());
}
