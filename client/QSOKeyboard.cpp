// The contact window's Morse keyboard and text macros: the widgets of the " Send Text " and
// " Text macros " groups and their handlers, which delegate to TMorseKeyboard and TMacroSet.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "client/ClientSession.h"
#include "client/MacroDlg.h"
#include "client/QSOPanel.h"
#include "client/TAMemo.h"
#include "common/DateTime.h"
#include "platform/Application.h"
#include "platform/Latin1.h"
#include "platform/MessagePump.h"
#include "platform/Paths.h"

namespace {

// The memo shows lines ending in LF only.
QString MemoText(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) shown += text[i];
  return Latin1(shown);
}

template <class Action>
void Guarded(Action action) {
  try {
    action();
  } catch (const std::exception& e) {
    platform::MessageBox(e.what(), TClientSession::kTitle, platform::BoxIcon::Error);
  }
}

// Passes released keys of the contact's fields, and right-button releases of the macro buttons,
// to the window's handlers.
class TKeyboardFilter : public QObject {
 public:
  TKeyboardFilter(TQSOPanel* panel) : QObject(panel), panel_(panel) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyRelease) {
      auto* key = static_cast<QKeyEvent*>(event);
      if (!key->isAutoRepeat()) Guarded([&] { panel_->TypeAheadKeyUp(TTAMemo::VirtualKey(*key)); });
    } else if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      auto* button = qobject_cast<QPushButton*>(watched);
      if (button != nullptr && mouse->button() == Qt::RightButton) {
        Guarded([&] { panel_->MacroMouseUp(button, mouse->button()); });
        return true;
      }
    }
    return false;
  }

 private:
  TQSOPanel* panel_;
};

}  // namespace

void TQSOPanel::CreateKeyboard() {
  auto* filter = new TKeyboardFilter(this);

  TypeAheadPanel = new QWidget(SendGroup);
  TypeAhead = new TTAMemo(TypeAheadPanel);
  TypeAhead->SetScrollBars(true);
  TypeAhead->setToolTip(QStringLiteral("Type text to send"));
  (new QVBoxLayout(TypeAheadPanel))->addWidget(TypeAhead);
  TypeAheadPanel->layout()->setContentsMargins(0, 0, 0, 0);
  SendBtn = new QPushButton(QStringLiteral("Send"), SendGroup);
  SendBtn->setToolTip(QStringLiteral("Start or stop sending"));
  ClearBtn = new QPushButton(QStringLiteral("Clear"), SendGroup);
  ClearBtn->setToolTip(QStringLiteral("Clear the text"));
  auto* sendLayout = new QGridLayout(SendGroup);
  sendLayout->addWidget(TypeAheadPanel, 0, 0, 3, 1);
  sendLayout->addWidget(SendBtn, 0, 1);
  sendLayout->addWidget(ClearBtn, 1, 1);
  sendLayout->addWidget(cbUpperCase, 2, 1);
  TypeAhead->OnKeyPress = [this](TTAMemo*, char& key) { Guarded([&] { TypeAheadKeyPress(key); }); };
  TypeAhead->OnKeyUp = [this](TTAMemo*, unsigned vk) { Guarded([&] { TypeAheadKeyUp(vk); }); };
  TypeAhead->OnPaste = [this](TTAMemo*) { Guarded([this] { PasteText(); }); };
  connect(SendBtn, &QPushButton::clicked, this, [this] { Guarded([this] { SendBtnClick(); }); });
  connect(ClearBtn, &QPushButton::clicked, this, [this] { Guarded([this] { ClearBtnClick(); }); });
  for (QLineEdit* edit : {edCall, edName, edRSTS, edSerS, edRSTR, edSerR, edQTH, edComment, edGrid})
    edit->installEventFilter(filter);

  auto* macroLayout = new QGridLayout(MacroGroup);
  for (int n = 1; n <= TMacroSet::kCount; ++n) {
    auto* button = new QPushButton(MacroGroup);
    button->setObjectName(Latin1(TMacroSet::SectionName(n)));
    button->setProperty("Tag", n);
    macroButtons_[static_cast<std::size_t>(n - 1)] = button;
    macroLayout->addWidget(button, (n - 1) / 8, (n - 1) % 8);
    connect(button, &QPushButton::clicked, this,
            [this, button] { Guarded([this, button] { MacroClick(button); }); });
    button->installEventFilter(filter);
    ShowMacro(n);
  }
  LoadBtn = new QPushButton(QStringLiteral("Load"), MacroGroup);
  LoadBtn->setToolTip(QStringLiteral("Load macros from file"));
  SaveBtn = new QPushButton(QStringLiteral("Save"), MacroGroup);
  SaveBtn->setToolTip(QStringLiteral("Save macros to file"));
  SaveBtn->setEnabled(false);
  pnShowMacro = new QLabel(MacroGroup);
  macroLayout->addWidget(pnShowMacro, 2, 0, 1, 6);
  macroLayout->addWidget(LoadBtn, 2, 6);
  macroLayout->addWidget(SaveBtn, 2, 7);
  connect(LoadBtn, &QPushButton::clicked, this, [this] { Guarded([this] { LoadBtnClick(); }); });
  connect(SaveBtn, &QPushButton::clicked, this, [this] { Guarded([this] { SaveBtnClick(); }); });
}

QPushButton* TQSOPanel::MacroButton(int number) const {
  if (number < 1 || number > TMacroSet::kCount) return nullptr;
  return macroButtons_[static_cast<std::size_t>(number - 1)];
}

void TQSOPanel::ShowMacro(int number) {
  QPushButton* button = MacroButton(number);
  const TMacro& macro = macros_.Macro(number);
  button->setText(Latin1(macro.Caption));
  button->setToolTip(Latin1(macro.Hint));
  QFont font = button->font();
  font.setBold(macro.Bold());
  button->setFont(font);
}

void TQSOPanel::ShowMacroFile(const std::string& path) {
  pnShowMacro->setText(Latin1(path));
  pnShowMacro->setToolTip(Latin1(path));
}

void TQSOPanel::ShowKeyboard() {
  const QString text = MemoText(keyboard_.Memo());
  if (TypeAhead->toPlainText() != text) TypeAhead->setPlainText(text);
  TypeAhead->CaretToEnd();
  SendBtn->setText(keyboard_.Transmitting() ? QStringLiteral("Stop") : QStringLiteral("Send"));
}

void TQSOPanel::KeyboardShown() {
  keyboard_.Reset();
  const std::string path = session_.Settings().MacroFile();
  openPath_ = path;
  // Macros edited and not saved stay; a file that is gone leaves the buttons as they are.
  if (!path.empty() && macros_.Reload(path)) {
    for (int n = 1; n <= TMacroSet::kCount; ++n) ShowMacro(n);
    savePath_ = path;
    ShowMacroFile(path);
  }
  SaveBtn->setEnabled(macros_.Edited());
}

void TQSOPanel::TypeAheadKeyPress(char& key) {
  const bool upper = cbUpperCase->isChecked();
  const TKeyEffect effect = keyboard_.KeyPress(key, upper);
  if (upper && key >= 'a' && key <= 'z') key = static_cast<char>(key - 'a' + 'A');
  switch (effect) {
    case TKeyEffect::SelectAll:
      TypeAhead->selectAll();
      break;
    case TKeyEffect::Copy:
      TypeAhead->copy();
      break;
    case TKeyEffect::Paste:
      PasteText();
      break;
    case TKeyEffect::None:
      break;
  }
  if (static_cast<unsigned char>(key) > 3) ShowKeyboard();
  if (key == 27) TypeAhead->setFocus();
  key = 0;  // consumed: the memo inserts nothing itself
}

void TQSOPanel::SendBtnClick() {
  keyboard_.SendButton();
  ShowKeyboard();
  TypeAhead->setFocus();
}

void TQSOPanel::ClearBtnClick() {
  keyboard_.Clear();
  ShowKeyboard();
  TypeAhead->setFocus();
}

TMacroLinks TQSOPanel::MacroLinks() {
  TMacroLinks links;
  links.Fields = &log_.Fields;
  links.AskCall = [] { return platform::InputBox("Enter call", "Type station call below:", ""); };
  links.CallEntered = [this] {
    log_.CallChanged();
    PushFields();
  };
  links.OwnCall = [this] { return session_.OwnCall(); };
  links.StationName = [this] { return session_.StationName(); };
  links.LocalHour = [] { return DecodeDateTime(Now()).Hour; };
  links.LogStart = [this] { log_.LogStart(); };
  links.LogEnd = [this] { log_.LogEnd(); };
  links.ShowMemo = [this] {
    PushFields();
    ShowKeyboard();
    platform::ProcessMessages();
    PullFields();
  };
  links.SaveContact = [this] { LogBtnClick(); };
  return links;
}

void TQSOPanel::SendMacro(const std::string& text) {
  PullFields();
  keyboard_.SendMacro(text, MacroLinks());
  PushFields();
  ShowKeyboard();
  TypeAhead->setFocus();
}

void TQSOPanel::MacroClick(QPushButton* sender) {
  SendMacro(macros_.Macro(sender->property("Tag").toInt()).Text);
}

void TQSOPanel::TypeAheadKeyUp(unsigned virtualKey) {
  if (const int number = MacroOfKey(virtualKey, session_.ModeGroup()))
    SendMacro(macros_.Macro(number).Text);
}

void TQSOPanel::MacroMouseUp(QPushButton* sender, Qt::MouseButton button) {
  if (button != Qt::RightButton) return;
  const int number = sender->property("Tag").toInt();
  std::unique_ptr<TMacroDlg> own;
  TMacroDlg* dlg = macroDlg_;
  if (dlg == nullptr) dlg = (own = std::make_unique<TMacroDlg>(this)).get();
  const TMacro& macro = macros_.Macro(number);
  dlg->setWindowTitle(sender->objectName());
  dlg->edCaption->setText(Latin1(macro.Caption));
  dlg->edHint->setText(Latin1(macro.Hint));
  dlg->SetMacroText(macro.Text);
  if (dlg->exec() != QDialog::Accepted) return;
  macros_.Edit(number,
               {ToLatin1(dlg->edCaption->text()), ToLatin1(dlg->edHint->text()), dlg->MacroText()});
  ShowMacro(number);
  SaveBtn->setEnabled(true);
}

void TQSOPanel::PasteText() {
  const QString text = QApplication::clipboard()->text();
  if (!text.isEmpty()) SendMacro(ToLatin1(text));
}

bool TQSOPanel::LoadMacros(const std::string& fileName) {
  if (!macros_.Load(fileName)) return false;
  for (int n = 1; n <= TMacroSet::kCount; ++n) ShowMacro(n);
  SaveBtn->setEnabled(macros_.Edited());
  return true;
}

bool TQSOPanel::SaveMacros(const std::string& fileName) {
  if (!macros_.Save(fileName)) {
    platform::MessageBox("The macros could not be saved to " + fileName + ".",
                         TClientSession::kTitle, platform::BoxIcon::Error);
    return false;
  }
  SaveBtn->setEnabled(false);
  return true;
}

void TQSOPanel::LoadBtnClick() {
  QFileDialog dialog(this, QStringLiteral("Load macros from file"),
                     Latin1(platform::ProgramFolder()), QStringLiteral("Macro files (*.mac)"));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(QStringLiteral("mac"));
  if (!openPath_.empty()) dialog.selectFile(Latin1(openPath_));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = ToLatin1(dialog.selectedFiles().first());
  if (!LoadMacros(path)) {
    platform::MessageBox("The macro file " + path + " cannot be read.", TClientSession::kTitle,
                         platform::BoxIcon::Error);
    return;
  }
  ShowMacroFile(path);
  openPath_ = savePath_ = path;
  session_.Settings().SetMacroFile(path);
}

void TQSOPanel::SaveBtnClick() {
  QFileDialog dialog(this, QStringLiteral("Save macros to file"), Latin1(platform::ProgramFolder()),
                     QStringLiteral("Macro files (*.mac)"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("mac"));
  if (!savePath_.empty()) dialog.selectFile(Latin1(savePath_));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string path = ToLatin1(dialog.selectedFiles().first());
  if (!SaveMacros(path)) return;
  ShowMacroFile(path);
  openPath_ = savePath_ = path;
  session_.Settings().SetMacroFile(path);
}
