#include "client/RxWin.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QVBoxLayout>
#include <fstream>

#include "client/ClientSession.h"
#include "client/WidgetText.h"
#include "platform/Application.h"
#include "text/Text.h"

namespace {

// The text without the window's own paragraph breaks (received text holds no line breaks).
QString Unbroken(QString text) {
  return text.remove(QChar::ParagraphSeparator).remove(QLatin1Char('\n'));
}

// The memo, reporting double clicks after it selected the word under the mouse.
class TRxMemo : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;
  std::function<void()> OnDblClick;

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    QPlainTextEdit::mouseDoubleClickEvent(event);
    if (OnDblClick) OnDblClick();
  }
  QMimeData* createMimeDataFromSelection() const override {
    auto* data = new QMimeData;
    data->setText(Unbroken(textCursor().selectedText()));
    return data;
  }
};

struct TMenuItem {
  const char* Caption;
  TContactField Field;
};

const TMenuItem kMenuItems[] = {
    {"Copy to Call", TContactField::Call},
    {"Copy to Name", TContactField::Name},
    {"Copy to Rpt rcvd", TContactField::RstRcvd},
    {"Copy to Serial rcvd", TContactField::SerialRcvd},
    {"Copy to QTH", TContactField::Qth},
    {"Copy to Grid", TContactField::Grid},
    {"Copy to Comment", TContactField::Comment},
};

}  // namespace

TRxWin::TRxWin(TClientSession& session, QWidget* parent)
    : QWidget(parent, Qt::Tool), session_(session) {
  setWindowTitle(QStringLiteral("Receive Window"));
  setFont(QApplication::font("QMessageBox"));
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(QStringLiteral(" Received Text "), this);
  auto* inner = new QVBoxLayout(group);
  auto* memo = new TRxMemo(group);
  memo->OnDblClick = [this] { RxPanelDblClick(); };
  memo_ = memo;
  memo_->setReadOnly(true);
  memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memo_->setContextMenuPolicy(Qt::CustomContextMenu);
  tail_ = std::make_unique<TTextTail>(*memo_, kMaxChars, kMaxChars / kParagraphChars * 4);
  inner->addWidget(memo_);
  layout->addWidget(group);
  auto* row = new QHBoxLayout;
  clear_ = new QPushButton(QStringLiteral("Clear"), this);
  upper_ = new QCheckBox(QStringLiteral("Uppercase"), this);
  row->addWidget(clear_);
  row->addWidget(upper_);
  row->addStretch();
  layout->addLayout(row);

  menu_ = new QMenu(this);
  for (const TMenuItem& item : kMenuItems) {
    QAction* action = menu_->addAction(QString::fromLatin1(item.Caption));
    const TContactField field = item.Field;
    connect(action, &QAction::triggered, this, [this, field] { CopyClick(field); });
    items_[static_cast<int>(field)] = action;
  }
  menu_->addSeparator();
  save_ = menu_->addAction(QStringLiteral("Save to file..."));
  connect(save_, &QAction::triggered, this, [this] { SaveToFileClick(); });
  connect(memo_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    PopupMenuPopup();
    menu_->popup(memo_->viewport()->mapToGlobal(at));
  });
  connect(clear_, &QPushButton::clicked, this, [this] { ClearBtnClick(); });
  resize(360, 140);
  FormCreate();
}

TRxWin::~TRxWin() {
  session_.Settings().SetRxWindow(x(), y(), upper_->isChecked());
}

void TRxWin::FormCreate() {
  const TClientSettings& settings = session_.Settings();
  move(settings.RxWindowLeft(), settings.RxWindowTop());
  upper_->setChecked(settings.RxUpperCase());
}

void TRxWin::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored from minimised: the text stays
  memo_->clear();
}

void TRxWin::ClearBtnClick() {
  memo_->clear();
}

void TRxWin::AddText(const std::string& text) {
  if (!isVisible()) show();
  const QTextCursor before = memo_->textCursor();
  BreakLastParagraph();
  tail_->Append(Latin1(upper_->isChecked() ? UpperAscii(text) : text));
  if (before.hasSelection()) {
    memo_->setTextCursor(before);
  } else {
    memo_->moveCursor(QTextCursor::End);
  }
  memo_->verticalScrollBar()->setValue(memo_->verticalScrollBar()->maximum());
}

void TRxWin::BreakLastParagraph() {
  const QTextBlock last = memo_->document()->lastBlock();
  const QString text = last.text();
  if (text.size() <= kParagraphChars) return;
  memo_->document()->documentLayout()->blockBoundingRect(last);  // lays the paragraph out
  const QTextLayout* layout = last.layout();
  qsizetype at = -1;
  if (layout && layout->lineCount() > 1) {
    const qsizetype start = layout->lineAt(layout->lineCount() - 1).textStart();
    if (start > 0 && text.at(start - 1) == QLatin1Char(' ')) at = start;
  }
  if (at < 0) at = text.lastIndexOf(QLatin1Char(' ')) + 1;  // not wrapped: after a blank
  if (at <= 0) {
    if (text.size() < 2 * kParagraphChars) return;  // the word may yet end
    at = text.size();
  }
  QTextCursor cursor(last);
  cursor.setPosition(last.position() + static_cast<int>(at));
  cursor.insertBlock();
}

std::string TRxWin::Selection() const {
  return ToLatin1(Unbroken(memo_->textCursor().selectedText()));
}

void TRxWin::RxPanelDblClick() {
  const std::string selection = Selection();
  if (Trim(selection).empty() || session_.RxOnly() || !contact_) return;
  contact_->EditContactFields(
      [this, &selection](TContactFields& fields) { word_.SmartCopy(selection, false, &fields); });
}

void TRxWin::PopupMenuPopup() {
  const bool showing = contact_ && contact_->EditContactFields(nullptr);
  const TCopyMenuState state = word_.MenuOpened(Selection(), session_.RxOnly(), showing);
  CopyItem(TContactField::Call)->setEnabled(state.Call);
  CopyItem(TContactField::Name)->setEnabled(state.Name);
  CopyItem(TContactField::RstRcvd)->setEnabled(state.RstRcvd);
  CopyItem(TContactField::SerialRcvd)->setEnabled(state.SerialRcvd);
  CopyItem(TContactField::Qth)->setEnabled(state.Qth);
  CopyItem(TContactField::Grid)->setEnabled(state.Grid);
  CopyItem(TContactField::Comment)->setEnabled(state.Comment);
}

void TRxWin::CopyClick(TContactField field) {
  if (!contact_ || session_.RxOnly()) return;
  contact_->EditContactFields(
      [this, field](TContactFields& fields) { word_.CopyTo(field, fields); });
}

void TRxWin::SaveToFileClick() {
  const QString path = QFileDialog::getSaveFileName(
      this, QStringLiteral("Save received text"), QString(), QStringLiteral("Text files (*.txt)"));
  if (path.isEmpty()) return;
  std::ofstream out(path.toLocal8Bit().toStdString(), std::ios::binary);
  out << Text();
  out.close();
  if (!out)
    platform::MessageBox(
        "The received text could not be saved to " + path.toLocal8Bit().toStdString() + ".",
        "Receive Window");
}

std::string TRxWin::Text() const {
  return ToLatin1(Unbroken(memo_->toPlainText()));
}
