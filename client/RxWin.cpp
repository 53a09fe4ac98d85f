#include "client/RxWin.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QVBoxLayout>

TRxWin::TRxWin(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(QStringLiteral("Received text"));
  auto* layout = new QVBoxLayout(this);
  memo_ = new QPlainTextEdit(this);
  memo_->setReadOnly(true);
  layout->addWidget(memo_);
  resize(360, 120);
}

void TRxWin::AddText(const std::string& text) {
  if (!isVisible()) show();
  memo_->moveCursor(QTextCursor::End);
  memo_->insertPlainText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  memo_->moveCursor(QTextCursor::End);
}

std::string TRxWin::Text() const {
  return memo_->toPlainText().toLatin1().toStdString();
}
