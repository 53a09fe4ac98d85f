#include "common/ChatWin.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <charconv>

#include "common/Utils.h"
#include "platform/Latin1.h"
#include "platform/Paths.h"
#include "platform/SystemBeep.h"
#include "text/Text.h"

namespace {

const char kSection[] = "Chat Window";

// Any line break in the text becomes a space.
QString OneLine(QString text) {
  for (QChar& c : text) {
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator)
      c = QLatin1Char(' ');
  }
  return text;
}

// The input box: Enter presses the window's default button instead of breaking the line, and
// pasted line breaks become spaces.
class SendEdit : public QPlainTextEdit {
 public:
  explicit SendEdit(QWidget* parent) : QPlainTextEdit(parent) {}
  QPushButton* defaultButton = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
      if (defaultButton && defaultButton->isEnabled()) defaultButton->click();
      e->accept();
      return;
    }
    QPlainTextEdit::keyPressEvent(e);
  }
  void insertFromMimeData(const QMimeData* source) override {
    if (source->hasText()) {
      insertPlainText(OneLine(source->text()));
      return;
    }
    QPlainTextEdit::insertFromMimeData(source);
  }
};

}  // namespace

TChatWin::TChatWin(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint),
      iniFile_(platform::ChangeFileExt(platform::ProgramFile(), ".ini")) {
  setWindowTitle(QStringLiteral("Chat"));
  setFont(QApplication::font("QMessageBox"));  // the desktop's message font
  resize(360, 220);

  chatText_ = new QPlainTextEdit(this);
  chatText_->setObjectName(QStringLiteral("ChatText"));
  chatText_->setReadOnly(true);
  chatText_->setFocusPolicy(Qt::ClickFocus);
  chatText_->setTabChangesFocus(true);
  tail_ = std::make_unique<TTextTail>(*chatText_, kMaxChars, kMaxLines);

  auto* input = new SendEdit(this);
  sendText_ = input;
  sendText_->setObjectName(QStringLiteral("SendText"));
  sendText_->setTabChangesFocus(true);
  sendText_->setFixedHeight(sendText_->fontMetrics().lineSpacing() * 3);

  sendBtn_ = new QPushButton(QStringLiteral("Send"), this);
  sendBtn_->setObjectName(QStringLiteral("SendBtn"));
  sendBtn_->setDefault(true);
  input->defaultButton = sendBtn_;
  QObject::connect(sendBtn_, &QPushButton::clicked, this, [this] { SendBtnClick(); });

  auto* row = new QHBoxLayout;
  row->addWidget(sendText_, 1);
  row->addWidget(sendBtn_, 0, Qt::AlignTop);
  auto* column = new QVBoxLayout(this);
  column->addWidget(chatText_, 1);
  column->addLayout(row);
  setTabOrder(sendText_, sendBtn_);
}

void TChatWin::setVisible(bool visible) {
  bool was = isVisible();
  if (visible && !was) FormShow();
  if (!visible && was) FormHide();
  QWidget::setVisible(visible);
  if (visible && !was) sendText_->setFocus();
}

void TChatWin::FormShow() {
  const TWindowPlace place = ReadWindowPlace(iniFile_, kSection, {0, 236});
  move(place.Left, place.Top);
}

void TChatWin::FormHide() {
  WriteWindowPlace(iniFile_, kSection, pos().x(), pos().y());
}

void TChatWin::AppendLine(const std::string& line) {
  if (line.size() > kMaxLineChars)
    tail_->Append(Latin1(line.substr(0, kMaxLineChars)) + QChar(0x2026) + QLatin1Char('\n'));
  else
    tail_->Append(Latin1(line) + QLatin1Char('\n'));
  chatText_->moveCursor(QTextCursor::End);
  chatText_->verticalScrollBar()->setValue(chatText_->verticalScrollBar()->maximum());
}

void TChatWin::AddText(const std::string& line) {
  AppendLine(line);
  platform::SystemBeep();
}

void TChatWin::SendBtnClick() {
  QString text = sendText_->toPlainText();
  if (text.isEmpty()) return;
  std::string line = call_ + "> " + ToLatin1(OneLine(text));
  if (OnSend) OnSend(this, "CHAT " + line);
  AppendLine(line);
  sendText_->clear();
}

std::string TChatWin::Conversation() const {
  return ToLatin1(chatText_->toPlainText());
}
