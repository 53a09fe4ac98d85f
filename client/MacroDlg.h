#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The macro editor of the Morse keyboard: a button's caption (at most 12 characters), its hint
// and its macro text, with the codes a macro may hold listed beside them. Shown modally by the
// contact window; OK accepts, Cancel rejects.
class TMacroDlg : public QDialog {
 public:
  static constexpr int kCaptionLength = 12;

  explicit TMacroDlg(QWidget* parent = nullptr);

  // The macro text with its lines ending in CR LF, as the keyboard and the macro file keep it.
  std::string MacroText() const;
  void SetMacroText(const std::string& text);

  QLineEdit* edCaption = nullptr;
  QLineEdit* edHint = nullptr;
  QPlainTextEdit* edMacro = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};
